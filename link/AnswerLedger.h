#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// Which frame is an exchange's own answer. A device answers each request once, in order, but may
// answer later than the program waited, or send one reply twice: a frame that comes while an
// exchange waits may belong to an earlier request.
//  - A frame is the exchange's own only when it can answer the exchange's request (its echo, and the
//    data its command gives); everything else is dropped whole and the wait goes on.
//  - Replies are owed in order, one for each try. A frame belongs to the oldest try still owed one
//    that it can be: for a try of an earlier exchange that took its answer, only the same reply
//    again (the same request gets the same reply); so a request that was never answered costs the
//    exchanges after it at most the replies equal to its own. A try of an earlier exchange that
//    asked the same as this one is as good as this one's own.
//  - Every reply may come once more, soon after: a frame equal to a reply read within the copy time
//    is that copy, unless the exchange asks for the same thing as the reply's request did (the same
//    reply is right either way). While listening, where frames wait to be read, at any time.
namespace Link {

// What a request asks for, as a subject for beginExchange: equal requests give equal subjects.
uint32_t subjectOf(const uint8_t* bytes, int count);

class AnswerLedger {
  public:
    // Whether a frame (r[0] = its length byte, as stored, `stored` bytes) can answer a request.
    using Answers = std::function<bool(const uint8_t* r, int stored)>;
    enum class Whose {
        Own,     // the answer to one of the exchange's own tries
        Stale,   // a reply to an earlier request, or a copy: dropped
        Unasked, // nothing asked for it: in an exchange, dropped; while listening, the device's own word
    };

    // owedMs: how long after its request a reply to an earlier exchange can still come; copyMs: how
    // soon after a reply its copy can come. Without unansweredInExchanges, the tries of an earlier exchange that got no
    // answer at all are left to listening: an exchange takes a frame of the device whose replies
    // all look alike for its own rather than for theirs, and a device that does not answer one
    // request still answers the next.
    AnswerLedger(unsigned owedMs, unsigned copyMs, bool unansweredInExchanges = true)
        : owedMs_(owedMs), copyMs_(copyMs), unansweredInExchanges_(unansweredInExchanges) {}

    // Whether a copy of a reply must not be taken by an exchange that asks for something else:
    // replies whose copy, taken, would say something wrong. (Not a bare status that many requests
    // get alike and that does no harm taken twice.)
    using Guarded = bool (*)(const uint8_t* r);
    // Starts an exchange: its tries are told apart from all earlier ones. subject: what its request
    // asks for.
    void beginExchange(uint32_t subject, Guarded guarded);
    // A try of the current exchange went out at tick `now`.
    void asked(Answers answers, uint32_t now);
    // Judges a frame that came whole at tick `now`, while the current exchange waits for its answer
    // or, with listening, while none does; checked tells whether its checksum was right. While
    // listening, a frame that no try owes and that is no copy is Unasked: the device's own word.
    Whose judge(const uint8_t* r, int stored, bool checked, uint32_t now, bool listening = false);
    // Whether a try of the current exchange still owes a reply at tick now.
    bool owes(uint32_t now);
    // A new line: nothing sent before is owed by it.
    void reset();

  private:
    struct Owed {
        uint64_t exchange;
        uint32_t subject;
        uint32_t sentTick;
        Answers answers;
    };
    struct Reply {
        std::vector<uint8_t> bytes;
        uint64_t exchange; // the exchange of the request it answered
        uint32_t subject;
        uint32_t tick;    // when it was read
        bool copySeen;    // its copy came
    };
    void expire(uint32_t now);
    const Reply* takenBy(uint64_t exchange) const;
    void remember(const uint8_t* r, int stored, uint64_t exchange, uint32_t subject, uint32_t now);

    unsigned owedMs_;
    unsigned copyMs_;
    bool unansweredInExchanges_;
    uint64_t exchange_ = 0;
    uint32_t subject_ = 0;
    Guarded guarded_ = nullptr;
    std::deque<Owed> owed_;
    std::deque<Reply> replies_; // the last replies that came, checked
};

} // namespace Link
