#include "journal/Writers.h"

#include "base/Dialogs.h"
#include "base/WholeFileWrite.h"
#include "journal/Recorder.h"
#include "journal/RowText.h"

namespace Journal {
namespace {

constexpr uint8_t kDataSent = 0x01;
constexpr uint8_t kDataReceived = 0x02;
constexpr uint8_t kMaskedByte = '*';
constexpr uint32_t kCaptureMagic = 0xA1B2C3D4; // microsecond times
constexpr uint32_t kSnapshotLength = 65535;

void putBigEndian32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

// The capture file's own fields are little-endian, whatever the machine: readers take the byte
// order from the magic number.
void appendLittleEndian32(QByteArray& to, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        to.append(static_cast<char>(value >> shift));
}
void appendLittleEndian16(QByteArray& to, uint16_t value) {
    to.append(static_cast<char>(value));
    to.append(static_cast<char>(value >> 8));
}

} // namespace

QByteArray journalText(const Recorder& recorder) {
    QString text = columnHeadings().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (uint64_t seq = recorder.firstSeq(); seq < recorder.endSeq(); ++seq)
        text += rowLine(recorder, recorder.row(seq), true) + QLatin1Char('\n');
    return text.toUtf8();
}

QByteArray journalCapture(const Recorder& recorder) {
    // File header: magic, format version 2.4, time zone and time accuracy 0, snapshot length,
    // link type. Then each packet: seconds, microseconds, bytes kept, bytes on the line, the bytes.
    QByteArray capture;
    appendLittleEndian32(capture, kCaptureMagic);
    appendLittleEndian16(capture, 2);
    appendLittleEndian16(capture, 4);
    appendLittleEndian32(capture, 0);
    appendLittleEndian32(capture, 0);
    appendLittleEndian32(capture, kSnapshotLength);
    appendLittleEndian32(capture, kRtacSerialLinkType);
    uint8_t packet[kRtacHeaderBytes + kMaxRowBytes];
    for (uint64_t seq = recorder.firstSeq(); seq < recorder.endSeq(); ++seq) {
        const Row& row = recorder.row(seq);
        if (row.count == 0 || row.kind == Kind::Opened || row.kind == Kind::Closed || row.kind == Kind::Lost)
            continue;
        const int64_t us = recorder.wallMicros(row.timeUs);
        const auto seconds = static_cast<uint32_t>(us / 1000000);
        const auto micros = static_cast<uint32_t>(us % 1000000);
        putBigEndian32(packet, seconds);
        putBigEndian32(packet + 4, micros);
        packet[8] = row.kind == Kind::Request ? kDataSent : kDataReceived;
        packet[9] = 0;  // control lines: not watched
        packet[10] = 0; // footer
        packet[11] = 0;
        for (int i = 0; i < row.count; ++i)
            packet[kRtacHeaderBytes + i] = row.masked(i) ? kMaskedByte : row.bytes[i];
        const auto length = static_cast<uint32_t>(kRtacHeaderBytes + row.count);
        appendLittleEndian32(capture, seconds);
        appendLittleEndian32(capture, micros);
        appendLittleEndian32(capture, length);
        appendLittleEndian32(capture, length);
        capture.append(reinterpret_cast<const char*>(packet), length);
    }
    return capture;
}

bool saveJournal(const Recorder& recorder, const QString& path) {
    const bool capture = path.endsWith(QStringLiteral(".pcap"), Qt::CaseInsensitive);
    const QByteArray bytes = capture ? journalCapture(recorder) : journalText(recorder);
    if (!writeWholeFile(path, bytes)) {
        showBareMessage(QStringLiteral("Ошибка записи"));
        return false;
    }
    return true;
}

} // namespace Journal
