#pragma once
#include <QByteArray>
#include <QString>

namespace Journal {

class Recorder;

// The journal as UTF-8 text: a heading line with the column names, then one tab-separated line per
// row, the time in ISO 8601 with microseconds.
QByteArray journalText(const Recorder& recorder);
// The journal as a capture that Wireshark opens: every row with bytes as one packet of the RTAC
// serial link type, its 12-byte header carrying the time and the direction (0x01 data sent,
// 0x02 data received). A masked byte goes out as '*'. The same bytes on every system.
QByteArray journalCapture(const Recorder& recorder);
constexpr int kRtacSerialLinkType = 250;
constexpr int kRtacHeaderBytes = 12;

// Saves the journal through the whole-file write, as a capture when the name ends in ".pcap" and as
// text otherwise. Shows "Ошибка записи" and returns false when it fails; the file is then as it was.
bool saveJournal(const Recorder& recorder, const QString& path);

} // namespace Journal
