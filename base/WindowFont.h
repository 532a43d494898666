#pragma once
#include <QFont>

// The font of both windows: "MS Sans Serif" 8 pt where it exists, else a sans-serif face with
// Cyrillic glyphs narrowed to about the same widths.
QFont windowFont();
