#include "ui/report_view.h"

#include <QHeaderView>
#include <QStyledItemDelegate>

namespace porthold::ui {

namespace {

// Rows are chosen whole, and the chosen row is highlighted: a focus frame
// around one cell would only look like a field to type into.
class RowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
    }
};

}  // namespace

ReportView::ReportView(const QStringList& headers, QWidget* parent) : QTableWidget(parent) {
    setColumnCount(static_cast<int>(headers.size()));
    setHorizontalHeaderLabels(headers);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    verticalHeader()->hide();
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setItemDelegate(new RowDelegate(this));
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ReportView::SelectionChanged);
}

void ReportView::RemoveAllRows() {
    setRowCount(0);
}

void ReportView::InsertRow(int row, const QStringList& cells, const QIcon& image) {
    insertRow(row);
    for (int column = 0; column < cells.size() && column < columnCount(); ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        if (column == 0 && !image.isNull()) {
            item->setIcon(image);
        }
        setItem(row, column, item);
    }
}

void ReportView::FitColumns() {
    // resizeColumnsToContents weighs the header too.
    resizeColumnsToContents();
    resizeRowsToContents();
}

int ReportView::SelectionMark() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

QString ReportView::CellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell == nullptr ? QString() : cell->text();
}

}  // namespace porthold::ui
