// The application's icon, drawn in code so that the window, the message boxes
// and the desktop menu all show the same picture without an image plugin.
#pragma once

#include <QIcon>
#include <QImage>

class QPainter;

namespace quillon::app {

// Paints the icon on a size by size square of any paint device (an image, an SVG file).
void paintAppIcon(QPainter& painter, int size);
QImage drawAppIcon(int size);
QIcon appIcon();

}  // namespace quillon::app
