// The track table: one row per track of the current file.
#pragma once

#include "ColumnTableModel.h"

#include <quillon/quillon.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace quillon::app {

class TrackTableModel : public ColumnTableModel {
    Q_OBJECT
public:
    // `currentFile` names the row of `results` whose tracks are shown, if any;
    // it is asked again on every request.
    using CurrentFile = std::function<std::optional<std::size_t>()>;

    TrackTableModel(const std::vector<PolyWavInfo>& results, CurrentFile currentFile, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;

protected:
    std::optional<Cell> cell(int row, const QString& columnId) const override;

private:
    const PolyWavInfo* currentInfo() const;

    const std::vector<PolyWavInfo>& results_;
    CurrentFile currentFile_;
};

}  // namespace quillon::app
