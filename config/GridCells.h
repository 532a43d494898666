#pragma once
#include <QString>

class QTableWidget;

// Cell access in the order the whole program uses: column first, then row.
QString cellText(const QTableWidget* grid, int column, int row);
void setCellText(QTableWidget* grid, int column, int row, const QString& text);
