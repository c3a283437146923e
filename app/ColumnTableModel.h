// Common ground of the file and track tables: identified, titled, sized
// columns, and cells that are formatted on every request from the controller's
// results (nothing is cached).
#pragma once

#include "TextTone.h"

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace quillon::app {

struct TableColumn {
    QString id;
    QString title;
    double width = 0.0;
    // Takes whatever width the other columns leave, so that no column is cut
    // off and no horizontal scrolling is needed at any window size.
    bool fills = false;
};

class ColumnTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Answers data() with the TextTone of a cell, for callers that need the
    // meaning of its colour rather than the colour.
    static constexpr int ToneRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    void setColumns(std::vector<TableColumn> columns);
    const std::vector<TableColumn>& columns() const { return columns_; }
    QString columnId(int column) const;

    // Tells the views that every row may have changed; `change` runs between
    // the two notifications so views never see the data half replaced.
    void reload(const std::function<void()>& change = {});

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

protected:
    struct Cell {
        QString text;
        TextTone tone = TextTone::Label;
    };
    // The cell of a row and column, or nothing for a row outside the data.
    virtual std::optional<Cell> cell(int row, const QString& columnId) const = 0;

private:
    std::vector<TableColumn> columns_;
};

}  // namespace quillon::app
