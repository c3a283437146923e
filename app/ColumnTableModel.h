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

enum class ColumnSizing {
    Fixed,     // `width` wide
    Contents,  // as wide as its widest text, so it is never shortened
    // Takes whatever width the other columns leave, at least `width`; below
    // that the table scrolls sideways rather than cut another column off.
    Fills,
};

struct ColumnSpec {
    const char* title;
    int width;
    ColumnSizing sizing = ColumnSizing::Fixed;
};

class ColumnTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Answers data() with the TextTone of a cell, for callers that need the
    // meaning of its colour rather than the colour.
    static constexpr int ToneRole = Qt::UserRole + 1;

    explicit ColumnTableModel(std::span<const ColumnSpec> columns, QObject* parent = nullptr);

    std::span<const ColumnSpec> columns() const { return _columns; }

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

protected:
    struct Cell {
        QString text;
        TextTone tone = TextTone::Label;
        QString toolTip;             // the text itself when empty
        std::optional<bool> checked;  // a check box the user may tick, when set
    };
    // The cell of a row and column, or nothing for a row outside the data.
    virtual std::optional<Cell> cell(int row, int column) const = 0;
    // The user ticked or cleared the check box of a cell; what the cell shows
    // is up to the model.
    virtual void setChecked(int row, int column, bool checked);

private:
    std::span<const ColumnSpec> _columns;
};

}  // namespace quillon::app
