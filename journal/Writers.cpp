#include "journal/Writers.h"

#include "base/Dialogs.h"
#include "base/WholeFileWrite.h"
#include "journal/Recorder.h"
#include "journal/RowText.h"

#include <cstdio>
#include <cstdlib>
#include <pcap/pcap.h>

namespace Journal {
namespace {

constexpr uint8_t kDataSent = 0x01;
constexpr uint8_t kDataReceived = 0x02;
constexpr uint8_t kMaskedByte = '*';

void putBigEndian32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

} // namespace

QByteArray journalText(const Recorder& recorder) {
    QString text = columnHeadings().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (uint64_t seq = recorder.firstSeq(); seq < recorder.endSeq(); ++seq)
        text += rowLine(recorder, recorder.row(seq), true) + QLatin1Char('\n');
    return text.toUtf8();
}

QByteArray journalCapture(const Recorder& recorder) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (!stream) return {};
    pcap_t* dead = pcap_open_dead(kRtacSerialLinkType, 65535);
    pcap_dumper_t* dumper = dead ? pcap_dump_fopen(dead, stream) : nullptr;
    if (!dumper) {
        if (dead) pcap_close(dead);
        fclose(stream);
        free(buffer);
        return {};
    }
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
        pcap_pkthdr header{};
        header.ts.tv_sec = seconds;
        header.ts.tv_usec = micros;
        header.caplen = header.len = static_cast<bpf_u_int32>(kRtacHeaderBytes + row.count);
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, packet);
    }
    pcap_dump_close(dumper); // closes the stream too, which fixes buffer and size
    pcap_close(dead);
    QByteArray bytes(buffer, static_cast<qsizetype>(size));
    free(buffer);
    return bytes;
}

bool saveJournal(const Recorder& recorder, const QString& path) {
    const bool capture = path.endsWith(QStringLiteral(".pcap"), Qt::CaseInsensitive);
    const QByteArray bytes = capture ? journalCapture(recorder) : journalText(recorder);
    if ((capture && bytes.isEmpty()) || !writeWholeFile(path, bytes)) {
        showBareMessage(QStringLiteral("Ошибка записи"));
        return false;
    }
    return true;
}

} // namespace Journal
