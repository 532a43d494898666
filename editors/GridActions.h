#pragma once

#include <QPoint>

class QKeyEvent;
class QTableWidget;
class QWidget;

// Small actions the three grid editors share.

struct GridCell {
    int column = -1;
    int row = -1;
    bool valid() const { return column >= 0 && row >= 0; }
    bool operator==(const GridCell&) const = default;
};

// The grid's current cell, or an invalid cell when there is none.
GridCell currentCell(const QTableWidget* grid);

// A flag cell: "+" is emptied, any other text becomes "+".
void toggleCell(QTableWidget* grid, int column, int row);

// Places a cell editor (a child of the grid's page or of the window) at `offset` from the cell's
// top-left corner and raises it above the grid.
void placeOverCell(QWidget* editor, const QTableWidget* grid, int column, int row, QPoint offset = {});

// True for a key press that types a character (not Enter, Escape, Tab, Backspace or a shortcut).
bool typesCharacter(const QKeyEvent* event);
bool isEnterKey(const QKeyEvent* event);

// True when the window is visible; only then do the editors move the keyboard focus.
bool windowVisible(const QWidget* window);
