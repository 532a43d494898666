#pragma once
#include "keys/KeyFrames.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

// The key descriptions file: a heading, then one line for every key the key grid shows as present,
// with the description of its slot. Plain text in code page 1251, CR LF after every line.
namespace KeyDescriptionsFile {

using Descriptions = std::array<QString, KeyLink::kSlots>;
// The text of the key grid's cell in column, row.
using CellTextOf = std::function<QString(int column, int row)>;

extern const QString kHeading;    // "Задействованы следующие ключи:"
extern const QString kFileFilter; // "Текстовые файлы (*.txt)|*.txt"

// "расш.%d польз.%-2d ключ%d  %s" and "на три расш. польз.%-2d ключ%d  %s".
QString singleExpanderLine(int expander, int user, int key, const QString& description);
QString threeExpanderLine(int user, int key, const QString& description);

// The lines for the keys the grid shows (heading not included): expanders 1..3 outermost, then users
// 1..30, then keys 1..2. "Есть" gives a single-expander line, "На три расш." a three-expander line,
// any other cell text none.
QStringList keyLines(const CellTextOf& cellText, const Descriptions& descriptions);

// The whole file: heading and lines in code page 1251, each line ended by CR LF.
QByteArray fileBytes(const QStringList& lines);

struct ParsedLine {
    int user = 0;
    int expander = 0;
    int key = 0;
    int slot = 0;
    QString description;
};
// Takes a line apart by the positions of its words ("польз.", "расш.", "ключ"); a line that names
// no user 1..30, expander 1..3 and key 1..2 gives nothing. The heading gives nothing either.
std::optional<ParsedLine> parseKeyDescriptionLine(const QString& line);

// The chosen name with its extension replaced by ".txt" (added when it has none).
QString withTxtExtension(const QString& fileName);

// Writes the file as a whole (writeWholeFile): on any failure the old file keeps its contents.
// False on failure.
bool writeFile(const QString& fileName, const QByteArray& bytes);

// Reads the file line by line into the descriptions of the slots its lines name. False on a read
// error (also when the file cannot be opened); descriptions taken from earlier lines stay.
bool readFile(const QString& fileName, Descriptions& descriptions);

} // namespace KeyDescriptionsFile
