#include "link/Link.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "link/LineTap.h"
#include "link/PortNames.h"
#include "link/QtSerialLine.h"

#include <array>
#include <memory>

namespace Link {
namespace {

constexpr int kRawReadMax = 40;
constexpr int kMaxPayload = 255 - 2; // N counts the start byte and itself, in one byte
constexpr uint8_t kFetchFrame[] = {kRequestStart, 0x03, 0x02, 0x05, 0x00};

struct LinkState {
    std::unique_ptr<SerialLine> line;
    QString lineName; // the port name OpenPort opened the line under
    std::array<uint8_t, kFrameBufferSize> r{};
    int active = 0;
    uint64_t pauseEndUs = 0;
    std::function<void(const QString&)> traceSink;
    QString trace;
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

// The write of a request that does not purge both queues as SendRequest does. Whatever waits in the
// receive queue arrived before the request went out, so it cannot be the answer to it: it is a late
// or repeated answer to an earlier request, which the exchange would otherwise take for its own (a
// refused write read as written). It is thrown away first; the line carries the same bytes.
bool writeFresh(const uint8_t* frame, int count) {
    if (SerialLine* line = state().line.get()) line->purgeInput();
    return writeFrame(frame, count);
}

bool acceptedStatus(uint8_t status) {
    return status == 0 || status == 1 || status == 7 || status == 8 || status == 9;
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
    std::unique_ptr<QtSerialLine> line = QtSerialLine::open(devicePathOf(portName));
    if (!line) {
        noteRefusedOpen(portName);
        showBareMessage(QStringLiteral("Not open ") + portName);
        return false;
    }
    state().line = observed(std::move(line), portName);
    state().lineName = portName;
    return true;
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

SerialLine* port() {
    return liveLine();
}

void adoptPort(SerialLine* line) {
    state().line.reset(); // the old line closes before the new one opens
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

bool ReceiveFrame() {
    Busy busy;
    Clock::TickPump pump;
    LinkState& s = state();
    if (!s.line) return false;
    uint8_t* r = s.r.data();

    // The start byte, within 200 ms; whatever comes before it is thrown away byte by byte. The
    // poll waits only when the line had nothing, and wakes when bytes arrive, so a reply is taken
    // as fast as it arrives.
    uint32_t deadline = Clock::ticks() + kStartDeadlineMs;
    for (;;) {
        const int n = readLine(r, 1);
        if (n < 0) return false;
        if (n == 1 && r[0] == kReplyStart) break;
        if (n == 0) awaitBytes();
        pump();
        if (Clock::terminating() || Clock::passed(deadline)) return false;
    }

    // The length byte, within the same 200 ms.
    for (;;) {
        const int n = readLine(r, 1);
        if (n < 0) return false;
        if (n == 1) break;
        awaitBytes();
        pump();
        if (Clock::terminating() || Clock::passed(deadline)) return false;
    }
    const int length = r[0];
    if (length < kMinReplyLength)
        return false; // no frame is that short; its checksum would lie outside the frame

    // The rest, within 300 ms, stored from R[1] on.
    deadline = Clock::ticks() + kRestDeadlineMs;
    int received = 2;
    int remaining = length - 2;
    while (remaining > 0) {
        const int n = readLine(r + received - 1, remaining);
        if (n < 0) return false;
        received += n;
        remaining -= n;
        if (remaining == 0) break;
        if (n == 0) awaitBytes();
        pump();
        if (Clock::terminating() || Clock::passed(deadline)) break;
    }

    switch (checkReply(r, received - 1)) {
    case ReplyCheck::Ok:
        return true;
    case ReplyCheck::BadChecksum:
        if (!isKeyDeviceSignature(r)) showBareMessage(QStringLiteral("Не совпала КС"));
        return false;
    case ReplyCheck::Incomplete:
    case ReplyCheck::BadLength:
        break;
    }
    return false;
}

bool SendRequest(uint8_t command, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4) {
    Busy busy;
    LinkState& s = state();
    const QByteArray frame = requestFrame(command, a1, a2, a3, a4);
    layOut(frame);
    for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
        if (!s.line || Clock::terminating()) return false;
        s.line->purgeInput();
        s.line->purgeOutput();
        if (!writeFrame(frame)) return false;
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
    writeFresh(reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<int>(frame.size()));
}

bool FetchReply(uint8_t expectedCommand) {
    Busy busy;
    LinkState& s = state();
    s.trace.clear();
    publishTrace();
    layOut(kFetchFrame, sizeof kFetchFrame);
    for (int round = 0; round < kFetchRounds; ++round) {
        if (!s.line || Clock::terminating()) return false;
        if (!writeFresh(kFetchFrame, sizeof kFetchFrame)) return false;
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

int RawRead() {
    const int n = readLine(state().r.data(), kRawReadMax);
    return n < 0 ? 0 : n;
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
