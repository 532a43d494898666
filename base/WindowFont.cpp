#include "base/WindowFont.h"

#include <QFontDatabase>
#include <QStringList>

// The windows' texts were laid out for a narrow 8-point face. Where no such face is installed, the
// wide face that every system here has is narrowed to the same widths (the toolkit condenses it
// when no condensed cut is installed).
QFont windowFont() {
    const QString face = layoutFace();
    if (!face.isEmpty()) return QFont(face, 8);
    const QStringList available = QFontDatabase::families();
    // Arial's widths (and those of Liberation Sans, made to match them) run a few per cent wider
    // than the narrow face's at 8 points: "код по умолчанию" would need 118 of its 116 pixels.
    for (const char* family : {"Arial", "Liberation Sans"}) {
        if (!available.contains(QLatin1String(family))) continue;
        QFont font(QLatin1String(family), 8);
        font.setStretch(94);
        return font;
    }
    QFont font(QStringLiteral("DejaVu Sans"), 8);
    font.setStyleHint(QFont::SansSerif);
    font.setStretch(80);
    return font;
}
