#pragma once
// Traffic around known codes for the exchange journal, and the check that none of their bytes was
// kept. Shared by the journal's property test and its fuzz target: a source of choices (random
// numbers, or the fuzzer's bytes) picks the steps. The codes are made of marker bytes that nothing
// else on this line ever carries (and of 0xFA, the reply's start byte, so that frames are found
// inside them); every other byte is drawn from outside the markers, and every frame the traffic
// builds has a checksum below them. Any marker byte the journal keeps is a code byte.
#include "journal/Recorder.h"
#include "journal/RowText.h"
#include "journal/Writers.h"
#include "link/LineTap.h"
#include "link/Link.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace codetraffic {

using Bytes = std::vector<uint8_t>;

constexpr std::array<uint8_t, 8> kMarkers{0xC3, 0x9C, 0xB5, 0xE7, 0xD1, 0xA6, 0x8B, 0xF3};
inline const Bytes kAccessCode{0xC3, 0xFA, 0x9C, 0xB5};
inline const Bytes kUserCode{0xFA, 0xE7};
inline const Bytes kPartitionCode{0xD1, 0xFA};
inline const Bytes kCodePage{0xFA, 0xA6, 0x8B, 0xF3, 0xC3, 0xFA, 0x9C, 0xB5,
                             0xE7, 0xFA, 0xD1, 0x8B, 0xA6, 0xC3, 0xFA, 0xF3};

inline bool isMarker(uint8_t b) {
    return std::find(kMarkers.begin(), kMarkers.end(), b) != kMarkers.end();
}

// A frame of the control unit's line: a request's N leaves its two checksum bytes out, a reply's
// length byte counts the whole frame; the 16-bit sum runs from the length byte on.
inline Bytes framed(uint8_t start, const Bytes& body) {
    const size_t counted = body.size() + (start == 0xAF ? 2 : 4);
    Bytes f{start, static_cast<uint8_t>(counted)};
    f.insert(f.end(), body.begin(), body.end());
    uint16_t sum = 0;
    for (size_t i = 1; i < f.size(); ++i)
        sum = static_cast<uint16_t>(sum + f[i]);
    f.push_back(static_cast<uint8_t>(sum));
    f.push_back(static_cast<uint8_t>(sum >> 8));
    return f;
}

// A reply in the key device's framing: its length byte counts the bytes after the start byte, and
// one check byte, the low byte of the sum from the length byte on, ends it.
inline Bytes keyFramed(const Bytes& body) {
    Bytes f{0xFA, static_cast<uint8_t>(body.size() + 2)};
    f.insert(f.end(), body.begin(), body.end());
    uint8_t sum = 0;
    for (size_t i = 1; i < f.size(); ++i)
        sum = static_cast<uint8_t>(sum + f[i]);
    f.push_back(sum);
    return f;
}

// The serial line the traffic runs on: the driver's receive queue, filled as bytes arrive and
// emptied by reads and purges. The program's own link writes the requests on it, so that what the
// link leaves unread, and what it throws away before a request, is what the journal gets.
class QueuedLine : public SerialLine {
  public:
    explicit QueuedLine(std::deque<uint8_t>& queue) : queue_(queue) {}
    int read(uint8_t* into, int max) override {
        int n = 0;
        for (; n < max && !queue_.empty(); ++n) {
            into[n] = queue_.front();
            queue_.pop_front();
        }
        return n;
    }
    bool write(const uint8_t*, int) override { return true; }
    void purgeInput() override { queue_.clear(); }
    void purgeOutput() override {}

  private:
    std::deque<uint8_t>& queue_;
};

// Hands the line's traffic to the journal at the traffic's own times.
class TimedTap : public LineTap {
  public:
    TimedTap(Journal::Recorder& journal, int64_t& us) : journal_(journal), us_(us) {}
    void sent(const uint8_t* b, int n) override { journal_.sentAt(us_ += 1000, b, n); }
    void received(const uint8_t* b, int n) override { journal_.receivedAt(us_ += 100, b, n); }
    void purged(const uint8_t* b, int n) override { journal_.purgedAt(us_ += 1000, b, n); }
    void event(Event e, const QString& name) override { journal_.eventAt(us_ += 1000, e, name); }

  private:
    Journal::Recorder& journal_;
    int64_t& us_;
};

// The key device's answer to the access step, its signature: 38 bytes in its own framing.
inline Bytes signature() {
    Bytes body(36, 0);
    body[0] = 5;
    return keyFramed(body);
}

// Plays steps chosen by `choose(n)` (a number below n) on a line whose requests the program's own
// link writes and whose traffic the journal records: requests with and without codes, key requests,
// their replies whole, cut, in pieces or in the key device's framing, echoes, noise, purges, the rest
// of a cut reply in the next exchange, answers that come late (after the next request went out) or
// twice, bytes that arrive and stay unread past the next request, the port lost with bytes still to
// be handed out, time-outs.
class Player {
  public:
    Player(Journal::Recorder& journal, std::function<int(int)> choose)
        : journal_(journal), choose_(std::move(choose)), tap_(journal, us_) {
        Link::installTap(&tap_);
        Link::adoptPort(new QueuedLine(queue_));
    }
    ~Player() {
        Link::adoptPort(nullptr);
        Link::installTap(nullptr);
    }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void play(int steps) {
        for (int i = 0; i < steps; ++i)
            step();
        Link::adoptPort(nullptr); // the port closes
    }

  private:
    void send(const Bytes& frame) {
        pending_ = std::move(next_); // bytes still on the way arrive in the exchange after
        next_.clear();
        Link::SendFrame(QByteArray(reinterpret_cast<const char*>(frame.data()) + 2, static_cast<int>(frame.size()) - 4));
        arrive(late_); // a late answer to the request before comes after this one went out
        late_.clear();
        last_ = frame;
    }
    void arrive(const Bytes& bytes) { queue_.insert(queue_.end(), bytes.begin(), bytes.end()); }
    void readWhatArrived() {
        std::array<uint8_t, 64> into{};
        while (SerialLine* line = Link::port())
            if (line->read(into.data(), static_cast<int>(into.size())) <= 0) break;
    }
    void receive(const Bytes& bytes) {
        // Arriving in pieces of any size, each read as it comes.
        for (size_t at = 0; at < bytes.size();) {
            const size_t n = std::min(bytes.size() - at, static_cast<size_t>(1 + choose_(8)));
            arrive(Bytes(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + n)));
            readWhatArrived();
            at += n;
        }
    }
    Bytes noise() {
        Bytes b(static_cast<size_t>(choose_(6)));
        for (uint8_t& x : b) {
            x = static_cast<uint8_t>(choose_(4) == 0 ? 0xFA : choose_(256));
            if (isMarker(x)) x = 0x00;
        }
        return b;
    }
    bool lastIsKeyRequest() const { return last_.size() == 9 && last_[1] == 7 && (last_[2] == 2 || last_[2] == 3); }
    // The reply the latest request asks for, as the device would send it: the control unit keeps
    // its answer to the last relayed command for every fetch, also in a later operation.
    Bytes answer() const {
        if (last_.size() < 3 || last_[0] != 0xAF) return {};
        if (lastIsKeyRequest()) return keyFramed({5, last_[2], 0, 0});
        switch (last_[2]) {
        case 0:
            return signature_ ? signature() : framed(0xFA, {8, 0});
        case 1:
            return framed(0xFA, {1, 1});
        case 2:
            if (relayed_ == 0x5D) {
                Bytes page{1, 0x5D};
                page.insert(page.end(), kCodePage.begin(), kCodePage.end());
                return page;
            }
            if (relayed_ == 0x5C) return {1, 0x5C, kUserCode[0], kUserCode[1]}; // echoes the code
            if (relayed_ == 0x59) return {1, 0x59, 2, 0x03};
            return {1, relayed_, 0, 0, 0};
        default:
            return framed(0xFA, {1, last_[2], 0, 0});
        }
    }
    // The answer framed as the control unit frames it, or now and then as the key device does.
    Bytes framedAnswer() {
        Bytes a = answer();
        if (a.empty() || a[0] == 0xFA) return a;
        return choose_(5) == 0 ? keyFramed(a) : framed(0xFA, a);
    }
    void relay(uint8_t command, const Bytes& args) {
        Bytes body{1, 5 << 1 | 1, command};
        body.insert(body.end(), args.begin(), args.end());
        relayed_ = command;
        send(framed(0xAF, body));
    }

    void step() {
        switch (choose_(18)) {
        case 0:
            signature_ = choose_(4) == 0;
            send(framed(0xAF, {0, kAccessCode[0], kAccessCode[1], kAccessCode[2], kAccessCode[3]}));
            break;
        case 1:
            relay(0x5C, {3, 0x0F, kUserCode[0], kUserCode[1], 3, 0, 0});
            break;
        case 2:
            relay(0x59, {2, 0x03, kPartitionCode[0], kPartitionCode[1], 1, 0, 0});
            break;
        case 3:
            relay(0x5D, {static_cast<uint8_t>(1 + choose_(4))});
            break;
        case 4:
        case 5:
            send(framed(0xAF, {2}));
            break;
        case 6:
            choose_(2) ? relay(0x55, {}) : send(framed(0xAF, {6, 0, 0}));
            break;
        case 7: { // the answer, whole or cut with its rest still on the way
            const Bytes a = framedAnswer();
            const size_t cut = choose_(3) == 0 ? static_cast<size_t>(choose_(static_cast<int>(a.size()) + 1)) : a.size();
            receive(Bytes(a.begin(), a.begin() + static_cast<long>(cut)));
            next_.assign(a.begin() + static_cast<long>(cut), a.end());
            break;
        }
        case 8: // a line that echoes what the computer sends
            receive(last_);
            break;
        case 9:
            receive(noise());
            break;
        case 10: // the rest of the previous exchange's reply arrives late
            receive(pending_);
            pending_.clear();
            break;
        case 11: // a purge finds what was waiting
            arrive(choose_(2) ? next_ : noise());
            next_.clear();
            if (SerialLine* line = Link::port()) line->purgeInput();
            break;
        case 12: // the port is lost; what had arrived is handed out after
            journal_.eventAt(us_ += 1000, Journal::Recorder::Event::Lost, QStringLiteral("COM1"));
            receive(next_);
            next_.clear();
            journal_.eventAt(us_ += 1000, Journal::Recorder::Event::Opened, QStringLiteral("COM1"));
            break;
        case 13: { // the answer comes twice: the first is read, the copy stays in the queue
            const Bytes a = framedAnswer();
            receive(a);
            arrive(a);
            break;
        }
        case 14: // the answer comes only after the next request went out
            late_ = framedAnswer();
            break;
        case 15: // bytes arrive and nobody reads them before the next request
            arrive(choose_(2) ? noise() : framedAnswer());
            break;
        case 16: // a request of the key window
            send(framed(0xAF, {static_cast<uint8_t>(2 + choose_(2)), static_cast<uint8_t>(choose_(4)), 0, 0, 0}));
            break;
        default:
            journal_.settle(us_ += 2'000'000);
            break;
        }
    }

    Journal::Recorder& journal_;
    std::function<int(int)> choose_;
    int64_t us_ = 0;
    TimedTap tap_;
    std::deque<uint8_t> queue_; // what arrived and was not read yet
    Bytes last_;
    Bytes next_;    // the rest of a reply cut short, still on the way
    Bytes pending_; // such a rest from the exchange before
    Bytes late_;    // an answer that comes after the next request
    uint8_t relayed_ = 0;
    bool signature_ = false;
};

inline bool hexHoldsMarker(const QString& text) {
    for (uint8_t m : kMarkers)
        if (text.contains(QStringLiteral("%1").arg(m, 2, 16, QLatin1Char('0')).toUpper())) return true;
    return false;
}

// Where a code byte stayed: in a row's bytes (also where it is masked), the text file (and so the
// cells and the copied text), the capture or the recorder's own buffers. Empty when nowhere.
inline QString leak(const Journal::Recorder& journal) {
    for (uint64_t seq = journal.firstSeq(); seq < journal.endSeq(); ++seq) {
        const Journal::Row& row = journal.row(seq);
        if (std::any_of(row.bytes.begin(), row.bytes.end(), isMarker))
            return QStringLiteral("row %1: %2").arg(seq).arg(Journal::rowLine(journal, row, false));
    }
    // The text file's lines are the copied rows' and the cells', but for the time.
    const QString text = QString::fromUtf8(Journal::journalText(journal));
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (hexHoldsMarker(line.section(QLatin1Char('\t'), Journal::BytesColumn, Journal::BytesColumn)))
            return QStringLiteral("text file: ") + line;
    const QByteArray capture = Journal::journalCapture(journal);
    for (qsizetype at = 24; at + 16 <= capture.size();) { // each record: 16-byte header, RTAC header, frame
        const auto length = static_cast<qsizetype>(static_cast<uint8_t>(capture[at + 8]) |
                                                    static_cast<uint8_t>(capture[at + 9]) << 8);
        for (qsizetype i = at + 16 + Journal::kRtacHeaderBytes; i < at + 16 + length && i < capture.size(); ++i)
            if (isMarker(static_cast<uint8_t>(capture[i]))) return QStringLiteral("capture at byte %1").arg(i);
        at += 16 + length;
    }
    const auto [scratch, size] = journal.scratch();
    if (std::any_of(scratch, scratch + size, isMarker)) return QStringLiteral("the recorder's buffers");
    return {};
}

} // namespace codetraffic
