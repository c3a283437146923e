// Writes the application icon in the layout of an icon theme:
// <folder>/hicolor/<size>x<size>/apps/quillon.png for each size given, and
// <folder>/hicolor/scalable/apps/quillon.svg drawn by the same code.
#include "AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>

#include <iostream>

namespace {

constexpr int svgSize = 256;

bool writeSvg(const QString& file) {
    QSvgGenerator generator;
    generator.setFileName(file);
    generator.setSize(QSize(svgSize, svgSize));
    generator.setViewBox(QRect(0, 0, svgSize, svgSize));
    generator.setTitle(QStringLiteral("Quillon"));
    QPainter painter;
    if (!painter.begin(&generator)) return false;
    quillon::app::paintAppIcon(painter, svgSize);
    return painter.end();
}

// Writes one icon file into <root>/hicolor/<sizeName>/apps, saying so when it cannot.
template <typename Write>
bool writeIcon(const QString& root, const QString& sizeName, const QString& name, Write write) {
    const QString folder = QStringLiteral("%1/hicolor/%2/apps").arg(root, sizeName);
    const QString file = folder + QLatin1Char('/') + name;
    if (QDir().mkpath(folder) && write(file)) return true;
    std::cerr << "cannot write " << file.toStdString() << '\n';
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3) {
        std::cerr << "usage: quillon_make_icons <folder> <size>...\n";
        return 2;
    }
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        bool isNumber = false;
        const int size = arguments[i].toInt(&isNumber);
        if (!isNumber || size <= 0) {
            std::cerr << "not a size: " << arguments[i].toStdString() << '\n';
            return 2;
        }
        const auto png = [size](const QString& file) { return quillon::app::drawAppIcon(size).save(file); };
        if (!writeIcon(arguments[1], QStringLiteral("%1x%1").arg(size), QStringLiteral("quillon.png"), png)) return 1;
    }
    return writeIcon(arguments[1], QStringLiteral("scalable"), QStringLiteral("quillon.svg"), writeSvg) ? 0 : 1;
}
