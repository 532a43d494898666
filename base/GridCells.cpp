#include "base/GridCells.h"

#include <QTableWidget>

QString cellText(const QTableWidget* grid, int column, int row) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

void setCellText(QTableWidget* grid, int column, int row, const QString& text) {
    if (row < 0 || column < 0 || row >= grid->rowCount() || column >= grid->columnCount()) return;
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        if (text.isEmpty()) return;
        item = new QTableWidgetItem(text);
        grid->setItem(row, column, item);
        return;
    }
    if (item->text() != text) item->setText(text);
}

void setLoopGridRows(QTableWidget* loopGrid, int rows) {
    if (loopGrid->rowCount() < 21) loopGrid->setRowCount(21);
    loopGrid->setRowHidden(20, rows < 21);
}

int loopGridRows(const QTableWidget* loopGrid) {
    if (loopGrid->rowCount() < 21) return loopGrid->rowCount();
    return loopGrid->isRowHidden(20) ? 20 : 21;
}
