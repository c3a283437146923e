#include "TrackTableModel.h"

#include "texts.h"

#include <array>

namespace quillon::app {
namespace {

constexpr std::array<ColumnSpec, TrackTableModel::ColumnCount> kColumns{{
    {"#", 40},
    {"Name", 140, true},
    {"Peak", 80},
    {"Status", 70},
}};

QString trackText(const TrackInfo& track, int column) {
    switch (column) {
    case TrackTableModel::Number: return QString::number(track.index + 1);
    case TrackTableModel::Name: return QString::fromUtf8(track.name);
    case TrackTableModel::Peak: return QString::fromUtf8(ui::peakText(track.peak));
    default: return QString::fromUtf8(ui::trackStateText(track));
    }
}

TextTone trackTone(const TrackInfo& track, int column) {
    if (track.empty) return TextTone::Red;
    return column == TrackTableModel::Status ? TextTone::Green : TextTone::Label;
}

}  // namespace

TrackTableModel::TrackTableModel(QObject* parent) : ColumnTableModel(kColumns, parent) {}

void TrackTableModel::setFile(const PolyWavInfo* info) {
    beginResetModel();
    tracks_ = info ? info->tracks : std::vector<TrackInfo>{};
    endResetModel();
}

int TrackTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(tracks_.size());
}

std::optional<ColumnTableModel::Cell> TrackTableModel::cell(int row, int column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= tracks_.size()) return std::nullopt;
    const TrackInfo& track = tracks_[static_cast<std::size_t>(row)];
    return Cell{trackText(track, column), trackTone(track, column), {}};
}

}  // namespace quillon::app
