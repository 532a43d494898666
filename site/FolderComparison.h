#pragma once
#include "compare/ComparisonWindow.h"
#include "site/Site.h"

#include <QString>
#include <optional>
#include <vector>

namespace Site {

// One address of the site beside its file.
struct SiteRow {
    int address = 0;
    QString status; // "совпадает", "3 различия", "нет файла", "нет в приборе", or why it was not compared
    std::optional<Compare::Result> comparison; // the file beside the expander, when they were compared
    QString file;                              // its file, empty for "нет файла"
    bool writable = false; // listed by the control unit, with a file that reads as a configuration
};

// The configuration of a site's file, or why it has none (the file cannot be read, or is not a
// configuration file).
std::optional<CollectedConfig> readSiteFile(const QString& path, QString& why);
// What programming writes of a configuration: user 0 with its fixed code, and of a description the
// first 21 characters, which is all the control unit keeps.
CollectedConfig asWritten(CollectedConfig config);

// "совпадает" or the number of differences: "1 различие", "3 различия", "5 различий".
QString differencesText(size_t count);

// "Расширитель" → "Сравнить с папкой…": asks for a folder of "Расширитель N.okf" files, reads every
// listed expander that has a file, as "Сохранить все расширители…" reads it, and compares the file
// with it as "Сравнить с прибором" compares the window. Rows in address order: every listed expander
// and every file. Nothing when no folder was chosen.
std::optional<std::vector<SiteRow>> compareWithFolder(const Host& host, QString& folder);

} // namespace Site
