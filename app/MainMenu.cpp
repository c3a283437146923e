#include "MainMenu.h"

#include "AppIcon.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace quillon::app {

QMenuBar* makeMainMenu() {
    auto* menuBar = new QMenuBar;
    QMenu* menu = menuBar->addMenu(QStringLiteral("Quillon"));
    QAction* about = menu->addAction(QStringLiteral("About Quillon"));
    about->setMenuRole(QAction::AboutRole);
    QObject::connect(about, &QAction::triggered, menuBar, [menuBar] { showAboutBox(menuBar->window()); });
    menu->addSeparator();
    QAction* quit = menu->addAction(QStringLiteral("Quit Quillon"));
    quit->setMenuRole(QAction::QuitRole);
    // Some platform themes bind nothing to the standard Quit key.
    quit->setShortcuts(QKeySequence::keyBindings(QKeySequence::Quit));
    if (quit->shortcuts().isEmpty()) quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QObject::connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    return menuBar;
}

QString aboutText() {
    return QStringLiteral("Quillon\nVersion %1\nBy Tallowmere").arg(QStringLiteral(QUILLON_VERSION));
}

void showAboutBox(QWidget* parent) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("About Quillon"));
    box.setTextFormat(Qt::PlainText);
    box.setText(aboutText());
    box.setIconPixmap(appIcon().pixmap(64, 64));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace quillon::app
