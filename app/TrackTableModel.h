// The track table: one row per track of the file it is given.
#pragma once

#include "ColumnTableModel.h"

#include <quillon/quillon.h>

#include <vector>

namespace quillon::app {

class TrackTableModel : public ColumnTableModel {
    Q_OBJECT
public:
    enum Column { Number, Name, Peak, Status, ColumnCount };

    explicit TrackTableModel(QObject* parent = nullptr);

    // Shows the tracks of `info`, or none for nullptr.
    void setFile(const PolyWavInfo* info);

    int rowCount(const QModelIndex& parent = {}) const override;

protected:
    std::optional<Cell> cell(int row, int column) const override;

private:
    std::vector<TrackInfo> tracks_;
};

}  // namespace quillon::app
