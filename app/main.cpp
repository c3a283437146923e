// Quillon: finds the silent tracks of polyphonic WAV files and writes the
// files again without them.
#include "AppDelegate.h"
#include "AppIcon.h"
#include "MainMenu.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillon"));
    QApplication::setWindowIcon(quillon::app::appIcon());

    quillon::app::AppDelegate delegate(std::make_unique<quillon::app::WidgetDialogs>());
    delegate.setMainMenu(quillon::app::makeMainMenu());
    QTimer::singleShot(0, &delegate, &quillon::app::AppDelegate::applicationDidFinishLaunching);
    return application.exec();
}
