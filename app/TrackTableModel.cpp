#include "TrackTableModel.h"

#include "texts.h"

namespace quillon::app {
namespace {

QString trackText(const TrackInfo& track, const QString& columnId) {
    if (columnId == QLatin1String("num")) return QString::number(track.index + 1);
    if (columnId == QLatin1String("name")) return QString::fromUtf8(track.name);
    if (columnId == QLatin1String("peak")) return QString::fromUtf8(ui::peakText(track.peak));
    return QString::fromUtf8(ui::trackStateText(track));
}

TextTone trackTone(const TrackInfo& track, const QString& columnId) {
    if (track.empty) return TextTone::Red;
    return columnId == QLatin1String("status") ? TextTone::Green : TextTone::Label;
}

}  // namespace

TrackTableModel::TrackTableModel(const std::vector<PolyWavInfo>& results, CurrentFile currentFile,
                                 QObject* parent)
    : ColumnTableModel(parent), results_(results), currentFile_(std::move(currentFile)) {}

const PolyWavInfo* TrackTableModel::currentInfo() const {
    const std::optional<std::size_t> row = currentFile_();
    if (!row || *row >= results_.size()) return nullptr;
    return &results_[*row];
}

int TrackTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    const PolyWavInfo* info = currentInfo();
    return info ? static_cast<int>(info->tracks.size()) : 0;
}

std::optional<ColumnTableModel::Cell> TrackTableModel::cell(int row, const QString& columnId) const {
    const PolyWavInfo* info = currentInfo();
    if (!info || row < 0 || static_cast<std::size_t>(row) >= info->tracks.size()) return std::nullopt;
    const TrackInfo& track = info->tracks[static_cast<std::size_t>(row)];
    return Cell{trackText(track, columnId), trackTone(track, columnId)};
}

}  // namespace quillon::app
