#include "editors/CellEditBox.h"

#include "base/GridCells.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableWidget>

CellEditBox::CellEditBox(QTableWidget* grid, QLineEdit* box, QWidget* window, Behaviour behaviour)
    : grid_(grid), box_(box), window_(window), behaviour_(behaviour) {
    box_->hide();
    box_->installEventFilter(this);
}

CellEditBox::~CellEditBox() {
    if (box_) box_->removeEventFilter(this);
}

void CellEditBox::open(int column, int row) {
    cell_ = {column, row};
    box_->setText(cellText(grid_, column, row));
    placeOverCell(box_, grid_, column, row, behaviour_.offset);
    box_->show();
    if (windowVisible(window_)) {
        box_->setFocus(Qt::OtherFocusReason);
        if (behaviour_.selectAllOnFocus) box_->selectAll();
    }
}

void CellEditBox::commit() {
    if (!isOpen()) return;
    const GridCell cell = cell_;
    const QString text = box_->text();
    close();
    if (onCommit && grid_) onCommit(cell, text);
}

void CellEditBox::cancel() {
    if (isOpen()) close();
}

void CellEditBox::close() {
    // Cleared first: the focus leaving the box below must not commit it a second time.
    cell_ = {};
    // A box that still has the focus (Enter, Escape, the menu's change) hands it back to the grid;
    // after a focus loss the focus stays where the user put it.
    if (box_->hasFocus() && grid_ && windowVisible(window_)) grid_->setFocus(Qt::OtherFocusReason);
    box_->hide();
}

bool CellEditBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != box_) return false;
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isEnterKey(key)) {
            commit();
            return true;
        }
        if (key->key() == Qt::Key_Escape && behaviour_.escapeCancels) {
            cancel();
            return true;
        }
        return false;
    }
    case QEvent::FocusIn:
        if (behaviour_.selectAllOnFocus) box_->selectAll();
        return false;
    case QEvent::FocusOut: {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // The box's own context menu and a switch to another application leave it open.
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) commit();
        return false;
    }
    default:
        return false;
    }
}
