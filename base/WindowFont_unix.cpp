#include "base/WindowFont.h"

#include <QFontDatabase>
#include <QStringList>

QString layoutFace() {
    const QString face = QStringLiteral("MS Sans Serif");
    return QFontDatabase::families().contains(face) ? face : QString();
}
