#include "link/AnswerLedger.h"

#include "base/Wipe.h"

#include <algorithm>

namespace Link {

void AnswerLedger::beginExchange() {
    if (!tookOwn_)
        owed_.erase(std::remove_if(owed_.begin(), owed_.end(), [&](const Owed& o) { return o.exchange == exchange_; }),
                    owed_.end());
    tookOwn_ = false;
    droppedOwn_ = false;
    ++exchange_;
}

void AnswerLedger::asked(Answers answers, uint32_t now, bool anonymous) {
    droppedOwn_ = false;
    expire(now);
    owed_.push_back({exchange_, now, std::move(answers), anonymous});
}

void AnswerLedger::expire(uint32_t now) {
    while (!owed_.empty() && now - owed_.front().sentTick > owedMs_)
        owed_.pop_front();
}

AnswerLedger::Whose AnswerLedger::judge(const uint8_t* r, int stored, bool checked, uint32_t now) {
    expire(now);
    const auto it =
        std::find_if(owed_.begin(), owed_.end(), [&](const Owed& o) { return o.answers(r, stored); });
    if (it == owed_.end()) {
        // In order, it is the reply to the oldest request still owed one, only not an answer it can
        // take (another command's answer that the device kept): if no other frame comes, that try
        // has had its reply.
        droppedOwn_ = droppedOwn_ || std::any_of(owed_.begin(), owed_.end(), [&](const Owed& o) { return o.exchange == exchange_; });
        return Whose::Unasked;
    }
    // The reply taken before, again and soon after, for a request whose reply does not say what it
    // answers: once, since a second equal one is more likely this request's own.
    if (it->anonymous && it->exchange != takenExchange_ && checked && !repeatSeen_ &&
        now - takenTick_ <= repeatMs_ && taken_.size() == size_t(stored) &&
        std::equal(taken_.begin(), taken_.end(), r)) {
        repeatSeen_ = true;
        return Whose::Stale;
    }
    const bool own = it->exchange == exchange_;
    if (!own && std::any_of(it + 1, owed_.end(), [&](const Owed& o) {
            return o.exchange == exchange_ && o.answers(r, stored);
        }))
        droppedOwn_ = true;
    // Requests before it will not be answered any more: the device answers in order.
    owed_.erase(owed_.begin(), it + 1);
    if (!own) return Whose::Stale;
    tookOwn_ = true;
    if (checked) {
        wipe(taken_.data(), taken_.size());
        taken_.assign(r, r + stored);
        takenTick_ = now;
        takenExchange_ = exchange_;
        repeatSeen_ = false;
    }
    return Whose::Own;
}

void AnswerLedger::tryEnded(bool frameCame) {
    // The requests before this try's were lost, not late; this try's own answer was the frame
    // dropped.
    if (droppedOwn_ && !frameCame) {
        const auto it = std::find_if(owed_.begin(), owed_.end(), [&](const Owed& o) { return o.exchange == exchange_; });
        owed_.erase(owed_.begin(), it == owed_.end() ? it : it + 1);
    }
    droppedOwn_ = false;
}

void AnswerLedger::reset() {
    droppedOwn_ = false;
    owed_.clear();
    wipe(taken_.data(), taken_.size());
    taken_.clear();
    repeatSeen_ = true;
}

} // namespace Link
