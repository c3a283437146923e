#include "TextTone.h"

namespace quillon::app {
namespace {

bool isDark(const QPalette& palette) { return palette.color(QPalette::Base).lightness() < 128; }

}  // namespace

QColor toneColour(TextTone tone, const QPalette& palette) {
    const bool dark = isDark(palette);
    switch (tone) {
    case TextTone::Red:
        return dark ? QColor(0xFF, 0x6B, 0x6B) : QColor(0xC6, 0x28, 0x28);
    case TextTone::Orange:
        return dark ? QColor(0xFF, 0xA9, 0x4D) : QColor(0xB3, 0x58, 0x00);
    case TextTone::Green:
        return dark ? QColor(0x69, 0xDB, 0x7C) : QColor(0x2E, 0x7D, 0x32);
    case TextTone::Label:
        break;
    }
    return palette.color(QPalette::Text);
}

}  // namespace quillon::app
