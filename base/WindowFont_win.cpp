#include "base/WindowFont.h"

#include <QFontDatabase>
#include <QStandardPaths>
#include <QStringList>

// Windows keeps "MS Sans Serif" as a bitmap face, with Cyrillic letters only where the system's
// code page is Cyrillic; everywhere it has the face's TrueType cut "Microsoft Sans Serif", of the
// same widths, in its font folder.
QString layoutFace() {
    const QString bitmap = QStringLiteral("MS Sans Serif");
    if (QFontDatabase::writingSystems(bitmap).contains(QFontDatabase::Cyrillic)) return bitmap;
    const QString trueType = QStringLiteral("Microsoft Sans Serif");
    if (!QFontDatabase::families().contains(trueType)) {
        // A platform without the system's font list (offscreen) finds it in the font folder.
        for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::FontsLocation)) {
            if (QFontDatabase::addApplicationFont(folder + QStringLiteral("/micross.ttf")) >= 0) break;
        }
    }
    return QFontDatabase::writingSystems(trueType).contains(QFontDatabase::Cyrillic) ? trueType : QString();
}
