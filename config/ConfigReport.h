#pragma once
#include "config/ExpanderConfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>

struct ConfigControls;
class QTextDocument;

// A readable report of the configuration for the site's documents: the heading, the general
// properties and the texts of the grids as a PDF of searchable text. Access codes never appear in it:
// a set code reads "****", an empty one "—".

// One table of the report: a heading row, then one row per caption.
struct ReportTable {
    QString title;
    QStringList columnHeaders; // [0] heads the caption column
    QList<QStringList> rows;   // caption, then one text per column
};

// Everything the report shows, as plain texts.
struct ReportTexts {
    QString expander;
    QString port;
    QString madeAt;
    QList<std::pair<QString, QString>> general; // caption, "да" / "нет" or the exit delay
    QList<ReportTable> tables;
};

// What the window tells the report beside its configuration controls.
struct ReportContext {
    QString expander; // reportExpanderText
    QString port;     // the chosen port; empty when none is chosen
    QDateTime madeAt;
    QString exitDelayCaption;
    bool withPartitions = true; // false while the global partitions page is hidden (local line)
};

// The expander line of the heading: the opened file's name when the configuration came from a file,
// else the address of the current expander (address < 0: none), else "не прочитан".
QString reportExpanderText(const QString& openedFile, int address);
// "****" for a set code, "—" for the empty code.
QString maskedCode(uint16_t code);

// The report's texts from the controls as they show the configuration; codes come from the collected
// values, masked.
ReportTexts reportTexts(const ConfigControls& controls, const CollectedConfig& collected,
                        const ReportContext& context);
std::unique_ptr<QTextDocument> reportDocument(const ReportTexts& texts);
// The document printed on A4 pages.
QByteArray reportPdf(const ReportTexts& texts);

QString reportFileFilter();

// Menu "Отчёт…": collects the controls as saving does, asks for a file name (".pdf" added unless the
// name ends with it; an existing report is replaced only when the user agrees) and writes the report
// as a whole; a failed write shows "Ошибка записи" and leaves an existing file as it was.
void SaveReport(const ConfigControls& controls, const ReportContext& context);
