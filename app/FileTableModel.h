// The file table: one row per scan result, showing its one-line summary.
#pragma once

#include "ColumnTableModel.h"

#include <quillon/quillon.h>

#include <vector>

namespace quillon::app {

class FileTableModel : public ColumnTableModel {
    Q_OBJECT
public:
    FileTableModel(const std::vector<PolyWavInfo>& results, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;

protected:
    std::optional<Cell> cell(int row, const QString& columnId) const override;

private:
    const std::vector<PolyWavInfo>& results_;
};

}  // namespace quillon::app
