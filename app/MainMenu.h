// The menu bar: one menu "Quillon" with About and Quit.
#pragma once

#include <QString>

class QMenuBar;
class QWidget;

namespace quillon::app {

// A menu bar without a window; the controller installs it on the main window.
QMenuBar* makeMainMenu();

QString aboutText();
void showAboutBox(QWidget* parent);

}  // namespace quillon::app
