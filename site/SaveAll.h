#pragma once
#include "site/Site.h"

#include <QDate>
#include <QString>
#include <utility>
#include <vector>

namespace Site {

// "Расширитель 5.okf": the file of one expander in a site's folder.
QString expanderFileName(int address);
// The folder proposed for a site's files: the port and the date, "COM1 2026-12-08".
QString proposedFolderName(const QString& port, const QDate& date);

// How a run of "Сохранить все расширители…" ended.
struct SaveSummary {
    QString folder;
    std::vector<int> saved;
    std::vector<std::pair<int, QString>> failed; // the address and why it got no file
    std::vector<int> skipped;                    // left unread by the cancel
    std::vector<int> kept;                       // not read: its file in the folder was kept
    bool codesNotRead = false;                   // a file holds the default codes a read puts in place
};
// The one message at the end of the run.
QString summaryText(const SaveSummary& summary);

// "Расширитель" → "Сохранить все расширители…": asks for a folder, then reads every listed expander
// in address order and saves each that the read delivered whole as "Сохранить" saves it after a
// read. Files of the same names are replaced only when the user agrees, once for the run, before
// anything is read; otherwise the run saves only the expanders without a file there, or the user
// chooses another folder.
void saveAllExpanders(const Host& host);

} // namespace Site
