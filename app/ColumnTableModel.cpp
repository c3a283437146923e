#include "ColumnTableModel.h"

#include <QGuiApplication>

namespace quillon::app {

ColumnTableModel::ColumnTableModel(std::span<const ColumnSpec> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(columns) {}

int ColumnTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ColumnTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || static_cast<std::size_t>(section) >= columns_.size()) return {};
    return QString::fromUtf8(columns_[static_cast<std::size_t>(section)].title);
}

QVariant ColumnTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const std::optional<Cell> shown = cell(index.row(), index.column());
    if (!shown) return {};
    switch (role) {
    case Qt::DisplayRole:
        return shown->text;
    case Qt::ToolTipRole:
        return shown->toolTip.isEmpty() ? shown->text : shown->toolTip;
    case Qt::ForegroundRole:
        return toneColour(shown->tone, QGuiApplication::palette());
    case ToneRole:
        return static_cast<int>(shown->tone);
    default:
        return {};
    }
}

Qt::ItemFlags ColumnTableModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace quillon::app
