// The file table: one row per scan result, the parts of its summary in
// columns, each sortable by the value it shows.
#pragma once

#include "ColumnTableModel.h"

#include <quillon/quillon.h>

#include <filesystem>
#include <vector>

namespace quillon::app {

class FileTableModel : public ColumnTableModel {
    Q_OBJECT
public:
    // What a column sorts by: numbers as numbers, the file by its path.
    static constexpr int SortRole = Qt::UserRole + 3;
    enum Column { Start, File, Tracks, Active, Empty, Rate, Length, ColumnCount };

    explicit FileTableModel(QObject* parent = nullptr);

    // The results of a scan of `folder`; row i shows results[i].
    void setResults(std::vector<PolyWavInfo> results, std::filesystem::path folder);
    // Marks a file whose tracks to remove were chosen by hand.
    void setChoiceChanged(int row, bool changed);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

protected:
    std::optional<Cell> cell(int row, int column) const override;

private:
    std::vector<PolyWavInfo> _results;
    std::vector<bool> _choiceChanged;
    std::filesystem::path _folder;
};

}  // namespace quillon::app
