// Benchmark: what recording costs the line per frame, and the memory of a full ring. The frames are
// those of a programming run: relayed writes, their fetches and the expanders' answers. Aim: under
// 2 µs a frame, a full ring within 16 MiB.

#include "journal/JournalModel.h"
#include "journal/JournalWindow.h"
#include "journal/Recorder.h"
#include "link/Link.h"
#include "sim/ControlUnitSim.h"

#include <QCoreApplication>
#include <QTableView>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const QByteArray& frame) {
    return Bytes(frame.begin(), frame.end());
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

TEST(JournalBench, RecordingCostPerFrameAndAFullRing) {
    const Bytes userWrite =
        bytesOf(Link::buildFrame(QByteArray::fromHex("010b5c030f214303 0000").replace(' ', "")));
    const Bytes fetch{0xAF, 0x03, 0x02, 0x05, 0x00};
    const Bytes answer = sim::ControlUnitSim::replyFrame(1, 0x5C, {3, 0x0F});
    const Bytes relay = bytesOf(Link::requestFrame(1, 11, 0x5D, 0, 0));
    const Bytes users = sim::ControlUnitSim::replyFrame(1, 0x5D, Bytes(31, 0x0F));

    const long before = residentKiB();
    auto recorder = std::make_unique<Journal::Recorder>();
    constexpr int kRounds = 200000;
    int frames = 0;
    int64_t us = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        recorder->sentAt(us += 100, userWrite.data(), static_cast<int>(userWrite.size()));
        recorder->sentAt(us += 100, fetch.data(), static_cast<int>(fetch.size()));
        recorder->receivedAt(us += 100, answer.data(), static_cast<int>(answer.size()));
        recorder->sentAt(us += 100, relay.data(), static_cast<int>(relay.size()));
        // A reply arrives in pieces, as reads take it from the port.
        recorder->receivedAt(us += 100, users.data(), 2);
        recorder->receivedAt(us += 100, users.data() + 2, static_cast<int>(users.size()) - 2);
        frames += 5;
    }
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    const long after = residentKiB();

    std::printf("recording    %d frames  %.3f µs a frame (aim: under 2 µs)\n", frames, ns / frames / 1000.0);
    std::printf("full ring    %llu rows  %.2f MiB by size  resident growth %.2f MiB (limit 16 MiB)\n",
                static_cast<unsigned long long>(Journal::Recorder::kCapacity),
                Journal::Recorder::fullRingBytes() / 1048576.0, (after - before) / 1024.0);
    EXPECT_EQ(recorder->endSeq() - recorder->firstSeq(), Journal::Recorder::kCapacity);
}

} // namespace

namespace {

// The cost of one batch in the window following the newest row: rows taken over, the view scrolled
// to the bottom and painted.
TEST(JournalBench, ABatchInTheFollowingWindow) {
    Journal::Recorder recorder;
    Journal::JournalWindow window(recorder);
    window.show();
    const Bytes ask = bytesOf(Link::requestFrame(6, 0, 0, 0, 0));
    const Bytes block = sim::ControlUnitSim::replyFrame(1, 0, Bytes(32, 0x5A));
    int64_t us = 0;
    const auto exchange = [&] {
        recorder.sentAt(us += 1000, ask.data(), static_cast<int>(ask.size()));
        recorder.receivedAt(us += 1000, block.data(), static_cast<int>(block.size()));
    };
    for (uint64_t i = 0; i < Journal::Recorder::kCapacity; ++i)
        exchange();
    window.model()->pull();
    QCoreApplication::processEvents();
    constexpr int kBatches = 50;
    double pullMs = 0, paintMs = 0;
    for (int b = 0; b < kBatches; ++b) {
        for (int i = 0; i < 10; ++i)
            exchange();
        const auto start = std::chrono::steady_clock::now();
        window.model()->pull();
        QCoreApplication::processEvents();
        const auto pulled = std::chrono::steady_clock::now();
        window.table()->viewport()->repaint();
        const auto painted = std::chrono::steady_clock::now();
        pullMs += std::chrono::duration<double, std::milli>(pulled - start).count();
        paintMs += std::chrono::duration<double, std::milli>(painted - pulled).count();
    }
    std::printf(
        "window batch %.2f ms to take 20 rows into a full ring and follow, %.2f ms to paint (%d rows)\n",
        pullMs / kBatches, paintMs / kBatches, window.model()->rowCount());
}

} // namespace
