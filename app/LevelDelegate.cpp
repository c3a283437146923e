#include "LevelDelegate.h"

#include "TextTone.h"
#include "TrackTableModel.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quillon::app {
namespace {

// The scale of the strip: its bottom edge, its top is full scale.
constexpr double kFloorDb = -90.0;
constexpr int kMargin = 3;

double levelDb(double peak) { return peak > 0.0 ? 20.0 * std::log10(peak) : kFloorDb; }

// The height, within `height` pixels, of a level.
int heightOf(double db, int height) {
    return static_cast<int>(std::lround(std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0) * height));
}

}  // namespace

LevelDelegate::LevelDelegate(double thresholdDb, QObject* parent)
    : QStyledItemDelegate(parent), _thresholdDb(thresholdDb) {}

// One bar per pixel column, the loudest of the slices that fall into it.
void LevelDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const QList<double> peaks = index.data(TrackTableModel::LevelRole).value<QList<double>>();
    const QRect area = option.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    if (area.width() <= 0 || area.height() <= 0) return;
    painter->save();
    const QPalette& palette = option.palette;
    const QColor loud = option.state & QStyle::State_Selected ? palette.color(QPalette::HighlightedText)
                                                              : toneColour(TextTone::Green, palette);
    const QColor quiet = toneColour(TextTone::Red, palette);
    for (int x = 0; x < area.width() && !peaks.isEmpty(); ++x) {
        const auto first = static_cast<qsizetype>(std::int64_t{x} * peaks.size() / area.width());
        const auto last = std::max(first + 1, static_cast<qsizetype>(std::int64_t{x + 1} * peaks.size() / area.width()));
        const double db = levelDb(*std::max_element(peaks.begin() + first, peaks.begin() + last));
        const int bar = heightOf(db, area.height());
        painter->fillRect(area.left() + x, area.bottom() + 1 - bar, 1, bar, db >= _thresholdDb ? loud : quiet);
    }
    const int lineY = area.bottom() + 1 - heightOf(_thresholdDb, area.height());
    painter->setPen(QPen(palette.color(QPalette::Mid), 1, Qt::DotLine));
    painter->drawLine(area.left(), lineY, area.right(), lineY);
    painter->restore();
}

}  // namespace quillon::app
