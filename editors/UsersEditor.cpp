#include "editors/UsersEditor.h"

#include "base/GridCells.h"
#include "config/LoopLayout.h"
#include "editors/CellRules.h"
#include "editors/GridHints.h"

#include <QLineEdit>

namespace {

constexpr int kCodeLength = 4;
// The code box opens 2 pixels right of and 2 pixels below the cell's top-left corner.
constexpr QPoint kCodeBoxOffset(2, 2);

FlagGridEditor::Layout usersLayout() {
    FlagGridEditor::Layout layout;
    layout.dataColumns = kUserCount;
    layout.firstLoopRow = 1;
    layout.lastLoopRow = 8;
    layout.codeRow = kUserCodeRow;
    layout.enterActs = false;
    return layout;
}

} // namespace

UsersEditor::UsersEditor(QTableWidget* grid, QLineEdit* box, const ExpanderConfig& config, QWidget* window)
    : FlagGridEditor(grid, box, window, usersLayout(),
                     {.selectAllOnFocus = true, .escapeCancels = true, .offset = kCodeBoxOffset}),
      config_(config) {
    box->setMaxLength(kCodeLength);
}

QString UsersEditor::hintAt(int column, int row) const {
    return usersHint(column, row, config_.codesRead);
}

void UsersEditor::commitValue(const GridCell& cell, const QString& text) {
    if (cell.row != kUserCodeRow) return;
    if (const std::optional<QString> value = committedUserCode(text))
        setCellText(grid(), cell.column, cell.row, *value);
}
