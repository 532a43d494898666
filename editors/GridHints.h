#pragma once
#include <QString>

// The hints of the three grids. Column and row are those of the cell under the mouse, -1 both when
// the mouse is outside every cell.

// The hint of a loop grid row 1..20 (empty for other rows). Row 1 depends on the text of the cell
// under the mouse: the type's explanation, or a request to set the type for any other text.
QString loopRowHint(int row, const QString& cellText);

// The partitions grid: each later rule overrides the earlier ones.
QString partitionsHint(int column, int row);

// The users grid; the code row tells whether the codes were read from the expander.
QString usersHint(int column, int row, bool codesRead);
