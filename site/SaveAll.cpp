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
#include <algorithm>

namespace Site {
namespace {

QStringList expanderNames(const std::vector<int>& addresses) {
    QStringList names;
    for (int address : addresses)
        names << QStringLiteral("Расширитель %1").arg(address);
    return names;
}

// A name for the site's folder in parent that no folder or file there has yet: the proposed name,
// or with " (2)", " (3)"… after it.
QString freeFolderName(const QDir& parent, const QString& proposed) {
    QString name = proposed;
    for (int n = 2; QFileInfo::exists(parent.filePath(name)); ++n)
        name = QStringLiteral("%1 (%2)").arg(proposed).arg(n);
    return name;
}

// The folder the user chose in a dialog that starts in start, made when it does not exist yet; empty
// when the dialog was cancelled or there is none to write in.
QString chooseFolder(const Host& host, const QString& start) {
    const QString proposed = proposedFolderName(host.controls.ports->currentText(), QDate::currentDate());
    const QString chosen = dialogs().folderName(start, freeFolderName(QDir(start), proposed));
    if (chosen.isEmpty()) return chosen;
    if (!QDir().mkpath(chosen)) {
        showPlainMessage(QStringLiteral("Не удалось создать папку %1").arg(QDir::toNativeSeparators(chosen)));
        return QString();
    }
    return chosen;
}

// Which of the addresses to save into the folder: all of them when none has a file there or the user
// lets the files be replaced; otherwise those without a file, if the user wants them alone. Nothing
// when the user would rather choose another folder.
std::vector<int> toSave(const QDir& folder, const std::vector<int>& addresses) {
    QStringList present;
    std::vector<int> absent;
    for (int address : addresses) {
        if (QFileInfo::exists(folder.filePath(expanderFileName(address))))
            present << expanderFileName(address);
        else
            absent.push_back(address);
    }
    if (present.isEmpty() ||
        dialogs().question(
            applicationTitle(),
            QStringLiteral("В папке уже есть файлы: %1. Заменить их?").arg(present.join(QStringLiteral(", "))),
            MessageIcon::Warning, false))
        return addresses;
    if (!absent.empty() &&
        dialogs().question(applicationTitle(),
                           QStringLiteral("Сохранить только расширители, файлов которых в папке нет: %1? "
                                          "«Нет» — выбрать другую папку.")
                               .arg(expanderNames(absent).join(QStringLiteral(", "))),
                           MessageIcon::Information, true))
        return absent;
    return {};
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
    if (!summary.kept.empty())
        lines << QStringLiteral("Оставлены прежние файлы: %1.")
                     .arg(expanderNames(summary.kept).join(QStringLiteral(", ")));
    if (!summary.skipped.empty())
        lines << QStringLiteral("Не прочитаны после отмены: %1.")
                     .arg(expanderNames(summary.skipped).join(QStringLiteral(", ")));
    if (summary.codesNotRead && !summary.saved.empty())
        lines << QStringLiteral("Коды пользователей и разделов не прочитаны: в файлах коды по умолчанию.");
    return lines.join(u'\n');
}

void saveAllExpanders(const Host& host) {
    const std::vector<int> addresses = listedExpanders(host.controls);
    if (addresses.empty()) {
        showPlainMessage(QStringLiteral("Прибор не назвал ни одного расширителя: выберите порт."));
        return;
    }
    // A refused replace leads back to the folder dialog, which then proposes a folder that is new
    // beside the one refused; only a cancelled dialog ends the run.
    QString start = dialogStartFolder();
    QDir folder;
    std::vector<int> saving;
    while (saving.empty()) {
        const QString chosen = chooseFolder(host, start);
        if (chosen.isEmpty()) return;
        folder = QDir(chosen);
        saving = toSave(folder, addresses);
        start = QFileInfo(chosen).absolutePath();
    }

    SaveSummary summary;
    summary.folder = folder.absolutePath();
    for (int address : addresses)
        if (std::find(saving.begin(), saving.end(), address) == saving.end()) summary.kept.push_back(address);
    {
        ProgressWindow progress(host.controls.window, QStringLiteral("Сохранение расширителей"),
                                int(saving.size()));
        progress.show();
        summary.skipped = readEach(host, saving, progress, [&](const ExpanderRead& read) {
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
