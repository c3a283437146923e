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
    _results = std::move(results);
    _choiceChanged.assign(_results.size(), false);
    _folder = std::move(folder);
    endResetModel();
}

void FileTableModel::setChoiceChanged(int row, bool changed) {
    _choiceChanged.at(static_cast<std::size_t>(row)) = changed;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int FileTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(_results.size());
}

// Files of the same name in different subfolders are told apart by the
// tooltip, which names the file's path within the scanned folder.
std::optional<ColumnTableModel::Cell> FileTableModel::cell(int row, int) const {
    if (row < 0 || static_cast<std::size_t>(row) >= _results.size()) return std::nullopt;
    const auto file = static_cast<std::size_t>(row);
    const PolyWavInfo& info = _results[file];
    const std::filesystem::path shownPath = info.path.lexically_relative(_folder);
    std::string tip = shownPath.empty() ? info.path.string() : shownPath.string();
    std::string text = info.summary();
    if (_choiceChanged[file]) {
        text = "\u270E " + text;  // a pencil: changed by hand
        tip += "\nTracks to remove chosen by hand";
    }
    return Cell{QString::fromUtf8(text), fileTone(info), QString::fromUtf8(tip), std::nullopt};
}

}  // namespace quillon::app
