#include "editors/LoopEditor.h"

#include "base/GridCells.h"
#include "base/Hints.h"
#include "config/ConfigView.h"
#include "config/LoopLayout.h"
#include "editors/CellRules.h"
#include "editors/GridCellDelegate.h"
#include "editors/GridHints.h"
#include "editors/HeadingRowStrip.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTableWidget>
#include <QValidator>
#include <functional>

namespace {

constexpr int kTypeListWidth = 114; // the open type list is wider than a loop column
// Rows 8..11 belong to fire loops, rows 12..19 to security loops.
constexpr int kLastFireRow = 11;
constexpr int kFirstSecurityRow = 12;

// Refuses a change that the rule does not accept, so the editor keeps the text it had before the
// keystroke. The text the editor was given is accepted as it stands (a long description read from
// the expander can be shortened in one edit, not one character at a time).
class EditRuleValidator : public QValidator {
  public:
    EditRuleValidator(std::function<bool(const QString&)> rule, QObject* parent)
        : QValidator(parent), rule_(std::move(rule)) {}
    void setGivenText(const QString& text) { given_ = text; }
    State validate(QString& input, int&) const override {
        return input == given_ || rule_(input) ? Acceptable : Invalid;
    }

  private:
    std::function<bool(const QString&)> rule_;
    QString given_;
};

} // namespace

// Paints the loop grid and gives it its in-place editor in rows 8 and 20 only.
class LoopEditor::CellDelegate : public GridCellDelegate {
  public:
    explicit CellDelegate(LoopEditor* owner) : GridCellDelegate({true, -1}, owner), owner_(owner) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        return owner_->createCellEditor(parent, index);
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        owner_->refreshCellEditor(editor, index);
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        owner_->cellEditorClosed(editor);
        GridCellDelegate::destroyEditor(editor, index);
    }
    void endEditing(QWidget* editor) {
        emit commitData(editor);
        emit closeEditor(editor, NoHint);
    }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        // The grid itself takes the focus before it handles a click or a cursor key; the click or the
        // key decides (another cell selected, or editing ended), so the editor stays until then.
        if (event->type() == QEvent::FocusOut && QApplication::focusWidget() == owner_->grid_) return false;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            // Tab leaves the cell: the pair number rule applies as for a change of cell, and editing
            // ends without opening the next cell.
            if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
                owner_->restoreInvalidPairNumber();
                owner_->endEditing();
                return true;
            }
        }
        return GridCellDelegate::eventFilter(object, event);
    }

  private:
    LoopEditor* owner_;
};

// Rows that cannot become current (the header row, a hidden description row) are refused, and the
// editor hears of every change of the current cell before it happens.
class LoopEditor::SelectionGuard : public QItemSelectionModel {
  public:
    SelectionGuard(QAbstractItemModel* model, LoopEditor* owner, QObject* parent)
        : QItemSelectionModel(model, parent), owner_(owner) {}

    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override {
        QModelIndex next = index;
        if (owner_) {
            // A grid entered from the keyboard starts on the header row: the first property row
            // below it becomes current instead.
            if (next.isValid() && next.row() == 0 && !currentIndex().isValid()) next = next.siblingAtRow(1);
            if (next.isValid() && !owner_->selectableCell(next)) return;
            if (next != currentIndex()) owner_->beforeCurrentChange(next);
        }
        QItemSelectionModel::setCurrentIndex(next, command);
        // The grid has scrolled the new current row into view, perhaps under the header row.
        if (owner_ && owner_->headings_) owner_->headings_->uncoverRow(next.row());
    }
    void select(const QItemSelection& selection, SelectionFlags command) override {
        if (owner_) {
            const QModelIndexList indexes = selection.indexes();
            for (const QModelIndex& index : indexes)
                if (!owner_->selectableCell(index)) return;
        }
        QItemSelectionModel::select(selection, command);
    }
    using QItemSelectionModel::select;

  private:
    QPointer<LoopEditor> owner_;
};

LoopEditor::LoopEditor(QTableWidget* grid, QComboBox* list, const ExpanderConfig& config,
                       const ConfigControls& controls, QWidget* window)
    : grid_(grid), list_(list), config_(config), controls_(controls), window_(window),
      delegate_(new CellDelegate(this)), previousDelegate_(grid->itemDelegate()) {
    controls_.loopGrid = grid;
    grid_->setItemDelegate(delegate_);
    grid_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->setSelectionModel(new SelectionGuard(grid_->model(), this, grid_));
    headings_ = new HeadingRowStrip(grid_);
    headingsAddress_ = headings_;
    headings_->installEventFilter(this);
    grid_->viewport()->setMouseTracking(true);
    grid_->viewport()->installEventFilter(this);
    grid_->installEventFilter(this);
    delegate_->onHintRequest = [this](const QPoint& pos, const QPoint& global) {
        if (!list_->isVisible()) showHint(pos, global);
    };
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (currentCell(grid_) == GridCell{column, row}) StringGrid1DblClick();
    });
    connect(grid_, &QTableWidget::cellClicked, this, [this] { StringGrid1Click(); });

    list_->setEditable(false);
    list_->hide();
    list_->installEventFilter(this);
    connect(list_, &QComboBox::activated, this, &LoopEditor::ComboBox4Change);
}

LoopEditor::~LoopEditor() {
    if (list_) list_->removeEventFilter(this);
    if (headings_) headings_->removeEventFilter(this);
    delete headings_;
    if (!grid_) return;
    if (editor_) delegate_->endEditing(editor_);
    grid_->viewport()->removeEventFilter(this);
    grid_->removeEventFilter(this);
    if (grid_->itemDelegate() == delegate_ && previousDelegate_) grid_->setItemDelegate(previousDelegate_);
}

bool LoopEditor::isFireLoop(int loop) const {
    const QString type = cellText(grid_, loop, kLoopTypeRow);
    return type == loopTypeNames()[SmokeFireLoop] || type == loopTypeNames()[HeatFireLoop];
}

bool LoopEditor::rowApplies(int row, int loop) const {
    if (row >= kPairNumberRow && row <= kLastFireRow) return isFireLoop(loop);
    if (row >= kFirstSecurityRow && row <= kLastPropertyRow) return !isFireLoop(loop);
    return true;
}

bool LoopEditor::selectableCell(const QModelIndex& index) const {
    if (index.row() < 1) return false;
    return index.row() != kDescriptionRow || hasDescriptionRow(grid_);
}

bool LoopEditor::editableCell(int column, int row) const {
    if (column < 1 || column > kLoopCount) return false;
    return row == kPairNumberRow || (row == kDescriptionRow && hasDescriptionRow(grid_));
}

void LoopEditor::StringGrid1DblClick() {
    if (list_->isVisible()) return;
    const GridCell cell = currentCell(grid_);
    const int k = cell.column;
    const int r = cell.row;
    if (!cell.valid() || r < 1 || r > kDescriptionRow || k > kLoopCount) return;
    if (r == kDescriptionRow && !hasDescriptionRow(grid_)) return;
    if (k > 0 && !rowApplies(r, k)) return;
    endEditing();
    if (k > 0) {
        if (r == kLoopTypeRow)
            openList(loopTypeNames(), k, r, kTypeListWidth, {2, 1});
        else if (r == kReactionTimeRow)
            openList({fastReactionText(), slowReactionText()}, k, r, 0, {2, 2});
        else if (r == kPairNumberRow || r == kDescriptionRow)
            startEditing(k, r);
        else
            toggleCell(grid_, k, r);
        return;
    }
    if (r == kLoopTypeRow || r == kPairNumberRow || r == kReactionTimeRow || r == kDescriptionRow) return;
    for (int loop = 1; loop <= kLoopCount; ++loop)
        if (rowApplies(r, loop)) toggleCell(grid_, loop, r);
}

void LoopEditor::openList(const QStringList& items, int column, int row, int openListMinWidth,
                          QPoint offset) {
    listCell_ = {column, row};
    placeOverCell(list_, grid_, column, row, offset);
    list_->clear();
    list_->addItems(items);
    list_->setCurrentIndex(list_->findText(cellText(grid_, column, row)));
    list_->view()->setMinimumWidth(openListMinWidth);
    list_->show();
    if (windowVisible(window_)) list_->setFocus(Qt::OtherFocusReason);
}

void LoopEditor::ComboBox4Change(int index) {
    if (index < 0 || index >= list_->count() || !listCell_.valid()) return;
    setCellText(grid_, listCell_.column, listCell_.row, list_->itemText(index));
    if (listCell_.row == kLoopTypeRow) FillLoopColumn(config_, controls_, listCell_.column, index);
}

void LoopEditor::ComboBox4Exit() {
    hideList(false);
}

void LoopEditor::hideList(bool focusGrid) {
    listCell_ = {};
    if (focusGrid && windowVisible(window_)) grid_->setFocus(Qt::OtherFocusReason);
    list_->hide();
}

void LoopEditor::startEditing(int column, int row) {
    grid_->edit(grid_->model()->index(row, column));
}

void LoopEditor::endEditing() {
    if (editor_) delegate_->endEditing(editor_);
}

void LoopEditor::beforeCurrentChange(const QModelIndex&) {
    if (!editor_) return;
    restoreInvalidPairNumber();
    endEditing();
}

void LoopEditor::restoreInvalidPairNumber() {
    if (!editor_ || editIndex_.row() != kPairNumberRow || isPairNumber(editor_->text())) return;
    editorText_ = textBeforeEdit_;
    editor_->setText(textBeforeEdit_);
    setCellText(grid_, editIndex_.column(), editIndex_.row(), textBeforeEdit_);
}

QWidget* LoopEditor::createCellEditor(QWidget* parent, const QModelIndex& index) {
    if (!editableCell(index.column(), index.row())) return nullptr;
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    const bool pairNumber = index.row() == kPairNumberRow;
    auto* validator =
        new EditRuleValidator(pairNumber ? acceptsPairNumberEdit : acceptsDescriptionEdit, editor);
    editor->setValidator(validator);
    connect(editor, &QLineEdit::textEdited, this, &LoopEditor::cellTextEdited);
    textBeforeEdit_ = cellText(grid_, index.column(), index.row());
    editorText_ = QString();
    editor_ = editor;
    editIndex_ = index;
    return editor;
}

void LoopEditor::refreshCellEditor(QWidget* editor, const QModelIndex& index) {
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (!edit) return;
    // The cell follows every accepted keystroke; only a text put there from outside (a read while
    // typing) is shown again, and it counts as given.
    const QString text = index.data(Qt::EditRole).toString();
    if (edit->text() == text && !text.isEmpty()) return;
    if (auto* validator = dynamic_cast<EditRuleValidator*>(const_cast<QValidator*>(edit->validator())))
        validator->setGivenText(text);
    if (edit == editor_) editorText_ = text;
    if (edit->text() != text) edit->setText(text);
}

void LoopEditor::cellEditorClosed(QWidget* editor) {
    if (editor == editor_) {
        editor_ = nullptr;
        editIndex_ = QPersistentModelIndex();
    }
}

void LoopEditor::cellTextEdited(const QString& text) {
    if (!editor_ || sender() != editor_ || text == editorText_) return;
    textBeforeEdit_ = editorText_;
    editorText_ = text;
    setCellText(grid_, editIndex_.column(), editIndex_.row(), text);
}

bool LoopEditor::gridHasFocus() const {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == grid_ || grid_->isAncestorOf(focus));
}

void LoopEditor::StringGrid1MouseMove(const QPoint& viewportPos) {
    if (list_->isVisible()) return;
    if (windowVisible(window_) && !gridHasFocus()) grid_->setFocus(Qt::MouseFocusReason);
    showHint(viewportPos, grid_->viewport()->mapToGlobal(viewportPos));
}

void LoopEditor::showHint(const QPoint& viewportPos, const QPoint& globalPos) {
    const QModelIndex index = grid_->indexAt(viewportPos);
    if (!index.isValid() || index.row() < 1) return;
    const QString hint = loopRowHint(index.row(), cellText(grid_, index.column(), index.row()));
    grid_->setToolTip(hint);
    showHintAt(globalPos, hint, grid_->viewport());
}

bool LoopEditor::eventFilter(QObject* watched, QEvent* event) {
    if (!grid_ || !list_) return false;
    if (watched == list_) {
        if (event->type() == QEvent::FocusOut) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            // Opening its own list and switching to another application leave the list in place.
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) ComboBox4Exit();
        } else if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape || isEnterKey(key)) {
                hideList(true);
                return true;
            }
        }
        return false;
    }
    if (watched == headingsAddress_) {
        // Over the header row: the grid takes the focus as over its cells, there is no hint, and a
        // click ends editing without selecting anything.
        if (event->type() == QEvent::MouseMove && !list_->isVisible() && windowVisible(window_) &&
            !gridHasFocus())
            grid_->setFocus(Qt::MouseFocusReason);
        if (event->type() == QEvent::MouseButtonPress) {
            endEditing();
            if (windowVisible(window_)) grid_->setFocus(Qt::MouseFocusReason);
        }
        return false;
    }
    if (watched == grid_->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            StringGrid1MouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        } else if (event->type() == QEvent::MouseButtonPress && editor_) {
            // A click elsewhere in the grid: another cell becomes current (the pair number rule
            // applies), or the click lands where no cell can be selected; either way editing ends.
            const QModelIndex target = grid_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (target.isValid() && target != editIndex_ && selectableCell(target))
                restoreInvalidPairNumber();
            endEditing();
        }
        return false;
    }
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (editor_) {
            // The editor lost the focus to the grid without closing: the keys still belong to it.
            // A key the editor does not take comes back up to the grid; the grid handles it then.
            if (forwardingKey_) return false;
            forwardingKey_ = true;
            editor_->setFocus(Qt::OtherFocusReason);
            QCoreApplication::sendEvent(editor_, event);
            forwardingKey_ = false;
            return true;
        }
        const GridCell cell = currentCell(grid_);
        if (isEnterKey(key)) {
            if (editableCell(cell.column, cell.row))
                startEditing(cell.column, cell.row);
            else
                StringGrid1DblClick();
            return true;
        }
        // Typing starts editing in rows 8 and 20 whatever the loop's type; elsewhere it does nothing.
        if (typesCharacter(key)) return !editableCell(cell.column, cell.row);
    }
    return false;
}
