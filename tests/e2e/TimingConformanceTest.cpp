// Every pause and reply deadline the program keeps, read from the simulated devices' own records:
// when each request began to arrive and when the last byte of each frame they sent was written.
// One run goes through the access step, a port selection, a full read of an expander, a programming
// run that changes every item, the key programmer's table reads, arming and listening, and the
// local-line access, read and programming, with the faults that call for the other pauses.
//
// On the real clock and a paced line each gap is checked as a lower bound only: a request cannot
// reach a device before the program wrote it, nor can the program read a frame before its last byte
// was written, and load only makes the gaps longer. On the program's own clock, where no load
// exists, each gap is also checked to be no longer than mandated.
#include "DialogRecorder.h"
#include "LockstepClock.h"
#include "TestPorts.h"

#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "base/Clock.h"
#include "base/GridCells.h"
#include "config/LoopLayout.h"
#include "keys/KeyFrames.h"
#include "keys/TMprogrammer.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/ControlUnitSim.h"
#include "sim/KeyDeviceSim.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

using Unit = sim::ControlUnitSim;
using KeyDevice = sim::KeyDeviceSim;

// One request as a device received it, and what the device sent after it until the next request.
struct Exchange {
    sim::RequestFrame request;
    std::vector<sim::PtyDevice::Sent> sends;

    uint8_t byte(size_t i) const { return i < request.bytes.size() ? request.bytes[i] : 0; }
    uint8_t command() const { return byte(2); }
    bool answered() const { return !sends.empty(); }
    // The first frame sent: FA, length, status, echo ...
    int status() const { return answered() && sends[0].bytes.size() > 2 ? sends[0].bytes[2] : -1; }
    int replyByte(size_t i) const { return answered() && sends[0].bytes.size() > i ? sends[0].bytes[i] : -1; }
    // Only the start byte, or the start and length bytes, of a reply came.
    bool cutAfter(size_t bytes) const { return sends.size() == 1 && sends[0].bytes.size() == bytes; }

    // The control unit's requests.
    bool access() const { return command() == Command::Access; }
    bool fetch() const { return command() == Command::Fetch && byte(1) == 3; }
    bool relayed(uint8_t expanderCommand) const {
        return command() == Command::Relay && byte(4) == expanderCommand;
    }
    bool relayedRead(uint8_t expanderCommand, bool block = false) const {
        return relayed(expanderCommand) && byte(1) == (block ? 7 : 5);
    }
    // A request whose answer the program reads as soon as it comes.
    bool readOnArrival() const {
        const uint8_t c = command();
        return c == Command::Access || c == Command::ReadDescriptor || c == Command::DescriptorTable ||
               c == Command::ExpanderTable || relayedRead(ExpanderCommand::ReadParameters) ||
               relayedRead(ExpanderCommand::ReadPartitions) || relayed(ExpanderCommand::ReadUsers);
    }
    // The key programmer's own commands.
    bool keyCommand() const {
        return byte(1) == 7 && (command() == KeyLink::kReadTable || command() == KeyLink::kWriteKey);
    }
};
using Timeline = std::vector<Exchange>;

Timeline timelineOf(const sim::PtyDevice& device, const std::vector<sim::RequestFrame>& frames) {
    Timeline timeline;
    for (const sim::RequestFrame& f : frames)
        timeline.push_back({f, {}});
    for (const sim::PtyDevice::Sent& s : device.sent()) {
        // The last request that had begun to arrive before the frame went out.
        for (auto x = timeline.rbegin(); x != timeline.rend(); ++x) {
            if (x->request.order < s.order) {
                x->sends.push_back(s);
                break;
            }
        }
    }
    return timeline;
}

enum Phase { ControlUnit = 1, Keys = 2, LocalLine = 4 };
const char* phaseName(int phase) {
    return phase == ControlUnit ? "control unit" : phase == Keys ? "key-programming device" : "local line";
}

// A mandated gap around an exchange. The program reads the answer no sooner than fromWriteMs after
// writing the request, and no sooner than fromReplyMs after the first frame that came (the last, with
// fromLastFrame: one the device sent unasked); after reading it waits afterMs before its next request
// (or, with until, before the first later request that until accepts). The gaps of all rows that
// apply to an exchange add up.
struct Gap {
    const char* what;
    int phases;
    std::function<bool(const Timeline&, size_t)> applies;
    unsigned fromWriteMs = 0;
    unsigned fromReplyMs = 0;
    unsigned afterMs = 0;
    std::function<bool(const Exchange&)> until = nullptr;
    bool fromLastFrame = false;
    bool onProgramClock = true; // false: the key programmer's timer, which runs on real time only
};

bool previousIsAccess(const Timeline& t, size_t i) {
    return i > 0 && t[i - 1].access();
}

const std::vector<Gap>& gaps() {
    using T = const Timeline&;
    static const std::vector<Gap> table{
        {.what = "access answered 9: asked again",
         .phases = ControlUnit,
         .applies = [](T t, size_t i) { return t[i].access() && t[i].status() == 9; },
         .afterMs = 500},
        {.what = "a status that is not accepted: asked again",
         .phases = ControlUnit,
         .applies = [](T t, size_t i) { return t[i].readOnArrival() && t[i].status() == 2; },
         .afterMs = 50},
        {.what = "no answer: asked again after the reply deadline",
         .phases = ControlUnit | LocalLine,
         .applies = [](T t, size_t i) { return t[i].readOnArrival() && !t[i].answered(); },
         .fromWriteMs = 200},
        {.what = "an answer stopping after its length byte: asked again after the rest's deadline",
         .phases = ControlUnit | LocalLine,
         .applies = [](T t, size_t i) { return t[i].readOnArrival() && t[i].cutAfter(2); },
         .fromReplyMs = 300},
        {.what = "parameters requested: fetched after",
         .phases = ControlUnit | LocalLine,
         .applies =
             [](T t, size_t i) {
                 return t[i].relayedRead(ExpanderCommand::ReadParameters) && t[i].status() == 1;
             },
         .afterMs = 200},
        {.what = "users requested: fetched after",
         .phases = ControlUnit,
         .applies =
             [](T t, size_t i) { return t[i].relayedRead(ExpanderCommand::ReadUsers) && t[i].status() == 1; },
         .afterMs = 500},
        {.what = "users requested over the local line: fetched after",
         .phases = LocalLine,
         .applies =
             [](T t, size_t i) { return t[i].relayedRead(ExpanderCommand::ReadUsers) && t[i].status() == 1; },
         .afterMs = 1500},
        {.what = "a page of user codes requested: fetched after",
         .phases = LocalLine,
         .applies =
             [](T t, size_t i) {
                 return t[i].relayedRead(ExpanderCommand::ReadUsers, true) && t[i].status() == 1;
             },
         .afterMs = 500},
        {.what = "partitions requested: fetched after",
         .phases = ControlUnit,
         .applies =
             [](T t, size_t i) {
                 return t[i].relayedRead(ExpanderCommand::ReadPartitions) && t[i].status() == 1;
             },
         .afterMs = 300},
        {.what = "a fetch: its answer read after",
         .phases = ControlUnit | LocalLine,
         .applies = [](T t, size_t i) { return t[i].fetch(); },
         .fromWriteMs = 50},
        {.what = "a fetch without an answer: the next round after the reply deadline",
         .phases = ControlUnit | LocalLine,
         .applies = [](T t, size_t i) { return t[i].fetch() && !t[i].answered(); },
         .fromWriteMs = 200},
        {.what = "a fetch answered without the expander's answer: the next round after",
         .phases = ControlUnit,
         .applies = [](T t, size_t i) { return t[i].fetch() && t[i].answered() && t[i].status() != 1; },
         .afterMs = 100},
        {.what = "the code pages end: the partitions' pause, with nothing requested over the local line",
         .phases = LocalLine,
         .applies =
             [](T t, size_t i) {
                 const int length = t[i].replyByte(1);
                 return t[i].fetch() && t[i].replyByte(3) == ExpanderCommand::ReadUsers && length != 22 &&
                        length != 37;
             },
         .afterMs = 300},
        {.what = "parameter block written: its answer asked for after",
         .phases = ControlUnit | LocalLine,
         .applies = [](T t, size_t i) { return t[i].relayed(ExpanderCommand::WriteParameters); },
         .afterMs = 300},
        {.what = "descriptor written: its answer read after",
         .phases = ControlUnit,
         .applies = [](T t, size_t i) { return t[i].command() == Command::WriteDescriptor; },
         .fromWriteMs = 300},
        {.what = "access over the local line with its default code: the next request after",
         .phases = LocalLine,
         .applies =
             [](T t, size_t i) {
                 const Exchange& x = t[i];
                 return x.access() && x.byte(3) == 0x12 && x.byte(4) == 0x34 && x.byte(5) == 0x12 &&
                        previousIsAccess(t, i);
             },
         .afterMs = 200},
        {.what = "a key command refused: tried again after",
         .phases = Keys,
         .applies =
             [](T t, size_t i) {
                 return t[i].keyCommand() && t[i].status() >= 0 && t[i].status() != KeyLink::kStatusAccepted;
             },
         .afterMs = 100},
        {.what = "a key command without an answer: tried again after the start deadline",
         .phases = Keys,
         .applies = [](T t, size_t i) { return t[i].keyCommand() && !t[i].answered(); },
         .fromWriteMs = 200},
        {.what = "a start byte alone: tried again after the length byte's deadline",
         .phases = Keys,
         .applies = [](T t, size_t i) { return t[i].keyCommand() && t[i].cutAfter(1); },
         .fromReplyMs = 1000},
        {.what = "a start and a length byte alone: tried again after the body's deadline",
         .phases = Keys,
         .applies = [](T t, size_t i) { return t[i].keyCommand() && t[i].cutAfter(2); },
         .fromReplyMs = 300},
        {.what = "a key reported while armed: the written key shows for three timer ticks",
         .phases = Keys,
         .applies = [](T t, size_t i) { return t[i].keyCommand() && t[i].sends.size() == 2; },
         .afterMs = 3000,
         .until =
             [](const Exchange& x) {
                 return x.command() == KeyLink::kWriteKey && x.byte(3) == KeyLink::kNoSlot;
             },
         .fromLastFrame = true,
         .onProgramClock = false},
    };
    return table;
}

enum class Time { RealLine, ProgramClock };

class TimingConformance : public testing::TestWithParam<Time> {
  protected:
    // How much longer than mandated a gap may be on the program's clock: the reply deadlines end
    // on the tick after them.
    static constexpr int64_t kProgramClockSlackUs = 3000;

    void SetUp() override {
        Clock::setTerminating(false);
        Access::resetFlags();
        ASSERT_TRUE(folder.isValid());
        if (programClock()) clock = std::make_unique<LockstepClock>();
        Unit::Expander e;
        e.configured = true;
        e.parameters = {0x65, 0x5A, 0x85, 0x50, 0x41, 0x80, 0xC3, 0x09, 0x00,
                        0x00, 0x7E, 0xFF, 0x80, 0x00, 0x12, 0x34, 0xD7, 0xDF};
        for (int u = 0; u < 31; ++u)
            e.userMasks[u] = static_cast<uint8_t>(u * 37);
        for (int p = 0; p < 8; ++p) {
            e.partitionNumbers[p] = static_cast<uint8_t>(10 + p);
            e.partitionMasks[p] = static_cast<uint8_t>(1 << p);
        }
        unit.setExpander(1, e);
        for (int n = 0; n < 3; ++n) { // loops 1 to 3 of expander 1 carry texts of their own
            unit.setDescriptorSlot(8 + n, static_cast<uint8_t>(n));
            unit.setDescriptorText(n, std::string("Text ") + char('A' + n));
        }
        // Tables that differ: a reply to one is never the same frame as a reply to another.
        keyDevice.setSingleKey(3, true);
        keyDevice.setSingleKey(95, true);
        keyDevice.setThreeExpanderKey(1, 7, true);
        ASSERT_TRUE(unit.start() && keyDevice.start());
        ASSERT_TRUE(unit.linkAs(folder.filePath("ttyS0").toStdString()));
        ASSERT_TRUE(keyDevice.linkAs(folder.filePath("ttyS1").toStdString()));
        unit.setPacing(!programClock());
        keyDevice.setPacing(!programClock());
        setPortFolder(folder.path());
        windows = std::make_unique<ProgramWindows>();
        main = windows->main.get();
        keys = windows->keys.get();
        // On the program's clock the test gives the key programmer's timer ticks itself.
        if (programClock()) keys->Timer1->setInterval(3600 * 1000);
        main->show();
    }
    void TearDown() override {
        windows.reset();
        Link::ClosePort();
        unit.stop();
        keyDevice.stop();
        setPortFolder(EmptyPortFolder());
        Access::resetFlags();
        Clock::setTerminating(false);
    }

    bool programClock() const { return GetParam() == Time::ProgramClock; }
    void choosePort(int index) {
        main->ComboBox1->setCurrentIndex(index);
        main->ComboBox1Change();
    }
    template <typename Device> void endPhase(Phase phase, Device& device) {
        phases.push_back({phase, timelineOf(device, device.frames())});
        device.clearFrames();
        device.clearReceived();
    }
    // Every gap that applies in the runs recorded, checked as this test's clock allows.
    void checkGaps();
    void printTimelines() const;

    std::unique_ptr<LockstepClock> clock;
    QTemporaryDir folder;
    Unit unit;
    KeyDevice keyDevice;
    DialogRecorder dialogs;
    std::unique_ptr<ProgramWindows> windows;
    TForm1* main = nullptr;
    TTMwriteForm* keys = nullptr;
    std::vector<std::pair<Phase, Timeline>> phases;
};

void TimingConformance::checkGaps() {
    std::vector<int> uses(gaps().size(), 0);
    for (const auto& [phase, t] : phases) {
        int64_t nextUs = INT64_MIN; // the program writes its next request no sooner; MIN: unknown
        std::vector<std::pair<std::function<bool(const Exchange&)>, int64_t>> holds;
        std::string since = "(start)";
        for (size_t i = 0; i < t.size(); ++i) {
            const Exchange& x = t[i];
            int64_t floorUs = nextUs;
            for (auto hold = holds.begin(); hold != holds.end();) {
                if (!hold->first(x)) {
                    ++hold;
                    continue;
                }
                floorUs = std::max(floorUs, hold->second);
                hold = holds.erase(hold);
            }
            if (floorUs != INT64_MIN) {
                const int64_t gapUs = x.request.startUs - floorUs;
                EXPECT_GE(gapUs, 0) << phaseName(phase) << ", request " << i << " (command "
                                    << int(x.command()) << "): " << -gapUs << " us sooner than " << since
                                    << " allows";
                if (programClock())
                    EXPECT_LE(gapUs, kProgramClockSlackUs)
                        << phaseName(phase) << ", request " << i << " (command " << int(x.command())
                        << "): " << gapUs << " us later than " << since << " asks";
            }

            unsigned fromWriteMs = 0, fromReplyMs = 0, afterMs = 0;
            bool lastFrame = false;
            std::function<bool(const Exchange&)> until;
            std::string what;
            for (size_t g = 0; g < gaps().size(); ++g) {
                const Gap& gap = gaps()[g];
                if (!(gap.phases & phase) || !gap.applies(t, i)) continue;
                if (!programClock() || gap.onProgramClock) ++uses[g];
                fromWriteMs += gap.fromWriteMs;
                fromReplyMs += gap.fromReplyMs;
                afterMs += gap.afterMs;
                if (gap.until) until = gap.until;
                lastFrame = lastFrame || gap.fromLastFrame;
                what += std::string(what.empty() ? "" : " + ") + gap.what;
            }
            // When the program read the answer, at the soonest. Of several frames it may have taken
            // either: a late reply for its own, say, on a loaded machine.
            int64_t readUs = floorUs == INT64_MIN ? INT64_MIN : floorUs + int64_t{fromWriteMs} * 1000;
            if (x.answered()) {
                const sim::PtyDevice::Sent& frame = lastFrame ? x.sends.back() : x.sends.front();
                readUs = std::max(readUs, frame.lastByteUs + int64_t{fromReplyMs} * 1000);
            }
            since = what.empty() ? "the exchange before" : what;
            if (readUs != INT64_MIN && until) {
                holds.emplace_back(until, readUs + int64_t{afterMs} * 1000);
                nextUs = readUs;
            } else {
                nextUs = readUs == INT64_MIN ? INT64_MIN : readUs + int64_t{afterMs} * 1000;
            }
        }
    }
    for (size_t g = 0; g < gaps().size(); ++g)
        if (!programClock() || gaps()[g].onProgramClock)
            EXPECT_GT(uses[g], 0) << "the run never came to: " << gaps()[g].what;
    if (HasFailure()) printTimelines();
}

// The exchanges as the devices saw them, in milliseconds from the first request of each phase.
void TimingConformance::printTimelines() const {
    for (const auto& [phase, t] : phases) {
        std::printf("%s:\n", phaseName(phase));
        const int64_t zero = t.empty() ? 0 : t.front().request.startUs;
        for (size_t i = 0; i < t.size(); ++i) {
            std::printf("%3zu %10.3f ", i, (t[i].request.startUs - zero) / 1000.0);
            for (uint8_t b : t[i].request.bytes)
                std::printf(" %02X", b);
            for (const sim::PtyDevice::Sent& s : t[i].sends) {
                std::printf("\n      %10.3f   <-", (s.lastByteUs - zero) / 1000.0);
                for (size_t k = 0; k < s.bytes.size() && k < 8; ++k)
                    std::printf(" %02X", s.bytes[k]);
                if (s.bytes.size() > 8) std::printf(" ... (%zu bytes)", s.bytes.size());
            }
            std::printf("\n");
        }
    }
}

TEST_P(TimingConformance, EveryMandatedPauseAndDeadlineIsKept) {
    const auto unitFault = [this](int command, int expanderCommand, int skip, auto&& set) {
        Unit::Fault f;
        f.command = command;
        f.expanderCommand = expanderCommand;
        f.skip = skip;
        set(f);
        unit.addFault(f);
    };
    const auto keyFault = [this](int command, int parameter1, auto&& set) {
        KeyDevice::Fault f;
        f.command = command;
        f.parameter1 = parameter1;
        set(f);
        keyDevice.addFault(f);
    };

    // The access step, the port selection and the read of expander 1, then a programming run that
    // changes every item.
    unitFault(Command::Access, -1, 0, [](Unit::Fault& f) { f.status = 9; });
    unitFault(Command::ExpanderTable, -1, 2, [](Unit::Fault& f) { f.silent = true; });
    unitFault(Command::DescriptorTable, -1, 3, [](Unit::Fault& f) { f.status = 2; });
    unitFault(Command::ReadDescriptor, -1, 0, [](Unit::Fault& f) { f.cutTo = 2; });
    unitFault(Command::Fetch, ExpanderCommand::ReadParameters, 0, [](Unit::Fault& f) {
        f.status = Unit::kStatusNotReady;
        f.echo = 0;
        f.dataLength = 0;
    });
    unitFault(Command::Fetch, ExpanderCommand::ReadPartitions, 0, [](Unit::Fault& f) { f.silent = true; });
    main->Edit1->setText(QStringLiteral("12345678"));
    choosePort(0);
    ASSERT_EQ(main->ComboBox2->count(), 1) << dialogs.texts().join(" | ").toStdString();
    ASSERT_EQ(dialogs.texts(), QStringList());
    ASSERT_EQ(unit.pendingFaults(), 0u);

    main->CheckBox1->setChecked(!main->CheckBox1->isChecked());
    for (int p = 1; p <= 8; ++p)
        setCellText(main->StringGrid2, p, kGlobalNumberRow, QString::number(100 + p));
    for (int u = 0; u < 31; ++u)
        setCellText(main->StringGrid3, u + 1, 1, cellText(main->StringGrid3, u + 1, 1).isEmpty() ? "+" : "");
    const QStringList descriptions{QStringLiteral("Склад"), QStringLiteral("Кухня"), QString()};
    for (int n = 1; n <= 3; ++n)
        setCellText(main->StringGrid1, n, kDescriptionRow, descriptions[n - 1]);
    main->Button1Click();
    ASSERT_EQ(dialogs.texts(), QStringList{"Программирование расширителя успешно завершено"});
    ASSERT_EQ(unit.framesOf(Command::WriteDescriptor).size(), 3u);
    endPhase(ControlUnit, unit);

    // The key-programming device: found by the access step, its tables read, a key armed, touched
    // and listened for.
    keyFault(KeyLink::kReadTable, KeyLink::kTableKey1,
             [](KeyDevice::Fault& f) { f.status = KeyDevice::kStatusRefused; });
    keyFault(KeyLink::kReadTable, KeyLink::kTableKey2, [](KeyDevice::Fault& f) { f.silent = true; });
    keyFault(KeyLink::kReadTable, KeyLink::kTableThreeExpanders, [](KeyDevice::Fault& f) { f.cutTo = 1; });
    keyFault(KeyLink::kReadTable, KeyLink::kTableThreeExpanders, [](KeyDevice::Fault& f) { f.cutTo = 2; });
    keyFault(KeyLink::kWriteKey, 0, [](KeyDevice::Fault& f) { f.status = KeyDevice::kStatusRefused; });
    dialogs.clear();
    choosePort(1);
    ASSERT_TRUE(keys->isVisible());
    ASSERT_EQ(dialogs.texts(), QStringList());
    keys->StringGrid1->setCurrentCell(1, 1);
    keys->Button3Click();
    ASSERT_FALSE(keys->Panel1->isHidden());
    ASSERT_EQ(keyDevice.pendingFaults(), 0u);
    keyDevice.touchNewKey();
    if (programClock()) {
        keys->Timer1Timer();
        EXPECT_EQ(keys->Label6->text(), TTMwriteForm::kKeyWrittenText);
    } else {
        // The written key shows for three ticks, then the write is closed.
        const auto closed = [this] {
            for (const KeyDevice::Frame& f : keyDevice.framesOf(KeyLink::kWriteKey))
                if (f.parameter(1) == KeyLink::kNoSlot) return true;
            return false;
        };
        for (int waited = 0; waited < 10000 && !closed(); waited += 10)
            QTest::qWait(10);
        ASSERT_TRUE(closed());
    }
    endPhase(Keys, keyDevice);

    // Over the local line: the access step with the default code, the read with the users' codes,
    // whose first page is short, and a programming run that changes the parameter block.
    keys->N5Click();
    unit.setLocalLine(true);
    unitFault(Command::Access, -1, 1, [](Unit::Fault& f) { f.status = 9; });
    unitFault(Command::Fetch, ExpanderCommand::ReadUsers, 1, [](Unit::Fault& f) { f.dataLength = 10; });
    dialogs.clear();
    main->Edit1->clear();
    main->CheckBox14->setChecked(true);
    choosePort(0);
    ASSERT_TRUE(Access::localLineMode());
    ASSERT_EQ(unit.pendingFaults(), 0u);
    main->CheckBox1->setChecked(!main->CheckBox1->isChecked());
    main->Button1Click();
    ASSERT_EQ(dialogs.texts(), QStringList{"Программирование расширителя успешно завершено"});
    endPhase(LocalLine, unit);

    checkGaps();
}

INSTANTIATE_TEST_SUITE_P(Clocks, TimingConformance, testing::Values(Time::RealLine, Time::ProgramClock),
                         [](const testing::TestParamInfo<Time>& info) {
                             return info.param == Time::RealLine ? "RealLine" : "ProgramClock";
                         });

} // namespace
