// The link over a real pseudo-terminal through the real serial code, against the simulated control
// unit: the bytes on the line, retries, faults, the port itself.
#include "LinkTestSupport.h"
#include "base/SystemTimer.h"
#include "link/QtSerialLine.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using Unit = sim::ControlUnitSim;

Unit::Fault fault(int command, int times) {
    Unit::Fault f;
    f.command = command;
    f.times = times;
    return f;
}

Bytes stored(int count) {
    return Bytes(Link::frameBuffer(), Link::frameBuffer() + count);
}

TEST_F(SimLinkTest, PortOpensWithTheLineSettings) {
    const int fd = ::open(unit.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) GTEST_SKIP() << "the terminal cannot be opened a second time here";
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(cfgetispeed(&tio), B57600);
    EXPECT_EQ(cfgetospeed(&tio), B57600);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (INPCK | IXON | IXOFF | IXANY | ISTRIP | ICRNL | INLCR | IGNCR), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(SimLinkTest, AccessRequestOnTheLineAndItsAnswer) {
    unit.setAccessCode("12345678");
    ASSERT_TRUE(Link::SendRequest(Command::Access, 0x21, 0x43, 0x65, 0x87));
    EXPECT_EQ(written(), std::vector<Bytes>{request({0x07, 0x00, 0x21, 0x43, 0x65, 0x87})});
    EXPECT_EQ(stored(5), (Bytes{0x06, 0x08, 0x00, 0x0E, 0x00}));
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(SimLinkTest, ShortFormWhenTheThirdArgumentIsZero) {
    unit.setAccessCode("12340078");
    ASSERT_TRUE(Link::SendRequest(Command::Access, 0x21, 0x43, 0, 0x87));
    EXPECT_EQ(written(), std::vector<Bytes>{(Bytes{0xAF, 0x05, 0x00, 0x21, 0x43, 0x69, 0x00})});
    EXPECT_EQ(Link::R(1), 8);
}

// Replies that go wrong in one way or another, and what SendRequest makes of them.
TEST_F(SimLinkTest, FaultyRepliesAndTheirRetries) {
    struct Case {
        const char* what;
        std::vector<Unit::Fault> faults;
        bool succeeds;
        size_t requests;
        int checksumMessages;
    };
    auto noise = fault(6, 1);
    noise.noiseBefore = {0x00, 0xAF, 0x26, 0x55, 0xFF, 0x05};
    auto badOnce = fault(6, 1);
    badOnce.badChecksum = true;
    auto badAlways = fault(6, -1);
    badAlways.badChecksum = true;
    auto keyBad = fault(6, -1);
    keyBad.keyDeviceSignature = true;
    keyBad.badChecksum = true;
    auto keyGood = fault(6, -1);
    keyGood.keyDeviceSignature = true;
    auto busyTwice = fault(6, 2);
    busyTwice.status = 2;
    auto busyAlways = fault(6, -1);
    busyAlways.status = 2;
    auto pieces = fault(6, 1);
    pieces.pieceSize = 5;
    pieces.piecePauseMs = 40;
    auto cut = fault(6, -1);
    cut.cutTo = 20;
    auto cutOnce = fault(6, 1); // its rest never comes: the next try's answer is no rest of it
    cutOnce.cutTo = 2;
    auto silent = fault(6, -1);
    silent.silent = true;
    auto late = fault(6, 1);
    late.delayMs = 120;
    auto tooShort = fault(6, 1);
    tooShort.lengthByte = 3;
    auto notDone = fault(6, 1);
    notDone.status = 6;

    const Case cases[] = {
        {"noise before the start byte", {noise}, true, 1, 0},
        {"one wrong checksum", {badOnce}, true, 2, 1},
        {"wrong checksum every time", {badAlways}, false, 3, 3},
        {"key device with a wrong checksum", {keyBad}, false, 3, 0},
        {"key device signature", {keyGood}, false, 3, 0},
        {"busy twice", {busyTwice}, true, 3, 0},
        {"busy every time", {busyAlways}, false, 3, 0},
        {"in pieces with pauses", {pieces}, true, 1, 0},
        {"cut short", {cut}, false, 3, 0},
        {"start and length byte alone, once", {cutOnce}, true, 2, 0},
        {"silence", {silent}, false, 3, 0},
        {"late but within 200 ms", {late}, true, 1, 0},
        {"length byte below 4", {tooShort}, true, 2, 0},
        {"status not accepted", {notDone}, true, 2, 0},
    };
    for (const Case& c : cases) {
        unit.clearFaults();
        unit.clearFrames();
        dialogs.clear();
        for (const auto& f : c.faults)
            unit.addFault(f);
        EXPECT_EQ(Link::SendRequest(Command::ExpanderTable, 2, 0, 0, 0), c.succeeds) << c.what;
        EXPECT_EQ(unit.frames().size(), c.requests) << c.what;
        EXPECT_EQ(dialogs.texts(), QStringList(c.checksumMessages, QStringLiteral("Не совпала КС")))
            << c.what;
        if (c.succeeds) {
            EXPECT_EQ(Link::R(0), 38) << c.what;
            EXPECT_EQ(Link::R(2), 2) << c.what;
            const auto table = unit.expanderTable();
            EXPECT_EQ(Bytes(Link::frameBuffer() + 3, Link::frameBuffer() + 35),
                      Bytes(table.begin() + 64, table.begin() + 96))
                << c.what;
        }
        for (const Bytes& w : written())
            EXPECT_EQ(w, request({0x05, 0x06, 0x02, 0x00})) << c.what;
    }
    unit.clearFaults();
    unit.clearFrames();
    auto key = fault(0, 1);
    key.keyDeviceSignature = true;
    key.badChecksum = true;
    unit.addFault(key);
    unit.addFault(key);
    unit.addFault(key);
    EXPECT_FALSE(Link::SendRequest(Command::Access, 1, 2, 3, 4));
    EXPECT_TRUE(Link::holdsKeyDeviceSignature());
}

TEST_F(SimLinkTest, BusyAnswersAreAskedAgainAfterFiftyMilliseconds) {
    auto busy = fault(0, -1);
    busy.status = 2;
    unit.addFault(busy);
    EXPECT_FALSE(Link::SendRequest(Command::Access, 0x33, 0x33, 0x77, 0x77));
    const auto frames = unit.frames();
    ASSERT_EQ(frames.size(), 3u);
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_GE(frames[i].atMs - frames[i - 1].atMs, 50u);
    EXPECT_EQ(Link::R(1), 2);
}

TEST_F(SimLinkTest, LeftoverBytesArePurgedBeforeTheNextRequest) {
    auto doubled = fault(6, 1);
    doubled.noiseBefore = Unit::replyFrame(1, 7, Bytes(32, 0x99)); // a stale block 7 in front
    unit.addFault(doubled);
    // The first request reads the stale block; its own reply stays on the line ...
    ASSERT_TRUE(Link::SendRequest(Command::ExpanderTable, 0, 0, 0, 0));
    EXPECT_EQ(Link::R(2), 7);
    // ... and is thrown away before the next request goes out.
    ASSERT_TRUE(Link::SendRequest(Command::ExpanderTable, 1, 0, 0, 0));
    EXPECT_EQ(Link::R(2), 1);
}

// A frame still arriving when the next exchange purges the line is thrown away whole: a byte 0xFA
// in its rest starts no frame, and the exchange takes its own answer at its first try.
TEST_F(SimLinkTest, AFrameStillArrivingAtThePurgeIsThrownAwayWhole) {
    // A text holding FA 40: read from there on, a frame of 64 bytes that swallows the next answer.
    unit.setDescriptorText(0, "x\xFA\x40yz");
    Unit::Expander e;
    e.configured = true;
    unit.setExpander(1, e);
    struct Case {
        const char* what;
        bool (*exchange)();
        uint8_t command;
    };
    const Case cases[] = {
        {"a request", [] { return Link::SendRequest(Command::ExpanderTable, 0, 0, 0, 0); },
         Command::ExpanderTable},
        {"a fetch round", [] { return Link::FetchReply(ExpanderCommand::ReadParameters); }, Command::Fetch},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Link::SendRequest(Command::Relay, lineAddress(1), ExpanderCommand::ReadParameters, 0, 0));
        auto slow = fault(Command::ReadDescriptor, 1);
        slow.pieceSize = 3;
        slow.piecePauseMs = 5;
        unit.addFault(slow);
        Link::SendFrame(QByteArray("\x04\x00\x00", 3)); // a text asked for, its answer not read
        Clock::sleepMs(1);                              // its first piece waits on the line
        unit.clearFrames();
        EXPECT_TRUE(c.exchange()) << c.what;
        EXPECT_EQ(unit.framesOf(c.command).size(), 1u) << c.what;
        EXPECT_TRUE(dialogs.entries.empty()) << c.what;
    }
}

// A fetch's answer that stops after its length byte is given up; its rest never comes, and the next
// round's answer, waiting when that round reads, is taken as its own, not as that rest.
TEST_F(SimLinkTest, ARestThatNeverCameTakesNoLaterAnswer) {
    Unit::Expander e;
    e.configured = true;
    unit.setExpander(1, e);
    auto cut = fault(Command::Fetch, 1);
    cut.cutTo = 2;
    unit.addFault(cut);
    ASSERT_TRUE(Link::SendRequest(Command::Relay, lineAddress(1), ExpanderCommand::ReadParameters, 0, 0));
    unit.clearFrames();
    EXPECT_TRUE(Link::FetchReply(ExpanderCommand::ReadParameters));
    EXPECT_EQ(unit.framesOf(Command::Fetch).size(), 2u);
}

TEST_F(SimLinkTest, RelayedReadFetchedWithTheRightEcho) {
    Unit::Expander e;
    e.configured = true;
    for (int i = 0; i < 18; ++i)
        e.parameters[i] = static_cast<uint8_t>(0x40 + i);
    unit.setExpander(5, e);
    unit.setRelayLatencyMs(220); // ready between the second and the third fetch
    auto wrongEcho = fault(2, 1);
    wrongEcho.skip = 2; // after two "not yet" answers
    wrongEcho.echo = 0x5A;
    unit.addFault(wrongEcho);
    std::vector<QString> traces;
    Link::setTraceSink([&](const QString& t) { traces.push_back(t); });

    ASSERT_TRUE(Link::SendRequest(Command::Relay, lineAddress(5), ExpanderCommand::ReadParameters, 0, 0));
    EXPECT_EQ(Link::R(1), 1);
    EXPECT_TRUE(Link::FetchReply(ExpanderCommand::ReadParameters));
    EXPECT_EQ(Link::R(0), 24);
    EXPECT_EQ(Link::R(2), 0x55);
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(Link::R(3 + i), 0x40 + i);
    // Another command's answer answers no fetch of this one: dropped, not traced, and the round
    // waits on for its own until its deadline.
    EXPECT_EQ(Link::traceText(), QStringLiteral("  3:0  3:0"));
    ASSERT_FALSE(traces.empty());
    EXPECT_EQ(traces.front(), QString());
    EXPECT_EQ(traces.back(), Link::traceText());

    const auto frames = written();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0], (Bytes{0xAF, 0x05, 0x01, 0x0B, 0x55, 0x66, 0x00}));
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(frames[i], (Bytes{0xAF, 0x03, 0x02, 0x05, 0x00}));
}

TEST_F(SimLinkTest, RelayedWriteAppliedAndEchoed) {
    Unit::Expander e;
    e.configured = true;
    unit.setExpander(2, e);
    // User 4, loops 1 and 3, code 12AB: the code bytes travel with their digits exchanged.
    Link::SendFrame(QByteArray("\x01\x05\x5C\x04\x05\x21\xBA\x04\x00\x00", 10));
    ASSERT_TRUE(Link::FetchReply(ExpanderCommand::WriteUser));
    EXPECT_EQ(Link::R(3), 4);
    EXPECT_EQ(Link::R(4), 5);
    ASSERT_TRUE(unit.waitForFrames(2, 1000));
    EXPECT_EQ(written()[0], request({0x0C, 0x01, 0x05, 0x5C, 0x04, 0x05, 0x21, 0xBA, 0x04, 0x00, 0x00}));
    EXPECT_EQ(unit.expander(2).userMasks[4], 5);
    EXPECT_EQ(unit.expander(2).userCodes[4], 0x12AB);
}

TEST_F(SimLinkTest, DescriptorWriteAnsweredWithAFrame) {
    // Text "Склад" (1251) as descriptor 7 in slot 42.
    const QByteArray text("\xD1\xEA\xEB\xE0\xE4", 5);
    QByteArray payload("\x03\x07\x06\x00\x2A", 5);
    payload.append(text).append('\0');
    Link::SendFrame(payload);
    Link::WaitMs(300);
    ASSERT_TRUE(Link::ReceiveWriteAnswer());
    EXPECT_EQ(stored(3), (Bytes{0x06, 0x01, 0x03}));
    EXPECT_EQ(unit.descriptorTable()[42], 7);
    EXPECT_EQ(unit.descriptorText(7), text.toStdString());
    EXPECT_EQ(written()[0].size(), 5u + 10u);
}

TEST_F(SimLinkTest, PortHeldByAnotherProgramIsNotOpened) {
    Link::ClosePort();
    QSerialPort other;
    other.setPortName(QString::fromStdString(devicePath("ttyS0")));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    EXPECT_FALSE(Link::OpenPort(QStringLiteral("COM1")));
    EXPECT_FALSE(Link::portOpen());
    ASSERT_EQ(dialogs.texts(), QStringList{QStringLiteral("Not open COM1")});
    EXPECT_EQ(dialogs.entries[0].caption, QString());
    other.close();
    EXPECT_TRUE(Link::OpenPort(QStringLiteral("COM1")));
}

TEST_F(SimLinkTest, OpeningClosesTheOpenPortFirst) {
    // COM1 is open; opening it again works because the first handle is released before.
    EXPECT_TRUE(Link::OpenPort(QStringLiteral("COM1")));
    EXPECT_TRUE(Link::portOpen());
    // COM2 has no device: the open port is gone too.
    EXPECT_FALSE(Link::OpenPort(QStringLiteral("COM2")));
    EXPECT_FALSE(Link::portOpen());
    EXPECT_FALSE(Link::OpenPort(QStringLiteral("LPT1")));
    EXPECT_EQ(dialogs.texts(),
              (QStringList{QStringLiteral("Not open COM2"), QStringLiteral("Not open LPT1")}));
}

// Opening tries the port's device once: a port that takes two seconds to refuse (a Bluetooth port
// that fails to connect) costs the window one wait, however it refuses, and each choice tries again.
TEST_F(ScriptedLinkTest, OpeningTriesTheDeviceOncePerChoice) {
    const std::pair<PortAccess, bool> cases[] = {{PortAccess::Busy, false},
                                                 {PortAccess::Unavailable, false},
                                                 {PortAccess::Missing, false},
                                                 {PortAccess::Usable, true}};
    for (const auto& [found, opens] : cases) {
        int tries = 0;
        Link::setLineOpener([&, found = found](const QString& device) {
            EXPECT_EQ(device, devicePathOf(QStringLiteral("COM5")));
            ++tries;
            clock.now += 2000;
            LineOpening opening{nullptr, found};
            if (found == PortAccess::Usable) opening.line = std::make_unique<ScriptedLine>(clock, log);
            return opening;
        });
        dialogs.clear();
        const uint32_t start = clock.now;
        for (int choice = 1; choice <= 2; ++choice) {
            EXPECT_EQ(Link::OpenPort(QStringLiteral("COM5")), opens);
            EXPECT_EQ(tries, choice) << static_cast<int>(found);
            EXPECT_EQ(clock.now - start, 2000u * choice) << static_cast<int>(found);
        }
        EXPECT_EQ(dialogs.texts().size(), opens ? 0 : 2) << static_cast<int>(found);
    }
}

TEST_F(SimLinkTest, LineThatDisappearsMidExchangeFailsOnceAndQuickly) {
    unit.setRelayLatencyMs(100000); // the expander never answers: the fetch would take ten rounds
    ASSERT_TRUE(Link::SendRequest(Command::Relay, lineAddress(0), ExpanderCommand::ReadParameters, 0, 0));
    clock.at(120, [this] { unit.stop(); });
    uint32_t start = Clock::ticks();
    EXPECT_FALSE(Link::FetchReply(ExpanderCommand::ReadParameters));
    EXPECT_LE(Clock::ticks() - start, 120u + Link::kFetchPauseMs); // at the end of the pause it went in
    EXPECT_FALSE(Link::portOpen());
    start = Clock::ticks();
    EXPECT_FALSE(Link::SendRequest(Command::Access, 1, 2, 3, 4));
    EXPECT_FALSE(Link::FetchReply(0x55));
    EXPECT_EQ(Clock::ticks() - start, 0u);
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(SimLinkTest, LineGoneBeforeTheRequest) {
    unit.stop();
    const uint32_t start = Clock::ticks();
    EXPECT_FALSE(Link::SendRequest(Command::ExpanderTable, 0, 0, 0, 0));
    EXPECT_EQ(Clock::ticks() - start, 0u);
    EXPECT_FALSE(Link::portOpen());
    EXPECT_TRUE(dialogs.entries.empty());
}

// Processor time the calling thread (the program's) has used, in seconds.
double threadSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A device that goes away while no exchange runs: the port is closed at once and silently, neither
// idling nor a pause spins on the dead line (either took a whole core), the millisecond timer goes
// with it, and the port no longer counts as held. The next request fails as after an unplug during
// an exchange. Windows reports an overlapped read on a removed adapter as "access denied".
TEST_F(SimLinkTest, LineThatGoesAwayWhileIdleIsClosedAtOnceAndCostsNoProcessorTime) {
    QtSerialLine* opened = nullptr;
    Link::setLineOpener([&opened](const QString& device) {
        LineOpening opening = QtSerialLine::open(device);
        opened = static_cast<QtSerialLine*>(opening.line.get());
        return opening;
    });
    const auto idle = [] {
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
    };
    const auto pause = [] { Link::WaitMs(500); };
    const auto unplug = [this](QtSerialLine*) { unit.stop(); };
    const auto accessDenied = [](QtSerialLine* line) { line->portError(QSerialPort::PermissionError); };
    const std::tuple<const char*, std::function<void(QtSerialLine*)>, std::function<void()>> cases[] = {
        {"unplugged, a second of idling in the event loop", unplug, idle},
        {"unplugged, a pause of half a second", unplug, pause},
        {"access denied, a pause of half a second", accessDenied, pause},
    };
    Link::ClosePort();
    for (const auto& [what, goAway, wait] : cases) {
        if (!unit.running()) {
            ASSERT_TRUE(unit.start());
            ASSERT_TRUE(unit.linkAs(devicePath("ttyS0")));
        }
        ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM1")));
        EXPECT_EQ(MillisecondTimer::held(), 1) << what;
        goAway(opened);
        const double before = threadSeconds();
        wait();
        EXPECT_LT(threadSeconds() - before, 0.1) << what;
        EXPECT_EQ(MillisecondTimer::held(), 0) << what;
        EXPECT_TRUE(Link::heldPortName().isEmpty()) << what;
        EXPECT_FALSE(Link::portOpen()) << what;
    }
    EXPECT_FALSE(Link::SendRequest(Command::Access, 1, 2, 3, 4));
    EXPECT_TRUE(dialogs.entries.empty());
}

// The wait of every receive loop: it ends when bytes arrive, not when its time is up, and a line
// that has gone ends it at once instead of leaving a loop to spin or sleep on a dead port.
TEST_F(SimLinkTest, WaitOnTheLineEndsWhenBytesArriveOrTheLineGoes) {
    SerialLine* line = Link::port();
    ASSERT_NE(line, nullptr);
    constexpr unsigned kLongUs = 5'000'000;
    std::thread device([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        unit.send({0xFA});
    });
    QElapsedTimer timer;
    timer.start();
    line->waitForBytes(kLongUs);
    const qint64 wokeAfter = timer.elapsed();
    device.join();
    EXPECT_LT(wokeAfter, 2500);
    uint8_t byte = 0;
    EXPECT_EQ(line->read(&byte, 1), 1);
    EXPECT_EQ(byte, 0xFA);

    unit.stop();
    timer.restart();
    line->waitForBytes(kLongUs);
    EXPECT_LT(timer.elapsed(), 2500);
    EXPECT_EQ(line->read(&byte, 1), -1);
}

// A pause on the real clock sleeps in the event loop: it lasts at least its time, to the
// microsecond, and a window event that comes during it is handled during it.
TEST(RealClockPause, LastsItsTimeAndHandlesEventsAsTheyCome) {
    Clock::setTerminating(false);
    QElapsedTimer timer;
    timer.start();
    qint64 handledAtNs = -1;
    QTimer::singleShot(20, [&] { handledAtNs = timer.nsecsElapsed(); });
    Link::WaitMs(60);
    const qint64 waitedNs = timer.nsecsElapsed();
    EXPECT_GE(waitedNs, 60'000'000);
    EXPECT_GE(handledAtNs, 0) << "the timer's event was handled inside the pause";
    EXPECT_LT(handledAtNs, waitedNs);
}

} // namespace
