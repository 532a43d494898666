#pragma once
#include <QString>

class QTableWidget;

// Cell access in the order the whole program uses: column first, then row.
QString cellText(const QTableWidget* grid, int column, int row);
void setCellText(QTableWidget* grid, int column, int row, const QString& text);

// The loop grid has 21 rows when the control unit keeps loop descriptions and 20 when it does not.
// Dropping to 20 rows hides the description row instead of removing it, so the texts last put there
// stay (saving a file writes them). Every check of "the grid has its description row" asks this.
void setLoopGridRows(QTableWidget* loopGrid, int rows);
int loopGridRows(const QTableWidget* loopGrid);
inline bool hasDescriptionRow(const QTableWidget* loopGrid) { return loopGridRows(loopGrid) == 21; }
