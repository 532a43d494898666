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
#include "site/SaveAll.h"

#include <QComboBox>
#include <QStringList>
#include <algorithm>

namespace Site {
namespace {

// Writes one expander from its file and compares it again; the row's status says how it ended.
void restoreOne(const Host& host, SiteRow& row) {
    row.comparison.reset();
    QString why;
    const std::optional<CollectedConfig> file = readSiteFile(row.file, why);
    const std::vector<int> listed = listedExpanders(host.controls);
    if (!file) {
        row.status = QStringLiteral("не записан: ") + why;
        return;
    }
    QComboBox* expanders = host.controls.expanders;
    const int item = expanders->findText(expanderItemText(row.address));
    if (item < 0 || std::find(listed.begin(), listed.end(), row.address) == listed.end()) {
        row.status = QStringLiteral("не записан: нет в приборе");
        return;
    }
    ExpanderConfig& record = *host.record;
    applyConfigFile(record, *file);
    record.address = uint8_t(row.address);
    record.loadedFromFile = true;
    ShowConfig(record, host.controls.config, true);
    expanders->setCurrentIndex(item);
    QStringList messages;
    {
        MessageTap tap;
        host.session->programExpander();
        messages = tap.texts;
    }
    // Only a run that ended in success takes the mark of a file from the record.
    if (record.loadedFromFile) {
        messages.removeAll(QString());
        row.status =
            QStringLiteral("не записан") +
            (messages.isEmpty() ? QString() : QStringLiteral(": ") + messages.join(QStringLiteral("; ")));
        return;
    }
    std::optional<Compare::DeviceSide> side;
    {
        MessageTap tap;
        side = Compare::readDeviceSide(*host.session, host.controls, row.address);
        messages = tap.texts;
    }
    if (!side) {
        row.status = QStringLiteral("записан, не прочитан: ") + messages.join(QStringLiteral("; "));
        return;
    }
    const QString number = QString::number(row.address);
    const QString name = expanderFileName(row.address);
    Compare::Result result{QStringLiteral("Расширитель %1 и файл %2").arg(number, name),
                           QStringLiteral("В расширителе"),
                           QStringLiteral("Файл %1 совпадает с расширителем %2.").arg(name, number),
                           Compare::scopeNote(side->scope),
                           Compare::differences(asWritten(*file), side->config, side->scope),
                           false,
                           QStringLiteral("В файле")};
    row.status = QStringLiteral("записан, ") + differencesText(result.rows.size());
    row.comparison = std::move(result);
}

} // namespace

void restoreExpanders(const Host& host, std::vector<SiteRow>& rows, const std::vector<size_t>& chosen) {
    if (chosen.empty()) {
        showPlainMessage(QStringLiteral("Отметьте расширители, которые записать из файлов."));
        return;
    }
    QStringList numbers;
    for (size_t r : chosen)
        numbers << QString::number(rows[r].address);
    if (!dialogs().question(applicationTitle(),
                            QStringLiteral("Записать конфигурации из файлов в расширители %1? Окно покажет "
                                           "последнюю записанную конфигурацию.")
                                .arg(numbers.join(QStringLiteral(", "))),
                            MessageIcon::Warning, false))
        return;
    ProgressWindow progress(host.controls.window, QStringLiteral("Запись в расширители"), int(chosen.size()));
    progress.show();
    for (size_t i = 0; i < chosen.size(); ++i) {
        SiteRow& row = rows[chosen[i]];
        if (progress.cancelled() || Clock::terminating()) {
            row.status = QStringLiteral("не записан: отмена");
            continue;
        }
        progress.step(row.address, int(i) + 1);
        restoreOne(host, row);
    }
}

} // namespace Site
