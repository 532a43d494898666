#pragma once
#include "config/ExpanderConfig.h"
#include "editors/FlagGridEditor.h"

// The users grid (StringGrid3) with its code box (Edit3): column u + 1 is user u; row 0 the user
// numbers, rows 1..8 loops 1..8, row 9 the access code. Only a double-click acts: a loop cell
// toggles, a loop caption toggles that loop for every user, a user number inverts the user's
// loops, a code cell opens the box with the code in clear. The box takes at most four characters
// and selects its text on focus; it is committed by Enter, by losing the focus or by the main
// menu's change, and Escape closes it keeping the old code.
class UsersEditor : public FlagGridEditor {
    Q_OBJECT
  public:
    UsersEditor(QTableWidget* grid /*StringGrid3*/, QLineEdit* box /*Edit3*/, const ExpanderConfig& config,
                QWidget* window);

    void StringGrid3DblClick() { doubleClick(); }
    // The main menu's change: an open code box is committed as by Enter.
    void commitOpenEdit() { commitBox(); }

  protected:
    QString hintAt(int column, int row) const override;
    void commitValue(const GridCell& cell, const QString& text) override;

  private:
    const ExpanderConfig& config_;
};
