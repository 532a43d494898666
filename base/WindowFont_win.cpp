#include "base/WindowFont.h"

#include <QFontDatabase>
#include <QStandardPaths>
#include <QStringList>

// The windows were laid out for "MS Sans Serif". Windows keeps that name for a bitmap face, which
// cannot be scaled: at the display scaling most laptops use (125 %, 150 %) it would be drawn as
// enlarged pixels. Its TrueType cut "Microsoft Sans Serif", of the same widths, scales; every Windows
// has it in its font folder.
QString layoutFace() {
    const QString trueType = QStringLiteral("Microsoft Sans Serif");
    if (!QFontDatabase::families().contains(trueType)) {
        // A platform without the system's font list (offscreen) finds it in the font folder.
        for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::FontsLocation)) {
            if (QFontDatabase::addApplicationFont(folder + QStringLiteral("/micross.ttf")) >= 0) break;
        }
    }
    return QFontDatabase::writingSystems(trueType).contains(QFontDatabase::Cyrillic) ? trueType : QString();
}
