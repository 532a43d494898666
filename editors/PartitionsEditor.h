#pragma once
#include "editors/FlagGridEditor.h"

// The global partitions grid (StringGrid2) with its edit box (Edit2): column p is partition p;
// row 0 the headers, row 1 the global number, rows 2..9 loops 1..8, row 10 the access code.
// Double-click or Enter: a loop cell toggles, a loop caption toggles that loop in every partition,
// a header inverts the partition's loops, the number and code cells open the box with the value in
// clear. The box is committed by Enter or by losing the focus.
class PartitionsEditor : public FlagGridEditor {
    Q_OBJECT
  public:
    PartitionsEditor(QTableWidget* grid /*StringGrid2*/, QLineEdit* box /*Edit2*/, QWidget* window);

    void StringGrid2DblClick() { doubleClick(); }
    void Edit2Commit() { commitBox(); }

  protected:
    QString hintAt(int column, int row) const override;
    void commitValue(const GridCell& cell, const QString& text) override;
};
