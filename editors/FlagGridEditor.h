#pragma once
#include "editors/CellEditBox.h"
#include "editors/GridActions.h"
#include "editors/GridCellDelegate.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <QLineEdit>
#include <QTableWidget>

// What the partitions and users grids share: a caption column and a header row, a block of loop
// rows whose "+" cells are toggled one by one (a cell, a whole row from its caption, a whole column
// from its header), value rows typed in an edit box laid over the cell, a masked code row, and a
// hint chosen by the position of the mouse. The grid never edits in place.
class FlagGridEditor : public QObject {
    Q_OBJECT
  public:
    struct Layout {
        int dataColumns = 0;  // columns 1..dataColumns
        int firstLoopRow = 0; // loop rows, toggled
        int lastLoopRow = 0;
        int valueRow = -1;      // a value row typed in the box besides the code row, -1 for none
        int codeRow = 0;        // typed in the box, drawn masked
        bool enterActs = false; // Enter in the grid does what a double-click does
    };

    FlagGridEditor(QTableWidget* grid, QLineEdit* box, QWidget* window, Layout layout,
                   CellEditBox::Behaviour boxBehaviour);
    ~FlagGridEditor() override;

    // Double-click (and Enter where it acts) on the current cell.
    void doubleClick();
    // The mouse moved to a position of the grid's viewport: the hint of that place, shown at once.
    void mouseMove(const QPoint& viewportPos);

    bool boxOpen() const { return box_.isOpen(); }
    GridCell boxCell() const { return box_.cell(); }
    void commitBox() { box_.commit(); }

  protected:
    virtual QString hintAt(int column, int row) const = 0;
    // Puts the committed box text into the cell, or leaves the cell as it was.
    virtual void commitValue(const GridCell& cell, const QString& text) = 0;

    QTableWidget* grid() const { return grid_; }
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showHint(const QPoint& viewportPos, const QPoint& globalPos);

    QPointer<QTableWidget> grid_;
    QPointer<QWidget> window_;
    Layout layout_;
    GridCellDelegate* delegate_;
    QPointer<QAbstractItemDelegate> previousDelegate_;
    CellEditBox box_;
};
