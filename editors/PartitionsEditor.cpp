#include "editors/PartitionsEditor.h"

#include "base/GridCells.h"
#include "config/LoopLayout.h"
#include "editors/CellRules.h"
#include "editors/GridHints.h"

#include <QLineEdit>

namespace {

FlagGridEditor::Layout partitionsLayout() {
    FlagGridEditor::Layout layout;
    layout.dataColumns = 8;
    layout.firstLoopRow = kGlobalNumberRow + 1;
    layout.lastLoopRow = kGlobalNumberRow + 8;
    layout.valueRow = kGlobalNumberRow;
    layout.codeRow = kPartitionCodeRow;
    layout.enterActs = true;
    return layout;
}

} // namespace

PartitionsEditor::PartitionsEditor(QTableWidget* grid, QLineEdit* box, QWidget* window)
    : FlagGridEditor(grid, box, window, partitionsLayout(),
                     {.selectAllOnFocus = false, .escapeCancels = false, .offset = {}}) {
    box->setMaxLength(32767);
}

QString PartitionsEditor::hintAt(int column, int row) const {
    return partitionsHint(column, row);
}

void PartitionsEditor::commitValue(const GridCell& cell, const QString& text) {
    std::optional<QString> value;
    if (cell.row == kGlobalNumberRow)
        value = committedGlobalNumber(text);
    else if (cell.row == kPartitionCodeRow)
        value = committedPartitionCode(text);
    if (value) setCellText(grid(), cell.column, cell.row, *value);
}
