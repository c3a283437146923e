// Common ground of the file and track tables: columns described once, by
// index, with their titles and widths; cells formatted from the data that
// the model owns.
#pragma once

#include "TextTone.h"

#include <QAbstractTableModel>
#include <QString>

#include <optional>
#include <span>

namespace quillon::app {

struct ColumnSpec {
    const char* title;
    int width;
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

    explicit ColumnTableModel(std::span<const ColumnSpec> columns, QObject* parent = nullptr);

    std::span<const ColumnSpec> columns() const { return columns_; }

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

protected:
    struct Cell {
        QString text;
        TextTone tone = TextTone::Label;
        QString toolTip;  // the text itself when empty
    };
    // The cell of a row and column, or nothing for a row outside the data.
    virtual std::optional<Cell> cell(int row, int column) const = 0;

private:
    std::span<const ColumnSpec> columns_;
};

}  // namespace quillon::app
