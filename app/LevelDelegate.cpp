#include "LevelDelegate.h"

#include "TextTone.h"
#include "TrackTableModel.h"
#include "texts.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

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

QRect stripArea(const QRect& cell) { return cell.adjusted(kMargin, kMargin, -kMargin, -kMargin); }

// The slices [first, last) that pixel column `x` of a strip `width` wide
// shows, at least one.
std::pair<qsizetype, qsizetype> slicesUnder(int x, int width, qsizetype count) {
    const auto first = static_cast<qsizetype>(std::int64_t{x} * count / width);
    return {first, std::max(first + 1, static_cast<qsizetype>(std::int64_t{x + 1} * count / width))};
}

double loudestOf(const QList<double>& peaks, std::pair<qsizetype, qsizetype> slices) {
    return *std::max_element(peaks.begin() + slices.first, peaks.begin() + slices.second);
}

}  // namespace

LevelDelegate::LevelDelegate(double thresholdDb, QObject* parent)
    : QStyledItemDelegate(parent), _thresholdDb(thresholdDb) {}

// One bar per pixel column, the loudest of the slices that fall into it, at
// least a pixel high, so that silence shows as a red floor. A strip still
// being read is hatched instead.
void LevelDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const QList<double> peaks = index.data(TrackTableModel::LevelRole).value<QList<double>>();
    const QRect area = stripArea(option.rect);
    if (area.width() <= 0 || area.height() <= 0) return;
    painter->save();
    const QPalette& palette = option.palette;
    if (index.data(TrackTableModel::LevelLoadingRole).toBool())
        painter->fillRect(area, QBrush(palette.color(QPalette::Mid), Qt::BDiagPattern));
    const QColor loud = option.state & QStyle::State_Selected ? palette.color(QPalette::HighlightedText)
                                                              : toneColour(TextTone::Green, palette);
    const QColor quiet = toneColour(TextTone::Red, palette);
    for (int x = 0; x < area.width() && !peaks.isEmpty(); ++x) {
        const double db = levelDb(loudestOf(peaks, slicesUnder(x, area.width(), peaks.size())));
        const int bar = std::max(1, heightOf(db, area.height()));
        painter->fillRect(area.left() + x, area.bottom() + 1 - bar, 1, bar, db >= _thresholdDb ? loud : quiet);
    }
    const int lineY = area.bottom() + 1 - heightOf(_thresholdDb, area.height());
    painter->setPen(QPen(palette.color(QPalette::Mid), 1, Qt::DotLine));
    painter->drawLine(area.left(), lineY, area.right(), lineY);
    painter->restore();
}

// The level and time under the pointer, and what the dotted line means.
bool LevelDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                              const QModelIndex& index) {
    const QList<double> peaks = index.data(TrackTableModel::LevelRole).value<QList<double>>();
    const QRect area = stripArea(option.rect);
    if (event->type() != QEvent::ToolTip || peaks.isEmpty() || area.width() <= 0)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const auto slices = slicesUnder(std::clamp(event->pos().x() - area.left(), 0, area.width() - 1), area.width(),
                                    peaks.size());
    const double seconds =
        index.data(TrackTableModel::TakeSecondsRole).toDouble() * static_cast<double>(slices.first) / peaks.size();
    const std::string text = ui::levelAtText(seconds, loudestOf(peaks, slices)) + "\n" + ui::silenceLineText();
    QToolTip::showText(event->globalPos(), QString::fromUtf8(text), view, option.rect);
    return true;
}

}  // namespace quillon::app
