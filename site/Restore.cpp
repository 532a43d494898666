#include "site/Restore.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "config/ConfigFile.h"
#include "config/ConfigView.h"
#include "device/ExpanderFrames.h"
#include "device/ExpanderSession.h"
#include "site/ExpanderReads.h"
#include "site/MessageTap.h"
#include "site/ProgressWindow.h"
#include "site/RestoreRecord.h"
#include "site/SaveAll.h"

#include <QComboBox>
#include <QStringList>
#include <algorithm>
#include <map>

namespace Site {
namespace {

// The items of each address that the user let go out with their files' codes.
using TakenCodes = std::map<int, std::vector<CodeChange>>;

QString joined(const QStringList& texts) {
    return texts.join(QStringLiteral("; "));
}

// The user's messages of a run, without its success message.
QStringList failures(QStringList messages) {
    messages.removeAll(QString());
    messages.removeAll(QStringLiteral("Программирование расширителя успешно завершено"));
    return messages;
}

QString leftAloneText(const std::vector<CodeChange>& left) {
    QStringList names;
    for (const CodeChange& change : left)
        names << itemName(change);
    return names.isEmpty() ? QString()
                           : QStringLiteral("; оставлены, как в приборе: ") + names.join(QStringLiteral(", "));
}

// Writes one expander from its file over what it holds now, then compares it with the file again;
// the row's status says how it ended. Returns the record the expander confirmed.
std::optional<ExpanderConfig> restoreOne(const Host& host, SiteRow& row, const TakenCodes& taken) {
    row.comparison.reset();
    QString why;
    const std::optional<CollectedConfig> read = readSiteFile(row.file, why);
    const std::vector<int> listed = listedExpanders(host.controls);
    if (!read) {
        row.status = QStringLiteral("не записан: ") + why;
        return std::nullopt;
    }
    if (std::find(listed.begin(), listed.end(), row.address) == listed.end()) {
        row.status = QStringLiteral("не записан: нет в приборе");
        return std::nullopt;
    }
    const CollectedConfig file = asWritten(*read);
    std::optional<Compare::DeviceSide> held;
    QStringList messages;
    {
        MessageTap tap;
        held = Compare::readDeviceSide(*host.session, host.controls, row.address);
        messages = tap.texts;
    }
    if (!held) {
        row.status = QStringLiteral("не записан, не прочитан: ") + joined(messages);
        return std::nullopt;
    }
    const auto takenHere = taken.find(row.address);
    const RestoreRecord record =
        restoreRecord(file, held->config, held->scope.codes, [&](const CodeChange& change) {
            return takenHere != taken.end() &&
                   std::find(takenHere->second.begin(), takenHere->second.end(), change) !=
                       takenHere->second.end();
        });
    ExpanderConfig reference;
    reference.address = uint8_t(row.address);
    reference.parameters = held->config.parameters;
    reference.loopDescriptions = held->config.loopDescriptions;
    reference.users = held->config.users;
    reference.globalPartitions = held->config.globalPartitions;
    reference.codesRead = held->scope.codes;
    ExpanderSession::Order order{reference, record.wanted, false, held->scope.unreadDescriptions};
    bool written = false;
    {
        MessageTap tap;
        written = host.session->programExpander(order);
        messages = failures(tap.texts);
        // A failed run asked whether to repeat it: its first line names what failed.
        if (!written && !tap.questions.isEmpty()) messages << tap.questions.last().section(u'\r', 0, 0);
    }
    if (!written) {
        row.status = QStringLiteral("не записан") + (messages.isEmpty() ? QString() : ": " + joined(messages));
        return std::nullopt;
    }
    std::optional<Compare::DeviceSide> side;
    {
        MessageTap tap;
        side = Compare::readDeviceSide(*host.session, host.controls, row.address);
        messages << tap.texts;
    }
    const QString left = leftAloneText(record.leftAlone);
    if (!side) {
        row.status = QStringLiteral("записан, не прочитан: ") + joined(messages) + left;
        return reference;
    }
    compareRow(row, file, *side);
    row.status = QStringLiteral("записан, ") + row.status + left +
                 (messages.isEmpty() ? QString() : QStringLiteral("; ") + joined(messages));
    return reference;
}

// The one question before a restore; true to go on. Where codes were not compared, it says so, and
// each user or partition whose write would change its code is named, with what the code becomes:
// a second question lets them go out with the file's codes (No, the default, leaves them).
bool confirm(const std::vector<SiteRow>& rows, const std::vector<size_t>& chosen, TakenCodes& taken) {
    QStringList numbers, notCompared, changes;
    TakenCodes named;
    for (size_t r : chosen) {
        const SiteRow& row = rows[r];
        numbers << QString::number(row.address);
        if (row.codesCompared) continue;
        notCompared << QString::number(row.address);
        QString why;
        const std::optional<CollectedConfig> file = readSiteFile(row.file, why);
        if (!file || !row.held) continue;
        const RestoreRecord record =
            restoreRecord(asWritten(*file), *row.held, false, [](const CodeChange&) { return false; });
        if (record.codeChanges.empty()) continue;
        QStringList items;
        for (const CodeChange& change : record.codeChanges)
            items << changeText(change);
        changes << QStringLiteral("Расширитель %1: %2").arg(row.address).arg(items.join(QStringLiteral(", ")));
        named[row.address] = record.codeChanges;
    }
    QString text = QStringLiteral("Записать конфигурации из файлов в расширители %1? Окно покажет "
                                  "последнюю записанную конфигурацию.")
                       .arg(numbers.join(QStringLiteral(", ")));
    if (!notCompared.isEmpty())
        text += QStringLiteral("\nКоды расширителей %1 не сравнивались: записываются только различия, коды "
                               "в приборе остаются прежними.")
                    .arg(notCompared.join(QStringLiteral(", ")));
    if (!changes.isEmpty())
        text += QStringLiteral("\nС кодами из файлов были бы записаны:\n") + changes.join(u'\n');
    if (!dialogs().question(applicationTitle(), text, MessageIcon::Warning, false)) return false;
    if (!changes.isEmpty() &&
        dialogs().question(applicationTitle(),
                           QStringLiteral("Записать этих пользователей и эти разделы с кодами из файлов?\n%1\n"
                                          "«Нет» — оставить их, как в приборе.")
                               .arg(changes.join(u'\n')),
                           MessageIcon::Warning, false))
        taken = std::move(named);
    return true;
}

} // namespace

void restoreExpanders(const Host& host, std::vector<SiteRow>& rows, const std::vector<size_t>& chosen) {
    if (chosen.empty()) {
        showPlainMessage(QStringLiteral("Отметьте расширители, которые записать из файлов."));
        return;
    }
    TakenCodes taken;
    if (!confirm(rows, chosen, taken)) return;
    std::optional<ExpanderConfig> last;
    {
        ProgressWindow progress(host.controls.window, QStringLiteral("Запись в расширители"),
                                int(chosen.size()));
        progress.show();
        for (size_t i = 0; i < chosen.size(); ++i) {
            SiteRow& row = rows[chosen[i]];
            if (progress.cancelled() || Clock::terminating()) {
                row.status = QStringLiteral("не записан: отмена");
                continue;
            }
            progress.step(row.address, int(i) + 1);
            if (std::optional<ExpanderConfig> written = restoreOne(host, row, taken)) last = written;
            progress.stepDone(int(i) + 1);
        }
    }
    // The window shows the last expander written, as a read of it would.
    if (!last || Clock::terminating()) return;
    QComboBox* expanders = host.controls.expanders;
    const int item = expanders->findText(expanderItemText(last->address));
    *host.record = *last;
    ShowConfig(*host.record, host.controls.config, true);
    if (item >= 0) expanders->setCurrentIndex(item);
}

} // namespace Site
