#include "site/BackupComparison.h"

#include "base/Dialogs.h"
#include "site/SaveAll.h"

#include <QDir>
#include <map>

namespace Site {
namespace {

// One side's file of a row: its configuration as programming would write it, or why it has none.
struct Side {
    QString path;
    std::optional<CollectedConfig> config;
    QString why;
};

std::map<int, Side> sidesOf(const QString& folder) {
    std::map<int, Side> sides;
    for (const auto& [address, path] : siteFiles(QDir(folder))) {
        Side& side = sides[address];
        side.path = path;
        if (std::optional<CollectedConfig> config = readSiteFile(path, side.why)) side.config = asWritten(*config);
    }
    return sides;
}

} // namespace

std::optional<std::vector<SiteRow>> compareFolders(QString& title) {
    const QString before = dialogs().folderName(dialogStartFolder(), QString());
    if (before.isEmpty()) return std::nullopt;
    const QString after = dialogs().folderName(QFileInfo(before).absolutePath(), QString());
    if (after.isEmpty()) return std::nullopt;
    title = QStringLiteral("Сравнение папок %1 и %2")
                .arg(QDir::toNativeSeparators(before), QDir::toNativeSeparators(after));
    const std::map<int, Side> was = sidesOf(before), is = sidesOf(after);
    std::map<int, SiteRow> rows;
    for (const auto& [address, side] : was)
        rows[address] = {address, QStringLiteral("нет во второй папке"), std::nullopt, std::nullopt, true,
                         side.path, false};
    for (const auto& [address, side] : is) {
        SiteRow& row = rows[address];
        row.address = address;
        row.file = side.path;
        const auto old = was.find(address);
        if (old == was.end()) {
            row.status = QStringLiteral("нет в первой папке");
            continue;
        }
        if (!old->second.config || !side.config) {
            row.status = old->second.config ? side.why : old->second.why;
            continue;
        }
        const QString number = QString::number(address);
        Compare::Result result{QStringLiteral("Расширитель %1: две папки").arg(number),
                               QStringLiteral("стало"),
                               QStringLiteral("Файлы расширителя %1 в обеих папках совпадают.").arg(number),
                               QString(),
                               Compare::differences(*old->second.config, *side.config, Compare::Scope{}),
                               false,
                               QStringLiteral("было")};
        row.status = differencesText(result.rows.size());
        row.comparison = std::move(result);
    }
    std::vector<SiteRow> out;
    for (auto& [address, row] : rows)
        out.push_back(std::move(row));
    return out;
}

} // namespace Site
