// Quillon: finds the silent tracks of polyphonic WAV files and writes the
// files again without them.
#include "AppDelegate.h"
#include "AppIcon.h"
#include "MainMenu.h"
#include "WidgetDialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

namespace {

void describeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Opens Quillon's window: scan a folder of polyphonic WAV files, review the level of every track, and write\n"
        "the files again without their silent tracks, as _SLIM copies or in place.\n"
        "quillon-cli does the same from the command line."));
    parser.addHelpOption();
    parser.addVersionOption();
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Quillon"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QCommandLineParser parser;
    describeCommandLine(parser);
    // --help and --version need no display, so they are answered before the
    // window system is connected: they work over SSH and while the manual
    // page is built. (--help-all lists the window system's options, so it
    // waits for the full application.)
    parser.parse(argumentsOf(argc, argv));
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        QCoreApplication textOnly(argc, argv);
        parser.process(textOnly);  // prints the text and exits
    }

    QApplication application(argc, argv);
    parser.process(application);  // refuses unknown options
    QApplication::setDesktopFileName(QStringLiteral("quillon"));
    QApplication::setWindowIcon(quillon::app::appIcon());

    quillon::app::AppDelegate delegate(std::make_unique<quillon::app::WidgetDialogs>());
    delegate.setMainMenu(quillon::app::makeMainMenu());
    QTimer::singleShot(0, &delegate, &quillon::app::AppDelegate::applicationDidFinishLaunching);
    return application.exec();
}
