#include "editors/GridActions.h"

#include "base/GridCells.h"

#include <QKeyEvent>
#include <QTableWidget>

GridCell currentCell(const QTableWidget* grid) {
    const QModelIndex index = grid->currentIndex();
    if (!index.isValid()) return {};
    return {index.column(), index.row()};
}

void toggleCell(QTableWidget* grid, int column, int row) {
    setCellText(grid, column, row, cellText(grid, column, row) == u"+" ? QString() : QStringLiteral("+"));
}

void placeOverCell(QWidget* editor, const QTableWidget* grid, int column, int row, QPoint offset) {
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    const QPoint global = grid->viewport()->mapToGlobal(cell.topLeft() + offset);
    QWidget* parent = editor->parentWidget();
    editor->move(parent ? parent->mapFromGlobal(global) : global);
    editor->raise();
}

bool typesCharacter(const QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

bool isEnterKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

bool windowVisible(const QWidget* window) {
    return window && window->isVisible();
}
