#pragma once
#include "config/ExpanderConfig.h"
#include "config/MainControls.h"
#include "editors/GridActions.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>

class QAbstractItemDelegate;
class HeadingRowStrip;
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>

// The loop grid (StringGrid1) with its drop-down list (ComboBox4): column n is loop n, row 0 the
// headers, rows 1..19 the loop properties, row 20 the description while the grid has that row.
//
// A double-click toggles a "+" row of a loop to which the row applies (fire loops: rows 8..11,
// security loops: rows 12..19, all loops: the rest), toggles a row in every loop it applies to from
// the row's caption, opens the type list (row 1) or the reaction-time list (row 16), or starts
// typing in place (rows 8 and 20). Choosing a type refills the loop's column from the stored bytes.
// Typing in place: the pair number stays 1..8 (an emptied number comes back when another cell is
// selected), a description stays below 20 characters of code page 1251. The header row stays at the
// top of the grid however far it is scrolled, and a click on it selects nothing.
class LoopEditor : public QObject {
    Q_OBJECT
  public:
    LoopEditor(QTableWidget* grid /*StringGrid1*/, QComboBox* list /*ComboBox4*/,
               const ExpanderConfig& config, const ConfigControls& controls, QWidget* window);
    ~LoopEditor() override;

    // Double-click (and Enter) on the current cell.
    void StringGrid1DblClick();
    // A single click in the grid ends typing in place.
    void StringGrid1Click() { endEditing(); }
    // The user chose item `index` of the open list.
    void ComboBox4Change(int index);
    // The list lost the focus: it is hidden.
    void ComboBox4Exit();
    // The mouse moved to a position of the grid's viewport.
    void StringGrid1MouseMove(const QPoint& viewportPos);

    bool editing() const { return !editor_.isNull(); }
    QLineEdit* cellEditor() const { return editor_; }
    // The cell's text when typing began, or before the last accepted change.
    const QString& textBeforeEdit() const { return textBeforeEdit_; }
    void endEditing();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class CellDelegate;
    class SelectionGuard;

    bool isFireLoop(int loop) const;
    bool rowApplies(int row, int loop) const;
    bool selectableCell(const QModelIndex& index) const;
    bool editableCell(int column, int row) const;
    void openList(const QStringList& items, int column, int row, int openListMinWidth, QPoint offset);
    void hideList(bool focusGrid);
    void startEditing(int column, int row);
    void beforeCurrentChange(const QModelIndex& next);
    void restoreInvalidPairNumber();
    void showHint(const QPoint& viewportPos, const QPoint& globalPos);
    bool gridHasFocus() const;

    // Called by the cell delegate.
    QWidget* createCellEditor(QWidget* parent, const QModelIndex& index);
    void refreshCellEditor(QWidget* editor, const QModelIndex& index);
    void cellEditorClosed(QWidget* editor);
    void cellTextEdited(const QString& text);

    QPointer<QTableWidget> grid_;
    QPointer<QComboBox> list_;
    const ExpanderConfig& config_;
    ConfigControls controls_;
    QPointer<QWidget> window_;
    CellDelegate* delegate_;
    QPointer<QAbstractItemDelegate> previousDelegate_;
    // Row 0 stays in view while the grid is scrolled down.
    QPointer<HeadingRowStrip> headings_;
    // The strip's address, to tell its events apart: compared only, never used, so that events it
    // sends while it is being destroyed are not taken for a live strip's.
    const QObject* headingsAddress_ = nullptr;

    GridCell listCell_;
    QPointer<QLineEdit> editor_;
    QPersistentModelIndex editIndex_;
    QString textBeforeEdit_;
    QString editorText_;
    bool forwardingKey_ = false;
};
