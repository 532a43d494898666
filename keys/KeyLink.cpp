#include "keys/KeyLink.h"

#include "base/Clock.h"
#include "link/Link.h"
#include "link/SerialLine.h"

#include <algorithm>
#include <array>

namespace KeyLink {
namespace {

std::array<uint8_t, kFrameBufferSize> buffer{};
int stored = 0;

// One wait step of every loop: at most a millisecond, ended early by bytes arriving on the line,
// then the window events of this tick. The port is looked up again afterwards by the caller, since a handler
// that ran meanwhile may have closed it.
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
    SerialLine* line = Link::port();
    if (!line) return false;
    Link::ExchangeScope scope;
    Clock::TickPump pump;
    stored = 0;

    // Start byte: everything before 0xFA is skipped, one byte at a time.
    uint32_t deadline = Clock::ticks() + kStartDeadlineMs;
    int got = 0;
    for (;;) {
        got = line->read(&buffer[0], 1);
        if (got < 0) return lineLost(line);
        if (got == 1 && buffer[0] == kReplyStart) break;
        pause1(*line, pump);
        line = Link::port();
        if (!line || Clock::passed(deadline) || Clock::terminating()) break;
    }
    if (got != 1 || buffer[0] != kReplyStart) return false;

    // Length byte.
    line = Link::port();
    if (!line) return false;
    deadline = Clock::ticks() + kLengthDeadlineMs;
    for (;;) {
        got = line->read(&buffer[0], 1);
        if (got < 0) return lineLost(line);
        if (got == 1) break;
        pause1(*line, pump);
        line = Link::port();
        if (!line || Clock::passed(deadline) || Clock::terminating()) return false;
    }
    stored = 1;
    const int length = buffer[0];
    line = Link::port();
    if (!line) return false;
    if (length < 2) {
        line->purgeInput();
        return false;
    }

    // Body: the N - 1 bytes after the length byte, in as many pieces as they come.
    const int wanted = length - 1;
    int arrived = 0;
    deadline = Clock::ticks() + kBodyDeadlineMs;
    while (arrived < wanted) {
        got = line->read(&buffer[static_cast<size_t>(1 + arrived)], wanted - arrived);
        if (got < 0) return lineLost(line);
        arrived += got;
        stored = 1 + arrived;
        if (arrived >= wanted) break;
        pause1(*line, pump);
        line = Link::port();
        if (!line || Clock::passed(deadline) || Clock::terminating()) break;
    }

    switch (checkKeyReply(buffer.data(), 1 + arrived)) {
    case KeyReplyCheck::Ok:
        return true;
    case KeyReplyCheck::BadCheck:
    case KeyReplyCheck::BadLength:
        if (SerialLine* now = Link::port()) now->purgeInput();
        return false;
    case KeyReplyCheck::Incomplete:
        break;
    }
    return false;
}

bool SendKeyCommand(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, int tries) {
    if (!Link::port() || tries <= 0) return false;
    const auto request = buildKeyRequest(command, p1, p2, p3, p4);
    for (int attempt = 0; attempt < tries; ++attempt) {
        SerialLine* line = Link::port();
        if (!line || Clock::terminating()) return false;
        line->purgeInput();
        line->purgeOutput();
        std::copy(request.begin(), request.end(), buffer.begin());
        stored = 0;
        line->write(buffer.data(), kRequestSize); // not checked: a lost write shows as no reply
        if (ReceiveKeyReply()) {
            if (buffer[1] == kStatusAccepted) return true;
            Clock::sleepMs(kRefusedPauseMs);
        }
    }
    return false;
}

} // namespace KeyLink
