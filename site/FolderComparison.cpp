#include "site/FolderComparison.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "config/ConfigFile.h"
#include "device/ExpanderFrames.h"
#include "site/ExpanderReads.h"
#include "site/ProgressWindow.h"
#include "site/SaveAll.h"

#include <QDir>
#include <QRegularExpression>
#include <map>

namespace Site {

std::map<int, QString> siteFiles(const QDir& folder) {
    static const QRegularExpression name(QStringLiteral("^Расширитель (\\d{1,2})\\.okf$"),
                                         QRegularExpression::CaseInsensitiveOption);
    std::map<int, QString> files;
    for (const QString& file : folder.entryList(QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch match = name.match(file);
        if (!match.hasMatch()) continue;
        const int address = match.captured(1).toInt();
        if (address <= kHighestAddress) files.emplace(address, folder.filePath(file));
    }
    return files;
}

std::optional<CollectedConfig> readSiteFile(const QString& path, QString& why) {
    QByteArray bytes;
    if (!readConfigFileBytes(path, bytes)) {
        why = QStringLiteral("Ошибка чтения файла");
        return std::nullopt;
    }
    if (!isConfigFile(bytes)) {
        why = QStringLiteral("Файл не является файлом конфигурации расширителя");
        return std::nullopt;
    }
    return decodeConfigFile(bytes);
}

CollectedConfig asWritten(CollectedConfig config) {
    config.users[0].code = kUserZeroCode;
    for (QString& text : config.loopDescriptions)
        text = descriptionToWrite(text);
    return config;
}

QString differencesText(size_t count) {
    if (count == 0) return QStringLiteral("совпадает");
    const size_t lastTwo = count % 100, last = count % 10;
    const char* word = (lastTwo >= 11 && lastTwo <= 14) ? "различий"
                       : last == 1                      ? "различие"
                       : (last >= 2 && last <= 4)       ? "различия"
                                                        : "различий";
    return QString::number(count) + u' ' + QString::fromUtf8(word);
}

QString comparedText(size_t count, bool codesCompared) {
    return differencesText(count) + (codesCompared ? QString() : QStringLiteral(", коды не сравнивались"));
}

void compareRow(SiteRow& row, const CollectedConfig& file, const Compare::DeviceSide& side) {
    const QString number = QString::number(row.address);
    const QString name = expanderFileName(row.address);
    Compare::Result result{QStringLiteral("Расширитель %1 и файл %2").arg(number, name),
                           QStringLiteral("В расширителе"),
                           QStringLiteral("Файл %1 совпадает с расширителем %2.").arg(name, number),
                           Compare::scopeNote(side.scope),
                           Compare::differences(file, side.config, side.scope),
                           false,
                           QStringLiteral("В файле")};
    row.status = comparedText(result.rows.size(), side.scope.codes);
    row.comparison = std::move(result);
    row.held = side.config;
    row.codesCompared = side.scope.codes;
}

std::optional<std::vector<SiteRow>> compareWithFolder(const Host& host, QString& folder) {
    folder = dialogs().folderName(dialogStartFolder(), QString());
    if (folder.isEmpty()) return std::nullopt;
    const std::map<int, QString> files = siteFiles(QDir(folder));
    std::map<int, SiteRow> rows;
    std::map<int, CollectedConfig> configs;
    std::vector<int> toRead;
    for (int address : listedExpanders(host.controls)) {
        SiteRow& row = rows[address];
        row.address = address;
        const auto file = files.find(address);
        if (file == files.end()) {
            row.status = QStringLiteral("нет файла");
            continue;
        }
        row.file = file->second;
        if (std::optional<CollectedConfig> config = readSiteFile(file->second, row.status)) {
            configs[address] = asWritten(*config);
            row.writable = true;
            toRead.push_back(address);
        }
    }
    for (const auto& [address, path] : files)
        if (!rows.count(address))
            rows[address] = {address, QStringLiteral("нет в приборе"), std::nullopt, std::nullopt, true, path, false};

    if (!toRead.empty()) {
        ProgressWindow progress(host.controls.window, QStringLiteral("Сравнение с папкой"),
                                int(toRead.size()));
        progress.show();
        const std::vector<int> skipped = readEach(host, toRead, progress, [&](const ExpanderRead& read) {
            SiteRow& row = rows[read.address];
            if (!read.side) {
                row.status = read.failure;
                return;
            }
            compareRow(row, configs[read.address], *read.side);
        });
        for (int address : skipped)
            rows[address].status = QStringLiteral("не прочитан: отмена");
    }
    if (Clock::terminating()) return std::nullopt;
    std::vector<SiteRow> out;
    for (auto& [address, row] : rows)
        out.push_back(std::move(row));
    return out;
}

} // namespace Site
