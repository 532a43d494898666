#pragma once
#include <QFont>
#include <QString>

// The font of both windows: the face they were laid out for, "MS Sans Serif" 8 pt, where this
// system has it, else a sans-serif face with Cyrillic glyphs narrowed to about the same widths.
QFont windowFont();
// The family under which this system has the face the windows were laid out for; empty where it
// has none.
QString layoutFace();
