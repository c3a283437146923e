#include "FileTableModel.h"

namespace quillon::app {
namespace {

TextTone fileTone(const PolyWavInfo& info) {
    if (!info.error.empty()) return TextTone::Orange;
    return info.emptyCount() > 0 ? TextTone::Red : TextTone::Label;
}

}  // namespace

FileTableModel::FileTableModel(const std::vector<PolyWavInfo>& results, QObject* parent)
    : ColumnTableModel(parent), results_(results) {}

int FileTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(results_.size());
}

std::optional<ColumnTableModel::Cell> FileTableModel::cell(int row, const QString&) const {
    if (row < 0 || static_cast<std::size_t>(row) >= results_.size()) return std::nullopt;
    const PolyWavInfo& info = results_[static_cast<std::size_t>(row)];
    return Cell{QString::fromUtf8(info.summary()), fileTone(info)};
}

}  // namespace quillon::app
