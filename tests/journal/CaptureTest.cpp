// The journal's capture, byte for byte the same on every system: a fixed journal against the bytes
// that Wireshark's capture readers expect.
#include "journal/Recorder.h"
#include "journal/Writers.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <vector>

namespace {

// 2023-11-14 22:13:20.999900 UTC: the first row after 100 us falls into the next second.
constexpr int64_t kWallStartUs = 1'700'000'000'999'900;

TEST(JournalCapture, FixedJournalGivesTheseBytes) {
    Journal::Recorder journal(kWallStartUs);
    const auto sent = [&](int64_t us, std::vector<uint8_t> b) {
        journal.sentAt(us, b.data(), int(b.size()));
    };
    const auto got = [&](int64_t us, std::vector<uint8_t> b) {
        journal.receivedAt(us, b.data(), int(b.size()));
    };
    journal.eventAt(0, LineTap::Event::Opened, QStringLiteral("COM1"));
    // The access request: its code and checksum are hidden.
    sent(100, {0xAF, 0x07, 0x00, 0x12, 0x34, 0x56, 0x78, 0x1B, 0x01});
    got(41'000, {0xFA, 0x06, 0x08, 0x00, 0x0E, 0x00});
    // What a purge found after that exchange (hidden with it), then a fetch answered by a frame cut
    // short, whose rest was waited for until 2'360'000: hidden too, since a late part of the access
    // exchange could look so.
    const uint8_t purged[] = {0x55, 0x55};
    journal.purgedAt(2'000'000, purged, 2);
    sent(2'000'250, {0xAF, 0x03, 0x02, 0x05, 0x00});
    got(2'060'000, {0xFA, 0x26, 0x01});
    journal.settle(3'500'000);

    const QByteArray expected = QByteArray::fromHex(
        // File header: magic, version 2.4, zone 0, accuracy 0, snapshot length 65535, link type 250.
        "d4c3b2a1 0200 0400 00000000 00000000 ffff0000 fa000000"
        // Seconds, microseconds, bytes kept, bytes on the line; then the 12-byte RTAC header (seconds
        // and microseconds big-endian, 01 sent or 02 received, control lines, footer) and the frame.
        "01f15365 00000000 15000000 15000000 6553f101 00000000 01 00 0000 af0700 2a2a2a2a 2a2a"
        "01f15365 c49f0000 12000000 12000000 6553f101 00009fc4 02 00 0000 fa0608000e00"
        "02f15365 dc410f00 0e000000 0e000000 6553f102 000f41dc 02 00 0000 2a2a"
        "03f15365 96000000 11000000 11000000 6553f103 00000096 01 00 0000 af03020500"
        "03f15365 dc7d0500 0f000000 0f000000 6553f103 00057ddc 02 00 0000 2a2a2a");
    EXPECT_EQ(Journal::journalCapture(journal).toHex(' ').toStdString(), expected.toHex(' ').toStdString());
}

} // namespace
