// The track table: one row per track of the file it is given, with the
// user's choice of the tracks to remove and each track's level over the take.
#pragma once

#include "ColumnTableModel.h"
#include "texts.h"

#include <quillon/quillon.h>

#include <string>
#include <vector>

namespace quillon::app {

class TrackTableModel : public ColumnTableModel {
    Q_OBJECT
public:
    // Of Level cells: the peaks of the track's time slices, linear; whether
    // they are still being read; the length of the take in seconds.
    static constexpr int LevelRole = Qt::UserRole + 2;
    static constexpr int LevelLoadingRole = Qt::UserRole + 3;
    static constexpr int TakeSecondsRole = Qt::UserRole + 4;
    enum Column { Remove, Name, Level, Peak, Status, ColumnCount };

    explicit TrackTableModel(QObject* parent = nullptr);

    // Shows the tracks of `info` with `remove` ticked, or none for nullptr.
    void setFile(const PolyWavInfo* info, const ui::TrackChoice& remove);
    void setChoice(const ui::TrackChoice& remove);
    // The level of each track over the take, or why it cannot be had. Its
    // slices cover every frame, so a peak measured over the start of the
    // take only is shown as the take's from then on.
    void setOverview(std::vector<std::vector<double>> peaks, const std::string& error = {});

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    // The user ticked or cleared a track's check box; the choice shown
    // changes when it is given back through setChoice.
    void removeChanged(int track, bool remove);

protected:
    std::optional<Cell> cell(int row, int column) const override;
    void setChecked(int row, int column, bool checked) override;

private:
    std::vector<TrackInfo> _tracks;
    bool _peaksCoverTake = true;
    double _takeSeconds = 0.0;
    ui::TrackChoice _remove;
    std::vector<std::vector<double>> _overview;
    std::string _overviewError;
};

}  // namespace quillon::app
