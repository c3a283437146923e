// Writes the application icon as PNG files in the layout of an icon theme:
// <folder>/hicolor/<size>x<size>/apps/quillon.png for each size given.
#include "AppIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <iostream>

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
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(arguments[1], QString::number(size));
        const QString file = folder + QStringLiteral("/quillon.png");
        if (!QDir().mkpath(folder) || !quillon::app::drawAppIcon(size).save(file)) {
            std::cerr << "cannot write " << file.toStdString() << '\n';
            return 1;
        }
    }
    return 0;
}
