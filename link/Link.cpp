#include "link/Link.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Wipe.h"
#include "link/AnswerLedger.h"
#include "link/FrameTail.h"
#include "link/LineTap.h"
#include "link/PortNames.h"
#include "link/QtSerialLine.h"

#include <array>
#include <memory>

namespace Link {
namespace {

constexpr int kMaxPayload = 255 - 2; // N counts the start byte and itself, in one byte
constexpr uint8_t kFetchFrame[] = {kRequestStart, 0x03, 0x02, 0x05, 0x00};
// A reply the control unit starts later than this after its request is not waited for any more (a
// request it never answered costs the requests after it no more than this), and one it sends twice
// comes again within the second.
constexpr unsigned kOwedMs = 600; // longer than a fetch round waits
constexpr unsigned kCopyMs = 280; // less than the pause after a descriptor write
constexpr int kDatalessLength = 6; // start, length, status, echo, checksum: a reply with no data
constexpr uint8_t kRelayCommand = 1;
constexpr int kTableBlockBytes = 32;

struct LinkState {
    std::unique_ptr<SerialLine> line;
    QString lineName; // the port name OpenPort opened the line under
    std::array<uint8_t, kFrameBufferSize> r{};
    int active = 0;
    uint64_t pauseEndUs = 0;
    std::function<void(const QString&)> traceSink;
    QString trace;
    AnswerLedger ledger{kOwedMs, kCopyMs};
    FrameTail tail{Framing::ControlUnit};
    uint32_t tailDeadline = 0;
    int lastStored = 0; // bytes of the last reply stored in the frame buffer
    uint64_t lineNumber = 0;
    uint32_t relaySubject = 0; // what the last relayed command asked: what a fetch fetches
    LineOpener opener;         // empty: the program's own, on QSerialPort
};

LinkState& state() {
    static LinkState s;
    return s;
}

// Marks the link as waiting on the line while it lives.
class Busy {
  public:
    Busy() { ++state().active; }
    ~Busy() { --state().active; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
};

// The open line. A line whose device went away while no exchange read it (its port closed itself
// then) is let go here, so that it no longer counts as open or held.
SerialLine* liveLine() {
    LinkState& s = state();
    if (s.line && s.line->gone()) s.line.reset();
    return s.line.get();
}

// A line that has disappeared is closed here, once; from then on there is no port and every
// exchange fails at once, so nothing loops on the error.
int readLine(uint8_t* into, int max) {
    LinkState& s = state();
    if (!s.line) return -1;
    const int n = s.line->read(into, max);
    if (n < 0) {
        s.line.reset();
        return -1;
    }
    return n;
}

// The wait of a receive loop: at most a millisecond, ended early by bytes arriving on the line.
void awaitBytes() {
    if (SerialLine* line = state().line.get())
        Clock::waitOn(*line);
    else
        Clock::sleep1();
}

// Puts the frame into the frame buffer from its start. Also a request that cannot go out is laid
// out there, so that the buffer never holds an earlier reply that a caller could take for the
// answer to it (the key-programming device's signature above all).
void layOut(const uint8_t* frame, int count) {
    std::copy(frame, frame + count, state().r.begin());
}

void layOut(const QByteArray& frame) {
    layOut(reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<int>(frame.size()));
}

// Lays the frame out and writes it. False when there is no port or the line has gone.
bool writeFrame(const uint8_t* frame, int count) {
    LinkState& s = state();
    layOut(frame, count);
    if (!s.line) return false;
    if (!s.line->write(s.r.data(), count)) {
        s.line.reset();
        return false;
    }
    return true;
}

bool writeFrame(const QByteArray& frame) {
    return writeFrame(reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<int>(frame.size()));
}

bool acceptedStatus(uint8_t status) {
    return status == 0 || status == 1 || status == 7 || status == 8 || status == 9;
}

// What answers a request of the control unit, r[0] being the reply's length byte: its echo is the
// command asked (a relayed command for a relay request), and a reply with a status the request takes
// has the data that command gives. The blocks of the tables echo their number, which the caller
// checks. The key-programming device answers the access step with its signature.
AnswerLedger::Answers answersTo(const QByteArray& request) {
    const auto* f = reinterpret_cast<const uint8_t*>(request.constData());
    const uint8_t command = f[2];
    const uint8_t echo = command == kRelayCommand && request.size() > 4 ? f[4] : command;
    return [command, echo](const uint8_t* r, int) {
        const bool data = acceptedStatus(r[1]);
        switch (command) {
        case 2: // a fetch: FetchReply knows what it fetches
            return true;
        case 0:
            return isKeyDeviceSignature(r) || (r[2] == echo && (!data || r[0] == kDatalessLength));
        case 5:
        case 6:
            return !data || r[0] == kDatalessLength + kTableBlockBytes;
        case 4:
            return r[2] == echo && (!data || r[0] > kDatalessLength);
        default:
            return r[2] == echo && (command != kRelayCommand || !data || r[0] == kDatalessLength);
        }
    };
}

// The data an expander's answer to a relayed command carries at least.
int fetchedDataOf(uint8_t expanderCommand) {
    switch (expanderCommand) {
    case 0x55:
        return 18;
    case 0x5A:
        return 16;
    case 0x5D: // the users' masks, or a page of their codes, whose length the reader judges
        return 1;
    default: // a write's echo: what it holds is compared by the caller
        return 0;
    }
}

// A fetch is answered with status 1 by the expander's answer to the command relayed, with the data
// that command gives (a relay request's own reply echoes the command too, without data); with
// another status, by the unit's word that it has no such answer, which echoes nothing or the command.
AnswerLedger::Answers fetchAnswers(uint8_t expected) {
    return [expected](const uint8_t* r, int) {
        if (r[1] != 1) return r[2] == 0 || r[2] == expected;
        return r[2] == expected && r[0] - kDatalessLength >= fetchedDataOf(expected);
    };
}

void purgeReceived(SerialLine& line) {
    LinkState& s = state();
    // A rest that stopped coming is no rest: what waits now is looked at afresh.
    if (s.tail.open() && Clock::passed(s.tailDeadline)) s.tail.clear();
    if (purgeFollowingFrames(line, s.tail) > 0 && s.tail.open()) s.tailDeadline = Clock::ticks() + kTailGapMs;
}

// Reads and throws away the rest of a frame given up or whose head a purge took, as long as it
// keeps coming; false when the line has gone.
bool dropTail(uint32_t deadline, Clock::TickPump& pump) {
    LinkState& s = state();
    while (s.tail.open()) {
        // Bytes that waited while the program paused are the rest still; only a line that stays
        // quiet past the gap ends it.
        uint8_t b = 0;
        const int n = readLine(&b, 1);
        if (n < 0) return false;
        if (n == 1) {
            s.tail.passOver(&b, 1);
            s.tailDeadline = Clock::ticks() + kTailGapMs;
            continue;
        }
        if (Clock::passed(s.tailDeadline)) {
            s.tail.clear(); // its rest never came: the bytes from now on are looked at afresh
            break;
        }
        awaitBytes();
        pump();
        if (Clock::terminating() || Clock::passed(deadline)) break;
    }
    return true;
}

// A new line owes no answer to what was sent on the one before.
void forgetAnswers() {
    ++state().lineNumber;
    state().ledger.reset();
    state().tail.clear();
}

bool everyCopy(const uint8_t*) {
    return true;
}

// An expander's answer: the unit's word that it has none yet is the same for every fetch.
bool fetchedCopy(const uint8_t* r) {
    return r[1] == 1;
}

void tellDropped() {
    if (LineTap* t = tap()) t->dropped();
}

void publishTrace() {
    LinkState& s = state();
    if (s.traceSink) s.traceSink(s.trace);
}

} // namespace

uint16_t checksum(const uint8_t* bytes, int count) {
    uint16_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum = static_cast<uint16_t>(sum + bytes[i]);
    return sum;
}

QByteArray buildFrame(const QByteArray& payload) {
    if (payload.size() > kMaxPayload) return {};
    QByteArray frame;
    frame.reserve(payload.size() + 4);
    frame.append(static_cast<char>(kRequestStart));
    frame.append(static_cast<char>(payload.size() + 2));
    frame.append(payload);
    const uint16_t sum =
        checksum(reinterpret_cast<const uint8_t*>(frame.constData()) + 1, static_cast<int>(frame.size()) - 1);
    frame.append(static_cast<char>(sum & 0xFF));
    frame.append(static_cast<char>(sum >> 8));
    return frame;
}

QByteArray requestFrame(uint8_t command, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4) {
    QByteArray payload;
    payload.append(static_cast<char>(command));
    payload.append(static_cast<char>(a1));
    payload.append(static_cast<char>(a2));
    if (a3 != 0) {
        payload.append(static_cast<char>(a3));
        payload.append(static_cast<char>(a4));
    }
    return buildFrame(payload);
}

ReplyCheck checkReply(const uint8_t* r, int received) {
    if (received < 1) return ReplyCheck::Incomplete;
    const int length = r[0];
    if (length < kMinReplyLength) return ReplyCheck::BadLength;
    // The start byte is not stored: a frame of L bytes occupies R[0] .. R[L - 2].
    if (received < length - 1) return ReplyCheck::Incomplete;
    const uint16_t sum = checksum(r, length - 3);
    if (r[length - 3] == (sum & 0xFF) && r[length - 2] == (sum >> 8)) return ReplyCheck::Ok;
    return ReplyCheck::BadChecksum;
}

bool OpenPort(const QString& portName) {
    ClosePort();
    const QString device = devicePathOf(portName);
    LineOpening opening = state().opener ? state().opener(device) : QtSerialLine::open(device);
    noteOpenAttempt(portName, opening.line ? PortAccess::Usable : opening.refusal);
    if (!opening.line) {
        showBareMessage(QStringLiteral("Not open ") + portName);
        return false;
    }
    forgetAnswers();
    state().line = observed(std::move(opening.line), portName);
    state().lineName = portName;
    return true;
}

void setLineOpener(LineOpener opener) {
    state().opener = std::move(opener);
}

void ClosePort() {
    state().line.reset();
}

bool portOpen() {
    return liveLine() != nullptr;
}

QString heldPortName() {
    return liveLine() ? state().lineName : QString();
}

uint64_t lineNumber() {
    return state().lineNumber;
}

SerialLine* port() {
    return liveLine();
}

void adoptPort(SerialLine* line) {
    state().line.reset(); // the old line closes before the new one opens
    forgetAnswers();
    state().line = observed(std::unique_ptr<SerialLine>(line), QString());
    state().lineName.clear();
}

void WaitMs(unsigned ms) {
    Busy busy;
    // Measured finer than the tick counter: a pause lasts its milliseconds and not up to one more,
    // as counting whole ticks past the deadline would make it.
    const uint64_t end = Clock::micros() + uint64_t{ms} * 1000;
    LinkState& s = state();
    const uint64_t outer = s.pauseEndUs;
    s.pauseEndUs = end;
    for (;;) {
        Clock::pumpEvents();
        if (Clock::terminating() || Clock::micros() >= end) break;
        Clock::idleUntil(end);
    }
    s.pauseEndUs = outer;
}

namespace {

// One whole frame, read as every reply is read: the start byte within the deadline (what comes
// before it thrown away byte by byte), the length byte within the same deadline, the rest within
// 300 ms of it. The poll waits only when the line had nothing, and wakes when bytes arrive.
enum class Read { Frame, Nothing, Cut, BadLength, Gone };
Read readFrame(uint32_t deadline, Clock::TickPump& pump) {
    LinkState& s = state();
    uint8_t* r = s.r.data();
    if (!dropTail(deadline, pump)) return Read::Gone;
    if (s.tail.open()) return Read::Nothing; // the wait ended while the rest still came
    s.lastStored = 0;
    for (;;) {
        const int n = readLine(r, 1);
        if (n < 0) return Read::Gone;
        if (n == 1 && r[0] == kReplyStart) break;
        if (n == 0) awaitBytes();
        pump();
        if (Clock::terminating() || Clock::passed(deadline)) return Read::Nothing;
    }
    for (;;) {
        const int n = readLine(r, 1);
        if (n < 0) return Read::Gone;
        if (n == 1) break;
        awaitBytes();
        pump();
        if (Clock::terminating() || Clock::passed(deadline)) return Read::Nothing;
    }
    s.lastStored = 1;
    const int length = r[0];
    if (length < kMinReplyLength)
        return Read::BadLength; // no frame is that short; its checksum would lie outside the frame

    const uint32_t restDeadline = Clock::ticks() + kRestDeadlineMs;
    int received = 2;
    int remaining = length - 2;
    uint32_t lastByte = Clock::ticks();
    while (remaining > 0) {
        const int n = readLine(r + received - 1, remaining);
        if (n < 0) return Read::Gone;
        if (n > 0) lastByte = Clock::ticks();
        received += n;
        remaining -= n;
        s.lastStored = received - 1;
        if (remaining == 0) break;
        if (n == 0) awaitBytes();
        pump();
        if (Clock::terminating() || Clock::passed(restDeadline)) break;
    }
    if (remaining == 0) return Read::Frame;
    // Given up half-way: the rest, when it comes, is thrown away with it, never read as a frame.
    s.tail.givenUpAfter(received, static_cast<uint8_t>(length));
    s.tailDeadline = lastByte + kTailGapMs;
    return Read::Cut;
}

} // namespace

bool ReceiveFrame() {
    Busy busy;
    Clock::TickPump pump;
    LinkState& s = state();
    if (!s.line) return false;
    const uint8_t* r = s.r.data();
    // Frames that answer no try of this exchange (a late or repeated answer to an earlier request)
    // are dropped whole, and the wait goes on within its deadline.
    const uint32_t deadline = Clock::ticks() + kStartDeadlineMs;
    for (;;) {
        const Read read = readFrame(deadline, pump);
        if (read != Read::Frame) {
            return false;
        }
        const bool checked = checkReply(r, s.lastStored) == ReplyCheck::Ok;
        // A receive that no request asked for (nothing is owed) takes what comes.
        const bool asked = s.ledger.owes(Clock::ticks());
        if (!asked || s.ledger.judge(r, s.lastStored, checked, Clock::ticks()) == AnswerLedger::Whose::Own) {
            if (checked) return true;
            // The exchange's own reply, damaged on the way. The key-programming device's signature,
            // read with this framing, never adds up.
            if (!isKeyDeviceSignature(r)) showBareMessage(QStringLiteral("Не совпала КС"));
            return false;
        }
        tellDropped();
        if (Clock::terminating() || Clock::passed(deadline)) {
            return false;
        }
    }
}

bool SendRequest(uint8_t command, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4) {
    Busy busy;
    LinkState& s = state();
    const QByteArray frame = requestFrame(command, a1, a2, a3, a4);
    layOut(frame);
    const uint32_t subject = subjectOf(reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<int>(frame.size()));
    if (command == kRelayCommand) s.relaySubject = subject;
    // The access step's and a relay request's replies are a bare status, equal for many requests.
    s.ledger.beginExchange(subject, command == 0 || command == kRelayCommand ? nullptr : everyCopy);
    const AnswerLedger::Answers answers = answersTo(frame);
    for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
        if (!s.line || Clock::terminating()) return false;
        purgeReceived(*s.line);
        s.line->purgeOutput();
        if (!writeFrame(frame)) return false;
        s.ledger.asked(answers, Clock::ticks());
        if (ReceiveFrame()) {
            if (acceptedStatus(s.r[1])) return true;
            WaitMs(kBusyPauseMs);
        }
    }
    return false;
}

void SendFrame(const QByteArray& payload) {
    const QByteArray frame = buildFrame(payload);
    if (frame.isEmpty()) return; // N would not fit its byte: such a frame would arrive corrupted
    LinkState& s = state();
    const uint32_t subject = subjectOf(reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<int>(frame.size()));
    if (static_cast<uint8_t>(frame[2]) == kRelayCommand) s.relaySubject = subject;
    s.ledger.beginExchange(subject, everyCopy); // "written" taken twice would hide a refusal
    // Whatever waits arrived before the request went out, so it cannot be the answer to it: a late
    // or repeated answer to an earlier request. It is dropped frame by frame; the line carries the
    // same bytes.
    if (s.line) purgeReceived(*s.line);
    if (!writeFrame(frame)) return;
    // The control unit answers a descriptor's write itself; a relayed write is answered through
    // the fetch.
    if (static_cast<uint8_t>(frame[2]) != kRelayCommand) s.ledger.asked(answersTo(frame), Clock::ticks());
}

bool FetchReply(uint8_t expectedCommand) {
    Busy busy;
    LinkState& s = state();
    s.trace.clear();
    publishTrace();
    layOut(kFetchFrame, sizeof kFetchFrame);
    s.ledger.beginExchange(s.relaySubject ^ expectedCommand, fetchedCopy);
    const AnswerLedger::Answers answers = fetchAnswers(expectedCommand);
    for (int round = 0; round < kFetchRounds; ++round) {
        if (!s.line || Clock::terminating()) return false;
        purgeReceived(*s.line); // as before every request: what waits is no answer to it
        if (!writeFrame(kFetchFrame, sizeof kFetchFrame)) return false;
        s.ledger.asked(answers, Clock::ticks());
        WaitMs(kFetchPauseMs);
        s.r[1] = 0;
        s.r[2] = 0;
        if (ReceiveFrame()) {
            if (s.r[1] == 1 && s.r[2] == expectedCommand) return true;
            s.trace += QStringLiteral("  %1:%2").arg(s.r[1]).arg(s.r[2]);
            publishTrace();
            WaitMs(kWrongFetchPauseMs);
        }
    }
    return false;
}

bool ReceiveWriteAnswer() {
    return ReceiveFrame();
}

int storedReplyBytes() {
    return state().lastStored;
}

uint8_t R(int k) {
    return k >= 0 && k < kFrameBufferSize ? state().r[k] : 0;
}

const uint8_t* frameBuffer() {
    return state().r.data();
}

bool holdsKeyDeviceSignature() {
    return isKeyDeviceSignature(state().r.data());
}

void setTraceSink(std::function<void(const QString&)> sink) {
    state().traceSink = std::move(sink);
}

QString traceText() {
    return state().trace;
}

bool exchangeActive() {
    return state().active > 0;
}

uint64_t pauseEndUs() {
    return state().pauseEndUs;
}

ExchangeScope::ExchangeScope() {
    ++state().active;
}

ExchangeScope::~ExchangeScope() {
    --state().active;
}

} // namespace Link
