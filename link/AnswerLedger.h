#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// Which request a received frame answers. A device answers each request with one reply, in the
// order of the requests, but may answer later than the program waited: a request whose try timed out
// can still get its reply after the next try, or the next exchange, has gone out. So a frame belongs
// to the oldest request still owed a reply that it can answer; it is an exchange's own only when that
// request is one of the exchange's own tries. A device may also send one reply twice; where a reply
// does not name what it answers (a descriptor's text), a frame equal to the one the exchange before
// took, arriving soon after it, is taken for that reply again, once. Everything that is not an
// exchange's own answer is stale and is dropped whole.
namespace Link {

class AnswerLedger {
  public:
    // Whether a frame (r[0] = its length byte, as stored, `stored` bytes) can answer a request.
    using Answers = std::function<bool(const uint8_t* r, int stored)>;
    enum class Whose {
        Own,     // the answer to one of the exchange's own tries
        Stale,   // the answer to an earlier exchange, or a reply sent twice
        Unasked, // no request owes it: while no exchange waits, a frame the device sent by itself
    };

    // owedMs: how long after its request a reply can still come; repeatMs: how soon after its first
    // copy a reply can come again.
    AnswerLedger(unsigned owedMs, unsigned repeatMs) : owedMs_(owedMs), repeatMs_(repeatMs) {}

    // Starts an exchange: its tries are told apart from all earlier ones. The exchange before, if it
    // got no answer of its own at all, is owed nothing more: its device was silent, not late.
    void beginExchange();
    uint64_t exchange() const { return exchange_; }
    // A try of the current exchange went out at tick `now`. anonymous: its reply does not tell
    // which of several such requests it answers.
    void asked(Answers answers, uint32_t now, bool anonymous = false);
    // Judges a frame that came whole at tick `now`; checked tells whether its checksum was right.
    // An own checked frame is remembered as the reply taken.
    Whose judge(const uint8_t* r, int stored, bool checked, uint32_t now);
    // A try of the current exchange ended without any frame after the exchange dropped one that it
    // could have taken: that frame was the try's answer after all (the earlier request it was laid
    // to was lost), so the try is owed nothing more and the next exchange is not made to wait for it.
    void tryEnded(bool frameCame);
    // Whether some request, of any exchange, may still be answered at tick now.
    bool owes(uint32_t now) {
        expire(now);
        return !owed_.empty();
    }
    // A new line: nothing sent before is owed by it.
    void reset();

  private:
    struct Owed {
        uint64_t exchange;
        uint32_t sentTick;
        Answers answers;
        bool anonymous;
    };
    void expire(uint32_t now);

    unsigned owedMs_;
    unsigned repeatMs_;
    uint64_t exchange_ = 0;
    std::deque<Owed> owed_;
    std::vector<uint8_t> taken_; // the last reply an exchange took
    uint32_t takenTick_ = 0;
    uint64_t takenExchange_ = 0;
    bool repeatSeen_ = true;
    bool droppedOwn_ = false;
    bool tookOwn_ = false; // the current exchange got an answer of its own // a frame the current try could have taken was laid to an earlier one
};

} // namespace Link
