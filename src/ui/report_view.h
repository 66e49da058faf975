#pragma once

#include <QStringList>
#include <QTableWidget>

namespace porthold::ui {

// A list of records in rows and columns, as the Messages and PIN List dialogs
// show them: grid lines, whole rows selected one at a time, left-aligned
// cells, no row numbers at the side, and arrow keys moving the selection.
class ReportView final : public QTableWidget {
    Q_OBJECT

public:
    ReportView(const QStringList& headers, QWidget* parent = nullptr);

    // Removes every row.
    void RemoveAllRows();
    // Inserts a row of cells at `row` (0 is the top), with an optional image
    // in front of the first cell.
    void InsertRow(int row, const QStringList& cells, const QIcon& image = QIcon());
    // Each column as wide as its header or its widest cell, whichever is wider.
    void FitColumns();
    // The selected row; -1 when none is selected.
    int SelectionMark() const;
    // The text of a cell; empty outside the rows.
    QString CellText(int row, int column) const;

signals:
    // The selection changed, by the user or by the program.
    void SelectionChanged();
};

}  // namespace porthold::ui
