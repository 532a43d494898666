#include "editors/FlagGridEditor.h"

#include "base/GridCells.h"
#include "base/Hints.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTableWidget>

FlagGridEditor::FlagGridEditor(QTableWidget* grid, QLineEdit* box, QWidget* window, Layout layout,
                               CellEditBox::Behaviour boxBehaviour)
    : grid_(grid), window_(window), layout_(layout),
      delegate_(new GridCellDelegate({false, layout.codeRow}, this)), previousDelegate_(grid->itemDelegate()),
      box_(grid, box, window, boxBehaviour) {
    grid_->setItemDelegate(delegate_);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->viewport()->setMouseTracking(true);
    grid_->viewport()->installEventFilter(this);
    grid_->installEventFilter(this);
    delegate_->onHintRequest = [this](const QPoint& pos, const QPoint& global) { showHint(pos, global); };
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (currentCell(grid_) == GridCell{column, row}) doubleClick();
    });
    box_.onCommit = [this](const GridCell& cell, const QString& text) { commitValue(cell, text); };
}

FlagGridEditor::~FlagGridEditor() {
    if (!grid_) return;
    grid_->viewport()->removeEventFilter(this);
    grid_->removeEventFilter(this);
    if (grid_->itemDelegate() == delegate_ && previousDelegate_) grid_->setItemDelegate(previousDelegate_);
}

void FlagGridEditor::doubleClick() {
    const GridCell cell = currentCell(grid_);
    if (!cell.valid() || (cell.column == 0 && cell.row == 0)) return;
    const int k = cell.column;
    const int r = cell.row;
    if (r == 0) {
        for (int row = layout_.firstLoopRow; row <= layout_.lastLoopRow; ++row)
            toggleCell(grid_, k, row);
    } else if (r >= layout_.firstLoopRow && r <= layout_.lastLoopRow) {
        if (k == 0) {
            for (int column = 1; column <= layout_.dataColumns; ++column)
                toggleCell(grid_, column, r);
        } else {
            toggleCell(grid_, k, r);
        }
    } else if (k > 0 && (r == layout_.valueRow || r == layout_.codeRow)) {
        box_.open(k, r);
    }
}

void FlagGridEditor::mouseMove(const QPoint& viewportPos) {
    showHint(viewportPos, grid_->viewport()->mapToGlobal(viewportPos));
}

void FlagGridEditor::showHint(const QPoint& viewportPos, const QPoint& globalPos) {
    const QModelIndex index = grid_->indexAt(viewportPos);
    const QString hint = index.isValid() ? hintAt(index.column(), index.row()) : hintAt(-1, -1);
    grid_->setToolTip(hint);
    showHintAt(globalPos, hint, grid_->viewport());
}

bool FlagGridEditor::eventFilter(QObject* watched, QEvent* event) {
    if (!grid_) return false;
    if (watched == grid_->viewport() && event->type() == QEvent::MouseMove) {
        mouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        return false;
    }
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isEnterKey(key)) {
            if (layout_.enterActs) doubleClick();
            return true;
        }
        // Typed characters do nothing here (the view would otherwise jump to a cell starting with them).
        return typesCharacter(key);
    }
    return false;
}
