#pragma once
#include <QString>
#include <functional>

class QTableWidget;
class QWidget;

// Input as a user gives it, for window tests: real mouse and key events on the widgets.
namespace input {

// Selects a cell with a click, as the user does.
void clickCell(QTableWidget* grid, int column, int row);
// A double-click on a cell: a click, then the double-click (the click makes it current).
void doubleClickCell(QTableWidget* grid, int column, int row);
// Types text into whatever has the keyboard focus in window, or into widget when given.
void typeText(QWidget* widget, const QString& text);
void pressEnter(QWidget* widget);
// Pumps events until the condition holds or timeoutMs has passed; true when it holds.
bool waitFor(const std::function<bool()>& condition, int timeoutMs);

} // namespace input
