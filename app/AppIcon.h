// The application's icon, drawn in code so that the window, the message boxes
// and the desktop menu all show the same picture without an image plugin.
#pragma once

#include <QIcon>
#include <QImage>

namespace quillon::app {

QImage drawAppIcon(int size);
QIcon appIcon();

}  // namespace quillon::app
