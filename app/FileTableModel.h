// The file table: one row per scan result, showing its one-line summary.
#pragma once

#include "ColumnTableModel.h"

#include <quillon/quillon.h>

#include <filesystem>
#include <vector>

namespace quillon::app {

class FileTableModel : public ColumnTableModel {
    Q_OBJECT
public:
    enum Column { Summary, ColumnCount };

    explicit FileTableModel(QObject* parent = nullptr);

    // The results of a scan of `folder`; row i shows results[i].
    void setResults(std::vector<PolyWavInfo> results, std::filesystem::path folder);
    // Marks a file whose tracks to remove were chosen by hand.
    void setChoiceChanged(int row, bool changed);

    int rowCount(const QModelIndex& parent = {}) const override;

protected:
    std::optional<Cell> cell(int row, int column) const override;

private:
    std::vector<PolyWavInfo> _results;
    std::vector<bool> _choiceChanged;
    std::filesystem::path _folder;
};

}  // namespace quillon::app
