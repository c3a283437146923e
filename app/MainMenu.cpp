#include "MainMenu.h"

#include "AppIcon.h"

#include <QApplication>
#include <QGridLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace quillon::app {

QMenuBar* makeMainMenu() {
    auto* menuBar = new QMenuBar;
    QMenu* menu = menuBar->addMenu(QStringLiteral("&Quillon"));
    QAction* about = menu->addAction(QStringLiteral("&About Quillon"));
    about->setMenuRole(QAction::AboutRole);
    QObject::connect(about, &QAction::triggered, menuBar, [menuBar] { showAboutBox(menuBar->window()); });
    menu->addSeparator();
    QAction* quit = menu->addAction(QStringLiteral("&Quit Quillon"));
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
    const QString title = QStringLiteral("About Quillon");
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(aboutText());
    box.setIconPixmap(appIcon().pixmap(64, 64));
    box.setStandardButtons(QMessageBox::Ok);
    // Wide enough for the window manager to show the whole title beside its
    // icon and buttons: a message box is otherwise only as wide as its text.
    // Added last, as each setter above lays the box out anew.
    constexpr int titleBarRoom = 160;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(box.fontMetrics().horizontalAdvance(title) + titleBarRoom, 0), grid->rowCount(),
                      0, 1, grid->columnCount());
    box.exec();
}

}  // namespace quillon::app
