#pragma once
#include "journal/Row.h"

#include <QString>
#include <QStringList>

namespace Journal {

class Recorder;

enum Column {
    TimeColumn,
    DeltaColumn,
    DirectionColumn,
    DeviceColumn,
    BytesColumn,
    MeaningColumn,
    ResultColumn
};
constexpr int kColumns = 7;

QStringList columnHeadings();
// The text of one cell, made when it is shown or saved.
QString cellText(const Recorder& recorder, const Row& row, int column);
// The row's time in ISO 8601 with microseconds, for the saved text.
QString isoTime(const Recorder& recorder, const Row& row);
// Upper-case hexadecimal, one space apart; a masked byte reads "**".
QString bytesText(const Row& row);
// The whole row as one tab-separated line, the time as the view shows it or in ISO 8601.
QString rowLine(const Recorder& recorder, const Row& row, bool isoTimes);

} // namespace Journal
