#include "site/SaveAll.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "config/ConfigFile.h"
#include "site/ExpanderReads.h"
#include "site/ProgressWindow.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace Site {
namespace {

QStringList expanderNames(const std::vector<int>& addresses) {
    QStringList names;
    for (int address : addresses)
        names << QStringLiteral("Расширитель %1").arg(address);
    return names;
}

// The folder the user chose, made when it does not exist yet; empty when there is none to write in.
QString chooseFolder(const Host& host) {
    const QString proposed = proposedFolderName(host.controls.ports->currentText(), QDate::currentDate());
    const QString chosen = dialogs().folderName(dialogStartFolder(), proposed);
    if (chosen.isEmpty()) return chosen;
    if (!QDir().mkpath(chosen)) {
        showPlainMessage(QStringLiteral("Не удалось создать папку %1").arg(QDir::toNativeSeparators(chosen)));
        return QString();
    }
    return chosen;
}

// Whether the files the run would replace may be replaced: asked once, before the first read.
bool mayReplace(const QDir& folder, const std::vector<int>& addresses) {
    QStringList present;
    for (int address : addresses)
        if (QFileInfo::exists(folder.filePath(expanderFileName(address))))
            present << expanderFileName(address);
    if (present.isEmpty()) return true;
    return dialogs().question(
        applicationTitle(),
        QStringLiteral("В папке уже есть файлы: %1. Заменить их?").arg(present.join(QStringLiteral(", "))),
        MessageIcon::Warning, false);
}

} // namespace

QString expanderFileName(int address) {
    return QStringLiteral("Расширитель %1.okf").arg(address);
}

QString proposedFolderName(const QString& port, const QDate& date) {
    return port + u' ' + date.toString(Qt::ISODate);
}

QString summaryText(const SaveSummary& summary) {
    QStringList lines;
    lines << (summary.saved.empty() ? QStringLiteral("Ни один расширитель не сохранён.")
                                    : QStringLiteral("Сохранены в папку %1: %2.")
                                          .arg(QDir::toNativeSeparators(summary.folder),
                                               expanderNames(summary.saved).join(QStringLiteral(", "))));
    for (const auto& [address, why] : summary.failed)
        lines << QStringLiteral("Расширитель %1 не сохранён: %2.").arg(address).arg(why);
    if (!summary.skipped.empty())
        lines << QStringLiteral("Не прочитаны после отмены: %1.")
                     .arg(expanderNames(summary.skipped).join(QStringLiteral(", ")));
    if (summary.codesNotRead && !summary.saved.empty())
        lines << QStringLiteral("Коды пользователей не прочитаны: в файлах коды по умолчанию.");
    return lines.join(u'\n');
}

void saveAllExpanders(const Host& host) {
    const std::vector<int> addresses = listedExpanders(host.controls);
    if (addresses.empty()) {
        showPlainMessage(QStringLiteral("Прибор не назвал ни одного расширителя: выберите порт."));
        return;
    }
    const QString chosen = chooseFolder(host);
    if (chosen.isEmpty()) return;
    const QDir folder(chosen);
    if (!mayReplace(folder, addresses)) return;

    SaveSummary summary;
    summary.folder = folder.absolutePath();
    {
        ProgressWindow progress(host.controls.window, QStringLiteral("Сохранение расширителей"),
                                int(addresses.size()));
        progress.show();
        summary.skipped = readEach(host, addresses, progress, [&](const ExpanderRead& read) {
            if (!read.side) {
                summary.failed.emplace_back(read.address, read.failure);
                return;
            }
            // A file holds every description: one the read did not deliver would be saved empty, and
            // writing the file back would erase the text the control unit still holds.
            if (read.side->scope.unreadDescriptions != 0) {
                summary.failed.emplace_back(read.address,
                                            QStringLiteral("описания %1 не прочитаны")
                                                .arg(loopList(read.side->scope.unreadDescriptions)));
                return;
            }
            if (!writeConfigFileBytes(folder.filePath(expanderFileName(read.address)),
                                      encodeConfigFileToSave(read.side->config))) {
                summary.failed.emplace_back(read.address, QStringLiteral("Ошибка записи"));
                return;
            }
            summary.saved.push_back(read.address);
            if (!read.side->scope.codes) summary.codesNotRead = true;
        });
    }
    // A program that terminates has nobody left to read the summary.
    if (!Clock::terminating()) showPlainMessage(summaryText(summary));
}

} // namespace Site
