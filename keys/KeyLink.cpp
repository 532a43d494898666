#include "keys/KeyLink.h"

#include "base/Clock.h"
#include "link/AnswerLedger.h"
#include "link/FrameTail.h"
#include "link/LineTap.h"
#include "link/Link.h"
#include "link/SerialLine.h"

#include <algorithm>
#include <array>

namespace KeyLink {
namespace {

std::array<uint8_t, kFrameBufferSize> buffer{};
int stored = 0;

// A reply can come as late as a try waits for it, all three deadlines; one sent twice comes again
// within the second.
constexpr unsigned kOwedMs = kStartDeadlineMs + kLengthDeadlineMs + kBodyDeadlineMs;
constexpr unsigned kCopyMs = 280; // less than the pause after a descriptor write

struct Answers {
    Link::AnswerLedger ledger{kOwedMs, kCopyMs, false};
    Link::FrameTail tail{Link::Framing::KeyDevice};
    uint32_t tailDeadline = 0;
    uint64_t line = 0; // the line the owed requests went out on
};

Answers& answers() {
    static Answers a;
    return a;
}

// The answers owed on the line now: a new line owes none.
Answers& answersOn(const SerialLine*) {
    Answers& a = answers();
    if (a.line != Link::lineNumber()) {
        a.ledger.reset();
        a.tail.clear();
        a.line = Link::lineNumber();
    }
    return a;
}

// One wait step of every loop: at most a millisecond, ended early by bytes arriving on the line,
// then the window events of this tick. The port is looked up again afterwards by the caller, since a
// handler that ran meanwhile may have closed it.
void pause1(SerialLine& line, Clock::TickPump& pump) {
    Clock::waitOn(line);
    pump();
}

// The line went away under the exchange (the device disappeared): close the port once, so that
// nothing polls a dead line again, and fail the exchange.
bool lineLost(SerialLine* line) {
    if (Link::port() == line) Link::ClosePort();
    return false;
}

// The purge of the receive queue, frame by frame: a frame still arriving is thrown away whole.
void purgeReceived(SerialLine& line) {
    Answers& a = answersOn(&line);
    if (a.tail.open() && Clock::passed(a.tailDeadline)) a.tail.clear(); // its rest stopped coming
    if (Link::purgeFollowingFrames(line, a.tail) > 0 && a.tail.open())
        a.tailDeadline = Clock::ticks() + Link::kTailGapMs;
}

enum class Read { Frame, Nothing, Cut, BadLength, Gone };

// Reads one reply frame as it comes: the start byte within 200 ms (everything before it skipped),
// the length byte within 1000 ms, the N - 1 bytes after it within 300 ms. First the rest of a frame
// whose head a purge took is read and thrown away.
Read readFrame(uint32_t startDeadline) {
    Clock::TickPump pump;
    SerialLine* line = Link::port();
    if (!line) return Read::Nothing;
    Answers& a = answersOn(line);
    while (a.tail.open()) {
        uint8_t b = 0;
        const int got = line->read(&b, 1);
        if (got < 0) return lineLost(line), Read::Gone;
        if (got == 1) {
            a.tail.passOver(&b, 1);
            a.tailDeadline = Clock::ticks() + Link::kTailGapMs;
            continue;
        }
        if (Clock::passed(a.tailDeadline)) {
            a.tail.clear(); // its rest stopped coming: what comes now is looked at afresh
            break;
        }
        pause1(*line, pump);
        line = Link::port();
        if (!line) return Read::Nothing;
        if (Clock::passed(startDeadline) || Clock::terminating()) break;
    }
    if (a.tail.open()) return Read::Nothing; // the wait ended while the rest still came

    stored = 0;
    int got = 0;
    for (;;) {
        got = line->read(&buffer[0], 1);
        if (got < 0) return lineLost(line), Read::Gone;
        if (got == 1 && buffer[0] == kReplyStart) break;
        pause1(*line, pump);
        line = Link::port();
        if (!line || Clock::passed(startDeadline) || Clock::terminating()) break;
    }
    if (got != 1 || buffer[0] != kReplyStart) return Read::Nothing;

    line = Link::port();
    if (!line) return Read::Nothing;
    uint32_t deadline = Clock::ticks() + kLengthDeadlineMs;
    for (;;) {
        got = line->read(&buffer[0], 1);
        if (got < 0) return lineLost(line), Read::Gone;
        if (got == 1) break;
        pause1(*line, pump);
        line = Link::port();
        if (!line || Clock::passed(deadline) || Clock::terminating()) return Read::Nothing;
    }
    stored = 1;
    const int length = buffer[0];
    if (length < 2) return Read::BadLength;

    // Body: the N - 1 bytes after the length byte, in as many pieces as they come.
    const int wanted = length - 1;
    int arrived = 0;
    deadline = Clock::ticks() + kBodyDeadlineMs;
    uint32_t lastByte = Clock::ticks();
    while (arrived < wanted) {
        got = line->read(&buffer[static_cast<size_t>(1 + arrived)], wanted - arrived);
        if (got < 0) return lineLost(line), Read::Gone;
        if (got > 0) lastByte = Clock::ticks();
        arrived += got;
        stored = 1 + arrived;
        if (arrived >= wanted) break;
        pause1(*line, pump);
        line = Link::port();
        if (!line || Clock::passed(deadline) || Clock::terminating()) break;
    }
    if (arrived >= wanted) return Read::Frame;
    // Given up half-way: the rest, when it comes, is thrown away with it, never read as a frame.
    a.tail.givenUpAfter(2 + arrived, static_cast<uint8_t>(length));
    a.tailDeadline = lastByte + Link::kTailGapMs;
    return Read::Cut;
}

void purgeAfterBadFrame() {
    if (SerialLine* now = Link::port()) purgeReceived(*now);
}

// Reads the reply of the exchange under way, or, while listening, a key report. Frames that answer
// an earlier request (a late or repeated reply) are dropped whole and the wait goes on within its
// deadline; while listening, so is every frame a request still owed may be the reply to.
bool receive(bool listening) {
    SerialLine* line = Link::port();
    if (!line) return false;
    Link::ExchangeScope scope;
    Link::AnswerLedger& ledger = answersOn(line).ledger;
    const uint32_t deadline = Clock::ticks() + kStartDeadlineMs;
    for (;;) {
        const Read read = readFrame(deadline);
        switch (read) {
        case Read::Gone:
            return false;
        case Read::BadLength:
            purgeAfterBadFrame();
            return false;
        case Read::Nothing:
            return false;
        case Read::Cut:
            // A reply short of its last byte is checked against the last byte that came; one short
            // of more is refused without a check.
            if (checkKeyReply(buffer.data(), stored) == KeyReplyCheck::Incomplete) {
                return false;
            }
            break;
        case Read::Frame:
            break;
        }
        const bool checked = checkKeyReply(buffer.data(), stored) == KeyReplyCheck::Ok;
        const Link::AnswerLedger::Whose whose = ledger.judge(buffer.data(), stored, checked, Clock::ticks(), listening);
        const bool mine = listening ? whose == Link::AnswerLedger::Whose::Unasked
                                    : whose == Link::AnswerLedger::Whose::Own;
        if (mine) {
            if (checked) return true;
            purgeAfterBadFrame();
            return false;
        }
        if (LineTap* tap = Link::tap()) tap->dropped();
        if (Clock::passed(deadline) || Clock::terminating()) {
            return false;
        }
    }
}

} // namespace

uint8_t R(int k) {
    return k >= 0 && k < kFrameBufferSize ? buffer[static_cast<size_t>(k)] : 0;
}
const uint8_t* frameBuffer() {
    return buffer.data();
}
int storedBytes() {
    return stored;
}

bool ReceiveKeyReply() {
    return receive(true);
}

bool SendKeyCommand(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, int tries) {
    if (!Link::port() || tries <= 0) return false;
    const auto request = buildKeyRequest(command, p1, p2, p3, p4);
    // Its replies are a status and a table, equal for many requests: an exchange takes a copy, which
    // at worst shows a table again; only listening tells a copy from a report.
    answers().ledger.beginExchange(Link::subjectOf(request.data(), kRequestSize), nullptr);
    for (int attempt = 0; attempt < tries; ++attempt) {
        SerialLine* line = Link::port();
        if (!line || Clock::terminating()) return false;
        purgeReceived(*line);
        line->purgeOutput();
        std::copy(request.begin(), request.end(), buffer.begin());
        stored = 0;
        line->write(buffer.data(), kRequestSize); // not checked: a lost write shows as no reply
        // The device answers every request in order, each with one reply.
        answersOn(line).ledger.asked([](const uint8_t*, int) { return true; }, Clock::ticks());
        if (receive(false)) {
            if (buffer[1] == kStatusAccepted) return true;
            Clock::sleepMs(kRefusedPauseMs);
        }
    }
    return false;
}

} // namespace KeyLink
