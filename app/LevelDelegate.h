// Draws a track's level over the take in its table cell: the peak of each
// time slice as a bar on a dBFS scale, with the silence threshold as a line.
// Its tooltip gives the level at the pointer's time.
#pragma once

#include <QStyledItemDelegate>

namespace quillon::app {

class LevelDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // `thresholdDb` is drawn as a line; bars below it show in the empty tone.
    explicit LevelDelegate(double thresholdDb, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    double _thresholdDb;
};

}  // namespace quillon::app
