#include "TrackTableModel.h"

#include <algorithm>
#include <array>

namespace quillon::app {
namespace {

constexpr std::array<ColumnSpec, TrackTableModel::ColumnCount> kColumns{{
    {"Remove", 56},
    {"Name", 80},
    {"Level", 40, ColumnSizing::Fills},
    {"Peak", 76},  // room for a peak marked as a lower bound
    {"Status", 52},
}};

QString trackText(const TrackInfo& track, bool peakCoversTake, int column) {
    switch (column) {
    case TrackTableModel::Remove: return QString::number(track.index + 1);
    case TrackTableModel::Name: return QString::fromUtf8(track.name);
    case TrackTableModel::Level: return {};
    case TrackTableModel::Peak: return QString::fromUtf8(ui::peakText(track.peak, peakCoversTake));
    default: return QString::fromUtf8(ui::trackStateText(track));
    }
}

TextTone trackTone(const TrackInfo& track, int column) {
    if (track.empty) return TextTone::Red;
    return column == TrackTableModel::Status ? TextTone::Green : TextTone::Label;
}

}  // namespace

TrackTableModel::TrackTableModel(QObject* parent) : ColumnTableModel(kColumns, parent) {}

void TrackTableModel::setFile(const PolyWavInfo* info, const ui::TrackChoice& remove) {
    beginResetModel();
    _tracks = info ? info->tracks : std::vector<TrackInfo>{};
    _peaksCoverTake = !info || info->peaksCoverTake();
    _takeSeconds = info ? info->duration : 0.0;
    _remove = info ? remove : ui::TrackChoice{};
    _overview.clear();
    _overviewError.clear();
    endResetModel();
}

void TrackTableModel::setChoice(const ui::TrackChoice& remove) {
    _remove = remove;
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void TrackTableModel::setOverview(std::vector<std::vector<double>> peaks, const std::string& error) {
    _overview = std::move(peaks);
    _overviewError = error;
    // Only the peak shown changes: the empty flags stay the detector's.
    if (_overview.size() == _tracks.size() && !_tracks.empty()) {
        for (std::size_t k = 0; k < _tracks.size(); ++k)
            _tracks[k].peak = *std::max_element(_overview[k].begin(), _overview[k].end());
        _peaksCoverTake = true;
    }
    if (rowCount() > 0) emit dataChanged(index(0, Level), index(rowCount() - 1, Peak));
}

int TrackTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(_tracks.size());
}

QVariant TrackTableModel::data(const QModelIndex& index, int role) const {
    const auto row = static_cast<std::size_t>(index.row());
    if (index.column() != Level || row >= _tracks.size()) return ColumnTableModel::data(index, role);
    switch (role) {
    case LevelRole:
        if (row >= _overview.size()) return {};
        return QVariant::fromValue(QList<double>(_overview[row].begin(), _overview[row].end()));
    case LevelLoadingRole: return _overview.empty() && _overviewError.empty();
    case TakeSecondsRole: return _takeSeconds;
    default: return ColumnTableModel::data(index, role);
    }
}

std::optional<ColumnTableModel::Cell> TrackTableModel::cell(int row, int column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= _tracks.size()) return std::nullopt;
    const auto track = static_cast<std::size_t>(row);
    Cell shown{trackText(_tracks[track], _peaksCoverTake, column), trackTone(_tracks[track], column), {}, std::nullopt};
    if (column == Remove) shown.checked = _remove[track];
    if (column == Level)
        shown.toolTip = QString::fromUtf8(!_overviewError.empty() ? _overviewError
                                          : _overview.empty()     ? ui::kReadingLevels
                                                                  : ui::silenceLineText());
    return shown;
}

void TrackTableModel::setChecked(int row, int, bool checked) { emit removeChanged(row, checked); }

}  // namespace quillon::app
