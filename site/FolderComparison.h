#pragma once
#include "compare/ComparisonWindow.h"
#include "compare/DeviceSide.h"
#include "site/Site.h"

#include <QDir>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace Site {

// One address of the site beside its file.
struct SiteRow {
    int address = 0;
    QString status; // "совпадает", "3 различия", "нет файла", "нет в приборе", or why it was not compared
    std::optional<Compare::Result> comparison; // the file beside the expander, when they were compared
    std::optional<CollectedConfig> held;       // what the expander held then, when it was read
    bool codesCompared = true;                 // its codes were read and compared
    QString file;                              // its file, empty for "нет файла"
    bool writable = false; // listed by the control unit, with a file that reads as a configuration
};

// The configuration files of a site's folder by address: "Расширитель N.okf".
std::map<int, QString> siteFiles(const QDir& folder);
// The configuration of a site's file, or why it has none (the file cannot be read, or is not a
// configuration file).
std::optional<CollectedConfig> readSiteFile(const QString& path, QString& why);
// What programming writes of a configuration: user 0 with its fixed code, and of a description the
// first 21 characters, which is all the control unit keeps.
CollectedConfig asWritten(CollectedConfig config);

// "совпадает" or the number of differences: "1 различие", "3 различия", "5 различий".
QString differencesText(size_t count);
// The same, with ", коды не сравнивались" where the codes were not compared.
QString comparedText(size_t count, bool codesCompared);
// The comparison of a site's file with the expander as read, in a site list's row.
void compareRow(SiteRow& row, const CollectedConfig& file, const Compare::DeviceSide& side);

// "Расширитель" → "Сравнить с папкой…": asks for a folder of "Расширитель N.okf" files, reads every
// listed expander that has a file, as "Сохранить все расширители…" reads it, and compares the file
// with it as "Сравнить с прибором" compares the window. Rows in address order: every listed expander
// and every file. Nothing when no folder was chosen.
std::optional<std::vector<SiteRow>> compareWithFolder(const Host& host, QString& folder);

} // namespace Site
