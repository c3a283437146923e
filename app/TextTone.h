// The four text colours of the tables, resolved against the current palette.
#pragma once

#include <QColor>
#include <QPalette>

namespace quillon::app {

enum class TextTone { Label, Red, Orange, Green };

// Red, orange and green are picked per palette so that they stay readable on
// a light as well as on a dark background.
QColor toneColour(TextTone tone, const QPalette& palette);

}  // namespace quillon::app
