#include "ColumnTableModel.h"

#include <QGuiApplication>

namespace quillon::app {

ColumnTableModel::ColumnTableModel(std::span<const ColumnSpec> columns, QObject* parent)
    : QAbstractTableModel(parent), _columns(columns) {}

int ColumnTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(_columns.size());
}

QVariant ColumnTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || static_cast<std::size_t>(section) >= _columns.size()) return {};
    return QString::fromUtf8(_columns[static_cast<std::size_t>(section)].title);
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
    case Qt::CheckStateRole:
        return shown->checked ? QVariant(*shown->checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags ColumnTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const std::optional<Cell> shown = cell(index.row(), index.column());
    const Qt::ItemFlags checkable = shown && shown->checked ? Qt::ItemIsUserCheckable : Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | checkable;
}

bool ColumnTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable)) return false;
    setChecked(index.row(), index.column(), value.toInt() == Qt::Checked);
    return true;
}

void ColumnTableModel::setChecked(int, int, bool) {}

}  // namespace quillon::app
