#include "FileTableModel.h"

#include "texts.h"

#include <array>

namespace quillon::app {
namespace {

constexpr std::array<ColumnSpec, FileTableModel::ColumnCount> kColumns{{
    {"Polyphonic WAV files", 520, true},
}};

TextTone fileTone(const PolyWavInfo& info) {
    if (!info.error.empty()) return TextTone::Orange;
    return ui::hasEmptyTracks(info) ? TextTone::Red : TextTone::Label;
}

}  // namespace

FileTableModel::FileTableModel(QObject* parent) : ColumnTableModel(kColumns, parent) {}

void FileTableModel::setResults(std::vector<PolyWavInfo> results, std::filesystem::path folder) {
    beginResetModel();
    results_ = std::move(results);
    folder_ = std::move(folder);
    endResetModel();
}

int FileTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(results_.size());
}

// Files of the same name in different subfolders are told apart by the
// tooltip, which names the file's path within the scanned folder.
std::optional<ColumnTableModel::Cell> FileTableModel::cell(int row, int) const {
    if (row < 0 || static_cast<std::size_t>(row) >= results_.size()) return std::nullopt;
    const PolyWavInfo& info = results_[static_cast<std::size_t>(row)];
    const std::filesystem::path shownPath = info.path.lexically_relative(folder_);
    const std::string tip = shownPath.empty() ? info.path.string() : shownPath.string();
    return Cell{QString::fromUtf8(info.summary()), fileTone(info), QString::fromUtf8(tip)};
}

}  // namespace quillon::app
