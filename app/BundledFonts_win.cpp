#include "app/BundledFonts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>

void loadBundledFonts() {
    const QDir fonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    for (const QString& file : fonts.entryList({QStringLiteral("*.ttf")}, QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(file));
}
