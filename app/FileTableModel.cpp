#include "FileTableModel.h"

#include "texts.h"

#include <array>

namespace quillon::app {
namespace {

// Every column but the file is as wide as its widest text; the file column
// takes the rest, down to its minimum width.
constexpr std::array<ColumnSpec, FileTableModel::ColumnCount> kColumns{{
    {"Start", 0, ColumnSizing::Contents},
    {"File", 120, ColumnSizing::Fills},
    {"Tracks", 0, ColumnSizing::Contents},
    {"Active", 0, ColumnSizing::Contents},
    {"Empty", 0, ColumnSizing::Contents},
    {"Rate", 0, ColumnSizing::Contents},
    {"Length", 0, ColumnSizing::Contents},
}};

TextTone fileTone(const PolyWavInfo& info) {
    if (!info.error.empty()) return TextTone::Orange;
    return ui::hasEmptyTracks(info) ? TextTone::Red : TextTone::Label;
}

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

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

QVariant FileTableModel::data(const QModelIndex& index, int role) const {
    if (role != SortRole) return ColumnTableModel::data(index, role);
    const auto row = static_cast<std::size_t>(index.row());
    if (!index.isValid() || row >= _results.size()) return {};
    const PolyWavInfo& info = _results[row];
    switch (index.column()) {
    case Start: return fromUtf8(info.timecode);
    case File: return fromUtf8(ui::shownPath(info.path, _folder));
    case Tracks: return info.channels;
    case Active: return info.activeCount();
    case Empty: return info.emptyCount();
    case Rate: return info.sampleRate;
    default: return info.duration;
    }
}

// The file is named by its path within the scanned folder, so same-named
// takes in different subfolders are told apart; a file that failed shows
// its error after its name and nothing in the other columns.
std::optional<ColumnTableModel::Cell> FileTableModel::cell(int row, int column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= _results.size()) return std::nullopt;
    const auto file = static_cast<std::size_t>(row);
    const PolyWavInfo& info = _results[file];
    const bool failed = !info.error.empty();
    Cell shown{{}, fileTone(info), {}, std::nullopt};
    switch (column) {
    case Start: shown.text = fromUtf8(info.timecode); break;
    case File: {
        std::string text = failed ? ui::summaryText(info, _folder) : ui::shownPath(info.path, _folder);
        std::string tip = text;
        if (_choiceChanged[file]) {
            text = "\u270E " + text;  // a pencil: changed by hand
            tip += "\nTracks to remove chosen by hand";
        }
        shown.text = fromUtf8(text);
        shown.toolTip = fromUtf8(tip);
        break;
    }
    case Tracks: shown.text = failed ? QString() : QString::number(info.channels); break;
    case Active: shown.text = failed ? QString() : QString::number(info.activeCount()); break;
    case Empty: shown.text = failed ? QString() : QString::number(info.emptyCount()); break;
    case Rate: shown.text = failed ? QString() : QStringLiteral("%1 Hz").arg(info.sampleRate); break;
    default: shown.text = failed ? QString() : fromUtf8(ui::clockText(info.duration)); break;
    }
    return shown;
}

}  // namespace quillon::app
