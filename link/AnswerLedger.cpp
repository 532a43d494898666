#include "link/AnswerLedger.h"

#include "base/Wipe.h"

#include <algorithm>

namespace Link {
namespace {

constexpr size_t kRepliesKept = 8;

bool same(const std::vector<uint8_t>& bytes, const uint8_t* r, int stored) {
    return bytes.size() == size_t(stored) && std::equal(bytes.begin(), bytes.end(), r);
}

} // namespace

uint32_t subjectOf(const uint8_t* bytes, int count) {
    uint32_t hash = 2166136261u; // FNV-1a
    for (int i = 0; i < count; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash | 1u;
}

void AnswerLedger::beginExchange(uint32_t subject, Guarded guarded) {
    ++exchange_;
    subject_ = subject;
    guarded_ = guarded;
}

void AnswerLedger::asked(Answers answers, uint32_t now) {
    expire(now);
    owed_.push_back({exchange_, subject_, now, std::move(answers)});
}

// The current exchange's tries stay owed while it waits, however long it waits.
void AnswerLedger::expire(uint32_t now) {
    owed_.erase(std::remove_if(owed_.begin(), owed_.end(),
                               [&](const Owed& o) { return o.exchange != exchange_ && now - o.sentTick > owedMs_; }),
                owed_.end());
}

bool AnswerLedger::owes(uint32_t now) {
    expire(now);
    return std::any_of(owed_.begin(), owed_.end(), [&](const Owed& o) { return o.exchange == exchange_; });
}

const AnswerLedger::Reply* AnswerLedger::takenBy(uint64_t exchange) const {
    for (auto it = replies_.rbegin(); it != replies_.rend(); ++it)
        if (it->exchange == exchange) return &*it;
    return nullptr;
}

void AnswerLedger::remember(const uint8_t* r, int stored, uint64_t exchange, uint32_t subject, uint32_t now) {
    if (replies_.size() == kRepliesKept) {
        wipe(replies_.front().bytes.data(), replies_.front().bytes.size());
        replies_.pop_front();
    }
    replies_.push_back({std::vector<uint8_t>(r, r + stored), exchange, subject, now, false});
}

AnswerLedger::Whose AnswerLedger::judge(const uint8_t* r, int stored, bool checked, uint32_t now, bool listening) {
    expire(now);
    // A copy of a reply that came a moment ago, unless this exchange asks for what that one did.
    if (checked && (listening || (guarded_ && guarded_(r)))) {
        for (Reply& reply : replies_) {
            if (reply.copySeen || !same(reply.bytes, r, stored)) continue;
            if (!listening && (now - reply.tick > copyMs_ || reply.exchange == exchange_ || reply.subject == subject_))
                continue;
            reply.copySeen = true;
            return Whose::Stale;
        }
    }
    // The oldest try still owed a reply that this frame can be.
    const auto mine = [&](const Owed& o) { return !listening && (o.exchange == exchange_ || o.subject == subject_); };
    const auto it = std::find_if(owed_.begin(), owed_.end(), [&](const Owed& o) {
        if (mine(o)) return o.answers(r, stored);
        if (const Reply* took = takenBy(o.exchange)) return same(took->bytes, r, stored);
        return (listening || unansweredInExchanges_) && o.answers(r, stored);
    });
    if (it == owed_.end()) return Whose::Unasked;
    const bool own = mine(*it);
    const uint64_t exchange = it->exchange;
    // Tries before it will not be answered any more: the device answers in order.
    owed_.erase(owed_.begin(), it + 1);
    if (checked) remember(r, stored, exchange, own ? subject_ : 0, now);
    return own ? Whose::Own : Whose::Stale;
}

void AnswerLedger::reset() {
    owed_.clear();
    for (Reply& reply : replies_)
        wipe(reply.bytes.data(), reply.bytes.size());
    replies_.clear();
}

} // namespace Link
