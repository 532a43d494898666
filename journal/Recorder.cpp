#include "journal/Recorder.h"

#include <algorithm>

namespace Journal {
namespace {

constexpr uint8_t kRequestStart = 0xAF;
constexpr uint8_t kReplyStart = 0xFA;
constexpr int kMinControlReply = 4; // start byte, length byte, two checksum bytes
constexpr int kMinKeyReply = 2;     // length byte and check byte after the start byte
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

Recorder::Recorder(int64_t wallStartUs)
    : start_(std::chrono::steady_clock::now()), wallStartUs_(wallStartUs) {
    frame_.reserve(kMaxRowBytes);
    noise_.reserve(kMaxRowBytes);
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
    if (ex.keyDevice) {
        ex.sub = f[3];
    } else if (command == 1 && n >= 5) {
        relay_ = {true, static_cast<uint8_t>(f[3] >> 1), f[4], static_cast<uint8_t>(n == 7 ? f[5] : 0)};
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
        ex.codes = relay_.command == 0x5D && relay_.block != 0;
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
    if (!ex.keyDevice && command == 0) {
        mask(row, 0, 3, count); // the access and engineer codes, and the checksum that reveals them
    } else if (!ex.keyDevice && command == 1 && n == 12 && (f[4] == 0x59 || f[4] == 0x5C)) {
        mask(row, 0, 7, 9); // a partition's or a user's code
        mask(row, 1, 12, 14);
    }
    keyFraming_ = ex.keyDevice;
    rx_ = Rx::Hunt;
    frame_.clear();
}

void Recorder::receivedAt(int64_t us, const uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (ex_.open) {
            ++ex_.received;
            ex_.lastByteUs = us;
        }
        switch (rx_) {
        case Rx::Hunt:
            if (b == kReplyStart) {
                flushNoise(us);
                frame_.assign(1, b);
                rx_ = Rx::Length;
            } else if (noise_.size() < kMaxRowBytes) {
                noise_.push_back(b);
            } else {
                ++noiseBeyond_;
            }
            break;
        case Rx::Length:
            frame_.push_back(b);
            expected_ = keyFraming_ ? b + 1 : b;
            if (b < (keyFraming_ ? kMinKeyReply : kMinControlReply))
                emitFrame(us, true);
            else
                rx_ = Rx::Body;
            break;
        case Rx::Body:
            frame_.push_back(b);
            if (static_cast<int>(frame_.size()) >= expected_) emitFrame(us, true);
            break;
        }
    }
}

void Recorder::emitFrame(int64_t us, bool whole) {
    const bool inExchange = ex_.open && !ex_.replied;
    Row& row = append(us, whole || !inExchange ? Kind::Reply : Kind::NoAnswer);
    keep(row, frame_.data(), static_cast<int>(frame_.size()));
    fillFromExchange(row, us);
    if (!inExchange) row.requestSeq = 0;
    const int count = row.count;
    const uint8_t* f = row.bytes.data();

    if (!whole) {
        row.verdict = inExchange ? Verdict::NoAnswer : Verdict::Incomplete;
        row.received = ex_.received;
    } else if (count < (keyFraming_ ? kMinKeyReply + 1 : kMinControlReply)) {
        row.verdict = Verdict::BadLength;
    } else {
        bool sumOk;
        if (keyFraming_) {
            sumOk = (sum16(f + 1, count - 2) & 0xFF) == f[count - 1];
        } else {
            const uint16_t sum = sum16(f + 1, count - 3);
            sumOk = f[count - 2] == (sum & 0xFF) && f[count - 1] == (sum >> 8);
        }
        const bool signature = !keyFraming_ && f[1] == 38 && f[2] == 5;
        if (signature) {
            row.device = Device::KeyDevice; // the key-programming device answers the access step
            row.verdict = Verdict::Ok;
        } else if (!sumOk) {
            row.verdict = Verdict::BadChecksum;
        } else if (!inExchange) {
            row.verdict = Verdict::Unchecked; // a key report, or a second frame to one request
        } else {
            row.verdict = accepted(f[2]) ? Verdict::Ok : Verdict::Refused;
        }
    }
    const bool codes = inExchange && (ex_.codes || (!keyFraming_ && count == 22 && f[3] == 0x5D));
    if (codes) mask(row, 0, 4, count); // the users' codes and the checksum over them

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
    frame_.clear();
    rx_ = Rx::Hunt;
}

void Recorder::flushNoise(int64_t us) {
    if (noise_.empty()) return;
    Row& row = append(us, Kind::Discarded);
    keep(row, noise_.data(), static_cast<int>(noise_.size()));
    row.received = noiseBeyond_;
    row.device = ex_.device;
    row.window = ex_.window;
    row.expander = ex_.expander;
    row.verdict = Verdict::Discarded;
    // Noise that came instead of a reply belongs to the request, which "Только ошибки" then shows.
    if (ex_.open) row.requestSeq = ex_.requestSeq;
    if (ex_.open && ex_.codes) mask(row, 0, 0, row.count); // could be the codes of a late reply
    noise_.clear();
    noiseBeyond_ = 0;
}

void Recorder::closeExchange(int64_t us) {
    flushNoise(us);
    if (rx_ != Rx::Hunt) {
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

void Recorder::purgedAt(int64_t us, const uint8_t* bytes, int count) {
    closeExchange(us);
    const bool codes = ex_.codes;
    for (int at = 0; at < count; at += kMaxRowBytes) {
        Row& row = append(us, Kind::Discarded);
        keep(row, bytes + at, count - at);
        row.device = ex_.device;
        row.window = ex_.window;
        row.expander = ex_.expander;
        row.verdict = Verdict::Discarded;
        row.purge = true;
        if (codes) mask(row, 0, 0, row.count);
    }
}

void Recorder::eventAt(int64_t us, Event event, const QString& portName) {
    closeExchange(us);
    rx_ = Rx::Hunt;
    frame_.clear();
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
