#include "journal/Recorder.h"

#include "base/Wipe.h"

#include <algorithm>

namespace Journal {
namespace {

constexpr uint8_t kRequestStart = 0xAF;
constexpr uint8_t kReplyStart = 0xFA;
constexpr int kMinControlReply = 4; // start byte, length byte, two checksum bytes
constexpr int kMinKeyReply = 2;     // length byte and check byte after the start byte
constexpr int kDatalessReply = 6;   // start byte, length, status, echo and the two checksum bytes
constexpr int kIdentityBytes = 4;
constexpr int kTableReply = 38; // a block of a table: 32 data bytes   // start byte, length, status and echo: what identifies a reply
constexpr uint8_t kSignatureLength = 38; // the key device's answer to the access step
constexpr uint8_t kSignatureStatus = 5;
// How long the program waits, as the journal reckons the end of an exchange that nothing followed:
// the start byte's 200 ms (after the fetch frame's 50 ms pause), the rest's 300 ms, and the key
// device's 1000 ms for its length byte.
constexpr int64_t kStartWaitUs = 200'000;
constexpr int64_t kFetchPauseUs = 50'000;
constexpr int64_t kRestWaitUs = 300'000;
constexpr int64_t kKeyLengthWaitUs = 1'000'000;
// An exchange is settled only when the program has surely given up on it.
constexpr int64_t kSettleAfterUs = 1'200'000;

uint16_t sum16(const uint8_t* bytes, int count) {
    uint16_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum = static_cast<uint16_t>(sum + bytes[i]);
    return sum;
}

bool isKeyRequest(const uint8_t* frame, int count) {
    return count == 9 && frame[1] == 7 && (frame[2] == 2 || frame[2] == 3);
}

// The expander commands that carry codes: a partition's or a user's write, and the users' read.
bool isCodeCommand(uint8_t command) {
    return command == 0x59 || command == 0x5C || command == 0x5D;
}

// The control unit's answer to a code command, wherever it lands: the key device never answers with
// status 1 and such an echo, so a frame of its framing that does came late from the control unit.
bool codeAnswer(const uint8_t* f) {
    return f[2] == 1 && isCodeCommand(f[3]);
}

void keep(Row& row, const uint8_t* bytes, int count) {
    row.count = static_cast<uint16_t>(std::min(count, kMaxRowBytes));
    std::copy(bytes, bytes + row.count, row.bytes.begin());
}

void mask(Row& row, int range, int from, int to) {
    to = std::min<int>(to, row.count);
    if (from >= to) return;
    row.maskFrom[range] = static_cast<uint16_t>(from);
    row.maskTo[range] = static_cast<uint16_t>(to);
    std::fill(row.bytes.begin() + from, row.bytes.begin() + to, 0);
}

} // namespace

QString Diagnosis::text() const {
    switch (kind) {
    case None:
        return {};
    case NoBytes:
        return QStringLiteral("Прибор не ответил: не пришло ни одного байта. Проверьте кабель, питание "
                              "прибора и выбранный порт.");
    case NoFrames:
        return QStringLiteral("Приходят байты, но не кадры протокола: проверьте скорость адаптера "
                              "(57600 бод) и помехи на линии.");
    case Refused:
        return QStringLiteral("Прибор отвечает, но отклоняет запрос: статус %1.").arg(status);
    }
    return {};
}

Recorder::Recorder() : Recorder(QDateTime::currentMSecsSinceEpoch() * 1000) {}

Recorder::Recorder(int64_t wallStartUs) : start_(std::chrono::steady_clock::now()), wallStartUs_(wallStartUs) {}

Recorder::~Recorder() {
    wipe(scratch_.data(), scratch_.size());
}

int64_t Recorder::nowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_)
        .count();
}

Row& Recorder::append(int64_t us, Kind kind) {
    if (ring_.size() < kCapacity) {
        if (ring_.capacity() == 0) ring_.reserve(kCapacity);
        ring_.emplace_back();
    }
    Row& row = ring_[(end_ - 1) % kCapacity];
    row = Row{};
    ++end_;
    if (end_ - first_ > kCapacity) ++first_;
    row.timeUs = us;
    row.deltaUs = us - lastRowUs_;
    lastRowUs_ = us;
    row.kind = kind;
    return row;
}

void Recorder::clear() {
    first_ = end_;
    diagnosis_ = {};
}

void Recorder::fail(Diagnosis::Kind kind, int status) {
    diagnosis_.kind = kind;
    diagnosis_.status = status;
}

bool Recorder::accepted(uint8_t status) const {
    if (ex_.keyDevice) return status == 5;
    switch (ex_.command) {
    case 0: // the access step goes on after 0 (local line), 8 (granted) and 9 (busy, asked again)
        return status == 0 || status == 8 || status == 9;
    case 2: // the fetch wants the expander's answer
        return status == 1;
    case 3:
        return status == 1;
    default:
        return status == 0 || status == 1 || status == 7 || status == 8 || status == 9;
    }
}

void Recorder::fillFromExchange(Row& row, int64_t us) const {
    row.device = ex_.device;
    row.window = ex_.window;
    row.expander = ex_.expander;
    if (!ex_.open) return;
    row.requestSeq = ex_.requestSeq;
    row.asked = static_cast<uint8_t>(ex_.command | (ex_.keyDevice ? 0x80 : 0));
    row.askedSub = ex_.sub;
    row.askedBlock = ex_.block;
    if (!ex_.replied) row.deltaUs = us - ex_.sentUs;
}

void Recorder::sentAt(int64_t us, const uint8_t* bytes, int count) {
    closeExchange(us);
    int at = 0;
    while (at < count) {
        const int left = count - at;
        const int length = left >= 2 && bytes[at] == kRequestStart ? bytes[at + 1] + 2 : 0;
        if (length < 5 || length > left) {
            Row& row = append(us, Kind::Request);
            keep(row, bytes + at, left);
            row.verdict = Verdict::NotAFrame;
            row.device = ex_.device;
            row.window = ex_.window;
            hideCodes(row, Origin::Stray);
            return;
        }
        addRequest(us, bytes + at, length);
        at += length;
    }
}

void Recorder::addRequest(int64_t us, const uint8_t* f, int count) {
    const uint8_t n = f[1];
    const uint8_t command = f[2];
    Exchange ex;
    ex.open = true;
    ex.sentUs = us;
    ex.command = command;
    ex.keyDevice = isKeyRequest(f, count);
    ex.window = ex.keyDevice ? Window::Keys : Window::Main;
    ex.device = ex.keyDevice ? Device::KeyDevice : Device::ControlUnit;
    ex.expectsReply = ex.keyDevice || n == 3 || n == 5 || n == 7;
    // Every operation of either window begins with its own first request (the access step, or a key
    // request): a fetch after it serves nothing relayed before.
    if (command == 0 || ex.keyDevice) relay_ = {};
    if (ex.keyDevice) {
        ex.sub = f[3];
    } else if (command == 1 && n >= 5) {
        relay_ = {true, static_cast<uint8_t>(f[3] >> 1), f[4], static_cast<uint8_t>(n == 7 ? f[5] : 0)};
        unitKeepsCode_ = isCodeCommand(relay_.command);
        ex.device = Device::Expander;
        ex.expander = relay_.expander;
        ex.sub = relay_.command;
        ex.block = relay_.block;
    } else if (command == 2 && n == 3 && relay_.known) {
        // A fetch serves the relay request before it: the same expander's answer.
        ex.device = Device::Expander;
        ex.expander = relay_.expander;
        ex.sub = relay_.command;
        ex.block = relay_.block;
    }

    Row& row = append(us, Kind::Request);
    keep(row, f, count);
    ex.requestSeq = end_ - 1;
    ex_ = ex;
    const int64_t delta = row.deltaUs; // a request's is from the row before
    fillFromExchange(row, us);
    row.deltaUs = delta;
    row.requestSeq = 0;
    row.asked = command;
    row.verdict = ex.expectsReply ? Verdict::Ok : Verdict::Unchecked;
    // Bytes of an exchange that may carry a code may still be on the way: the rest of a reply that
    // did not come whole, or a late or repeated answer, also after one that did. A fetch that serves
    // nothing relayed in this operation may get the answer the control unit keeps, a code among it.
    const bool keptCode = command == 2 && n == 3 && !relay_.known && unitKeepsCode_;
    tainted_ = codeMayFollow_ || keptCode;
    secret_ = carriesCode(f, count);
    codeMayFollow_ = secret_ || keptCode;
    hideCodes(row, Origin::Request);
    keyFraming_ = ex.keyDevice;
    dropFrame();
}

// The access step (the access and engineer codes), a partition's or a user's write, the users'
// read, and the fetches that serve the relayed ones.
bool Recorder::carriesCode(const uint8_t* f, int count) const {
    if (isKeyRequest(f, count)) return false;
    switch (f[2]) {
    case 0:
        return true;
    case 1:
        return f[1] >= 5 && isCodeCommand(f[4]);
    case 2:
        return relay_.known && isCodeCommand(relay_.command);
    default:
        return false;
    }
}

// The one rule that keeps codes out of the journal: a byte is shown only where the journal knows it
// carries no code. A request shows whole when it is of a kind that carries none; the access step's
// and a write's code bytes, and the checksum over them, are hidden. A reply shows whole only when it
// is its exchange's own answer, whole and checked, and of a kind that carries no code (the expander's
// parameters and partitions, a write's echo without a code, descriptor texts, table blocks, bare
// statuses, the key device's signature, tables and reports). Of any other whole, checked frame only
// what identifies it shows (start, length, status, echo); of everything else (noise, purged bytes, a
// frame cut short, bytes sent that are no frame, a frame that may have begun inside another) nothing.
// A kind of row nobody has judged is hidden.
void Recorder::hideCodes(Row& row, Origin origin) const {
    const uint8_t* f = row.bytes.data();
    switch (origin) {
    case Origin::Request: {
        if (row.verdict == Verdict::NotAFrame || row.count < 5 || f[1] + 2 != row.count) {
            mask(row, 0, 0, row.count);
            return;
        }
        if (isKeyRequest(f, row.count)) return;
        const uint8_t n = f[1];
        switch (f[2]) {
        case 0:
            mask(row, 0, 3, row.count); // the access and engineer codes, and the checksum over them
            return;
        case 1:
            if ((n == 5 || n == 7) && (f[4] == 0x55 || f[4] == 0x5A || f[4] == 0x5D)) return; // reads
            if (n == 23 && f[4] == 0x56) return; // the parameter block
            if (n == 12 && (f[4] == 0x59 || f[4] == 0x5C)) {
                mask(row, 0, 7, 9); // a partition's or a user's code
                mask(row, 1, 12, 14);
                return;
            }
            mask(row, 0, 5, row.count);
            return;
        case 2:
        case 3:
            return; // the fetch; a descriptor's text
        case 4:
        case 5:
        case 6:
            if (n == 5 || n == 7) return;
            break;
        default:
            break;
        }
        mask(row, 0, 3, row.count);
        return;
    }
    case Origin::Trusted:
        if (!carriesCode(row)) return;
        mask(row, 0, kIdentityBytes, row.count);
        return;
    case Origin::Framed:
        mask(row, 0, kIdentityBytes, row.count);
        return;
    case Origin::Stray:
        mask(row, 0, 0, row.count);
        return;
    }
}

// Whether the exchange's own answer may carry a code: an expander's answer to a code command, or
// what the journal cannot place.
bool Recorder::carriesCode(const Row& row) const {
    const uint8_t* f = row.bytes.data();
    if (frameKeyFramed_) return false; // the key device knows no code
    if (row.count == kDatalessReply) return false;
    // Only a reply of the shape its request gets: another may be a late answer that carries one.
    switch (ex_.command) {
    case 2:
        return f[2] != 1 || !(f[3] == 0x55 || f[3] == 0x5A || f[3] == 0x56);
    case 3:
    case 4:
        return f[3] != ex_.command;
    case 5:
    case 6:
        return row.count != kTableReply;
    default:
        return true;
    }
}

// The exchange's own answer, as far as the journal can tell: it began with the first byte its
// exchange received and came whole and checked (with the key device's framing: a key exchange's, not
// the control unit's answer to a code command, or the key device's signature to the access step).
bool Recorder::trustedReply(const Row& row, bool whole, bool sumOk) const {
    if (!whole || !sumOk || !frameFirst_) return false;
    const uint8_t* f = row.bytes.data();
    if (frameKeyFramed_)
        return (keyFraming_ && !codeAnswer(f)) ||
               (ex_.command == 0 && row.count == kSignatureLength + 1 && f[1] == kSignatureLength &&
                f[2] == kSignatureStatus);
    return true; // which of its bytes may show is for what it answers to decide (carriesCode)
}

void Recorder::dropFrame() {
    wipe(frame_, static_cast<size_t>(frameCount_));
    frameCount_ = 0;
    rx_ = Rx::Hunt;
    frameKeyFramed_ = false;
    frameFirst_ = false;
}

void Recorder::receivedAt(int64_t us, const uint8_t* bytes, int count) {
    int at = 0;
    // The rest of a frame a purge cut or the program gave up: thrown away with it, as the program
    // throws it away, as long as it keeps coming.
    if (purgedTail_.open() && us - tailLastUs_ > int64_t{Link::kTailGapMs} * 1000) purgedTail_.clear();
    if (purgedTail_.open()) {
        tailLastUs_ = us;
        const int from = at;
        while (at < count && purgedTail_.open())
            purgedTail_.passOver(bytes + at++, 1);
        appendPurged(us, bytes + from, at - from);
    }
    for (; at < count; ++at)
        receiveByte(us, bytes[at]);
}

void Recorder::receiveByte(int64_t us, uint8_t b) {
    if (ex_.open) {
        ++ex_.received;
        ex_.lastByteUs = us;
    }
    switch (rx_) {
    case Rx::Hunt:
        if (b == kReplyStart) {
            flushNoise(us);
            frame_[0] = b;
            frameCount_ = 1;
            frameFirst_ = ex_.open && !ex_.replied && ex_.received == 1;
            rx_ = Rx::Length;
        } else if (noiseCount_ < kMaxRowBytes) {
            noise_[noiseCount_++] = b;
        } else {
            ++noiseBeyond_;
        }
        break;
    case Rx::Length:
        frame_[frameCount_++] = b;
        // The key device answers the access step with its signature in its own framing, whose
        // length byte no answer of the control unit to that step has.
        frameKeyFramed_ = keyFraming_ || (ex_.open && !ex_.replied && !ex_.keyDevice && ex_.command == 0 &&
                                          b == kSignatureLength);
        expected_ = frameKeyFramed_ ? b + 1 : b;
        if (b < (frameKeyFramed_ ? kMinKeyReply : kMinControlReply))
            emitFrame(us, true);
        else
            rx_ = Rx::Body;
        break;
    case Rx::Body:
        frame_[frameCount_++] = b;
        if (frameCount_ >= expected_) emitFrame(us, true);
        break;
    }
}

void Recorder::emitFrame(int64_t us, bool whole) {
    const bool inExchange = ex_.open && !ex_.replied;
    Row& row = append(us, whole || !inExchange ? Kind::Reply : Kind::NoAnswer);
    keep(row, frame_, frameCount_);
    fillFromExchange(row, us);
    if (!inExchange) row.requestSeq = 0;
    const int count = row.count;
    const uint8_t* f = row.bytes.data();

    bool sumOk = false;
    if (!whole) {
        row.verdict = inExchange ? Verdict::NoAnswer : Verdict::Incomplete;
        row.received = ex_.received;
    } else if (count < (frameKeyFramed_ ? kMinKeyReply + 1 : kMinControlReply)) {
        row.verdict = Verdict::BadLength;
    } else {
        if (frameKeyFramed_) {
            sumOk = (sum16(f + 1, count - 2) & 0xFF) == f[count - 1];
        } else {
            const uint16_t sum = sum16(f + 1, count - 3);
            sumOk = f[count - 2] == (sum & 0xFF) && f[count - 1] == (sum >> 8);
        }
        const bool signature = frameKeyFramed_ && !keyFraming_;
        if (signature) row.device = Device::KeyDevice; // the key-programming device answers the access step
        if (!sumOk)
            row.verdict = Verdict::BadChecksum;
        else if (!inExchange)
            row.verdict = Verdict::Unchecked; // a key report, or a second frame to one request
        else
            row.verdict = signature || accepted(f[2]) ? Verdict::Ok : Verdict::Refused;
    }
    const bool trusted = trustedReply(row, whole, sumOk);
    // The key device answered the access step: no answer that carries a code can come late from a
    // device that knows none, so the exchange after this one is not hidden for it. (The rest of this
    // one still is: an echo of the request would carry the code.)
    if (trusted && frameKeyFramed_ && !keyFraming_) codeMayFollow_ = false;
    // A frame that may have begun inside code bytes is not judged by what would be a code.
    if ((secret_ || tainted_) && !trusted && (row.verdict == Verdict::Ok || row.verdict == Verdict::Refused))
        row.verdict = Verdict::Unchecked;
    // What shows of it: all of the exchange's own answer or of a key report (the key device knows no
    // code), only what identifies any other whole frame that adds up, nothing of the rest. A frame
    // read with the key device's framing adds up by chance too often to be told from code bytes.
    Origin origin = Origin::Stray;
    if (trusted)
        origin = Origin::Trusted;
    else if (sumOk && frameKeyFramed_ && keyFraming_ && !inExchange && !secret_ && !tainted_ && !codeAnswer(f))
        origin = Origin::Trusted;
    else if (sumOk && !frameKeyFramed_)
        origin = Origin::Framed;
    hideCodes(row, origin);
    lastFrameSeq_ = end_ - 1;
    lastFrameReplied_ = inExchange;
    diagnosisBefore_ = diagnosis_;

    switch (row.verdict) {
    case Verdict::BadChecksum:
    case Verdict::BadLength:
        if (inExchange) fail(Diagnosis::NoFrames);
        break;
    case Verdict::NoAnswer:
        fail(ex_.received == 0 ? Diagnosis::NoBytes : Diagnosis::NoFrames);
        break;
    case Verdict::Refused:
        fail(Diagnosis::Refused, f[2]);
        break;
    default:
        break;
    }
    if (inExchange) ex_.replied = true;
    dropFrame();
}

void Recorder::flushNoise(int64_t us) {
    if (noiseCount_ == 0) return;
    Row& row = append(us, Kind::Discarded);
    keep(row, noise_, noiseCount_);
    row.received = noiseBeyond_;
    row.device = ex_.device;
    row.window = ex_.window;
    row.expander = ex_.expander;
    row.verdict = Verdict::Discarded;
    // Noise that came instead of a reply belongs to the request, which "Только ошибки" then shows.
    if (ex_.open) row.requestSeq = ex_.requestSeq;
    hideCodes(row, Origin::Stray);
    wipe(noise_, static_cast<size_t>(noiseCount_));
    noiseCount_ = 0;
    noiseBeyond_ = 0;
}

// The frame still coming, given up by the program: its rest, when it comes, is thrown away with it.
void Recorder::followTail() {
    if (purgedTail_.open()) return;
    tailLastUs_ = std::max(ex_.lastByteUs, lastRowUs_);
    purgedTail_ = Link::FrameTail(frameKeyFramed_ || keyFraming_ ? Link::Framing::KeyDevice : Link::Framing::ControlUnit);
    if (rx_ == Rx::Hunt) return;
    const uint8_t head[2] = {kReplyStart, frame_[1]};
    purgedTail_.passOver(head, rx_ == Rx::Body ? 2 : 1);
    purgedTail_.passOver(frame_ + 2, std::max(0, frameCount_ - 2));
}

void Recorder::closeExchange(int64_t us) {
    flushNoise(us);
    if (rx_ != Rx::Hunt) {
        followTail();
        emitFrame(us, false);
    } else if (ex_.open && !ex_.replied && ex_.expectsReply) {
        Row& row = append(us, Kind::NoAnswer);
        fillFromExchange(row, us);
        row.received = ex_.received;
        row.verdict = Verdict::NoAnswer;
        fail(ex_.received == 0 ? Diagnosis::NoBytes : Diagnosis::NoFrames);
    }
    ex_.open = false;
}

void Recorder::dropped() {
    // The program took the frame just recorded for no answer of its exchange: a late or repeated
    // answer to an earlier request, dropped whole. Its exchange still waits for its own.
    if (!holds(lastFrameSeq_) || lastFrameSeq_ != end_ - 1) return;
    Row& row = ring_[(lastFrameSeq_ - 1) % kCapacity];
    if (row.kind != Kind::Reply) return;
    row.verdict = Verdict::Stale;
    row.requestSeq = 0;
    hideCodes(row, row.masked(0) ? Origin::Stray : Origin::Framed);
    diagnosis_ = diagnosisBefore_;
    if (lastFrameReplied_ && ex_.open) ex_.replied = false;
}

void Recorder::purgedAt(int64_t us, const uint8_t* bytes, int count) {
    int at = 0;
    // The program reads the key device's signature with the control unit's framing and leaves its
    // check byte to the purge that follows: that byte ends the frame, as it arrived.
    while (at < count && rx_ == Rx::Body && frameKeyFramed_ && !keyFraming_)
        receiveByte(ex_.lastByteUs, bytes[at++]);
    // A frame still arriving is thrown away whole: its rest, when it comes, is no frame of its own.
    followTail();
    purgedTail_.passOver(bytes + at, count - at);
    closeExchange(us);
    for (; at < count; at += kMaxRowBytes)
        appendPurged(us, bytes + at, count - at);
}

// A row of bytes the program threw away unread: nothing of them shows.
void Recorder::appendPurged(int64_t us, const uint8_t* bytes, int count) {
    Row& row = append(us, Kind::Discarded);
    keep(row, bytes, count);
    row.device = ex_.device;
    row.window = ex_.window;
    row.expander = ex_.expander;
    row.verdict = Verdict::Discarded;
    row.purge = true;
    hideCodes(row, Origin::Stray);
}

void Recorder::eventAt(int64_t us, Event event, const QString& portName) {
    purgedTail_.clear();
    closeExchange(us);
    dropFrame();
    Row& row = append(us, event == Event::Opened   ? Kind::Opened
                          : event == Event::Closed ? Kind::Closed
                                                   : Kind::Lost);
    const QByteArray name = portName.toLatin1();
    keep(row, reinterpret_cast<const uint8_t*>(name.constData()), static_cast<int>(name.size()));
    row.verdict = event == Event::Lost ? Verdict::LineLost : Verdict::Event;
}

void Recorder::settle(int64_t us) {
    if (!ex_.open || ex_.replied || !ex_.expectsReply) return;
    const int64_t last = std::max(ex_.sentUs, ex_.lastByteUs);
    if (us - last < kSettleAfterUs) return;
    int64_t end;
    if (ex_.received == 0)
        end = ex_.sentUs + kStartWaitUs + (ex_.command == 2 && !ex_.keyDevice ? kFetchPauseUs : 0);
    else
        end = ex_.lastByteUs + (keyFraming_ && rx_ == Rx::Length ? kKeyLengthWaitUs : kRestWaitUs);
    closeExchange(end);
}

Recorder& recorder() {
    static Recorder r;
    return r;
}

void startRecording() {
    Link::installTap(&recorder());
}

} // namespace Journal
