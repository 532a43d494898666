#pragma once
#include <array>
#include <cstdint>

// One row of the exchange journal as it is kept: the raw bytes and what recording found out about
// them. Texts are made from it only when the row is shown or saved.
namespace Journal {

enum class Kind : uint8_t {
    Request,   // a frame the program sent
    Reply,     // a frame received, whole or as far as it came before the next step of the program
    Discarded, // bytes thrown away: noise before a start byte, or what a purge found waiting
    NoAnswer,  // an exchange that ended without a reply; its bytes are those of a frame cut short
    Opened,
    Closed,
    Lost,
};

enum class Device : uint8_t { None, ControlUnit, Expander, KeyDevice };
// Which window's exchange a row belongs to: each window speaks only to its own device.
enum class Window : uint8_t { None, Main, Keys };

enum class Verdict : uint8_t {
    Ok,
    Event,       // a port event: nothing to judge
    Unchecked,   // a frame that carries no reply of its own (a write frame), or a key report
    BadChecksum, // a whole frame whose checksum (or check byte) does not match
    BadLength,   // a length byte no frame can have
    Incomplete,  // a frame cut short outside an exchange
    Refused,     // a whole, correct reply with a status the exchange does not accept
    NoAnswer,
    Discarded,
    NotAFrame, // bytes sent that form no request frame
    LineLost,  // the port went away under the program
    Stale,     // a whole frame the program dropped: it answers an earlier request, or is a copy
};

constexpr int kMaxRowBytes = 258; // the longest frame of either device, start byte included

struct Row {
    int64_t timeUs = 0;        // on the monotonic clock, from the start of recording
    int64_t deltaUs = 0;       // from the request (replies and time-outs) or from the row before
    uint64_t requestSeq = 0;   // the request a reply or time-out answers, 0 for none
    uint32_t received = 0;     // time-outs: bytes received in the exchange; discards: bytes beyond those kept
    uint16_t count = 0;        // bytes kept
    uint16_t maskFrom[2] = {}; // two ranges of masked byte offsets, [from, to)
    uint16_t maskTo[2] = {};
    Kind kind = Kind::Request;
    Device device = Device::None;
    Window window = Window::None;
    Verdict verdict = Verdict::Ok;
    uint8_t expander = 0; // the expander's address for Device::Expander
    uint8_t asked = 0;    // replies: the request's command (the key device: 0x80 | command)
    uint8_t askedSub = 0; // replies: the relayed expander command, or the key command's parameter 1
    uint8_t askedBlock = 0;
    bool purge = false; // discards: found waiting by a purge, not skipped before a start byte
    std::array<uint8_t, kMaxRowBytes> bytes{};

    bool masked(int offset) const {
        for (int r = 0; r < 2; ++r)
            if (offset >= maskFrom[r] && offset < maskTo[r]) return true;
        return false;
    }
    bool anyMasked() const { return maskTo[0] > maskFrom[0] || maskTo[1] > maskFrom[1]; }
    // What a purge finds is not a fault in itself: the rest of a frame the program did not need (the
    // key device's check byte after its signature), or a late reply whose time-out stands out already.
    bool fault() const {
        return verdict != Verdict::Ok && verdict != Verdict::Event && verdict != Verdict::Unchecked && !purge;
    }
};

} // namespace Journal
