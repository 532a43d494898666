#pragma once
#include "journal/Row.h"
#include "link/FrameTail.h"
#include "link/LineTap.h"

#include <QDateTime>
#include <QString>
#include <algorithm>
#include <array>
#include <chrono>
#include <utility>
#include <vector>

namespace Journal {

// What the last failed exchange most likely means, from what was recorded for it.
struct Diagnosis {
    enum Kind { None, NoBytes, NoFrames, Refused } kind = None;
    int status = 0; // Refused: the status of the reply
    QString text() const;
};

// Records the line: turns the bytes both windows write and read into rows of requests, replies,
// discarded bytes, time-outs and port events, in a ring of the last kCapacity rows. It finds the
// frames in the bytes with each device's own framing and keeps no code: while the latest request
// is one that carries a code, every byte of its exchange that does not surely identify a frame is
// blanked as it is recorded (hideCodes), and the buffers that held such bytes are wiped.
class Recorder : public LineTap {
  public:
    static constexpr uint64_t kCapacity = 50000;

    Recorder();
    // A recording whose clock starts at a given wall-clock time (microseconds since the epoch).
    explicit Recorder(int64_t wallStartUs);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void sent(const uint8_t* bytes, int count) override { sentAt(nowUs(), bytes, count); }
    void received(const uint8_t* bytes, int count) override { receivedAt(nowUs(), bytes, count); }
    void purged(const uint8_t* bytes, int count) override { purgedAt(nowUs(), bytes, count); }
    void event(Event event, const QString& portName) override { eventAt(nowUs(), event, portName); }
    void dropped() override;

    // The same at a given time (microseconds on the recording's clock).
    void sentAt(int64_t us, const uint8_t* bytes, int count);
    void receivedAt(int64_t us, const uint8_t* bytes, int count);
    void purgedAt(int64_t us, const uint8_t* bytes, int count);
    void eventAt(int64_t us, Event event, const QString& portName);
    // Ends an exchange whose reply can no longer come: the program has stopped waiting for it,
    // although nothing has crossed the line since.
    void settle(int64_t us);
    void settle() { settle(nowUs()); }

    int64_t nowUs() const;
    // The wall-clock time of a row's time, in microseconds since the epoch.
    int64_t wallMicros(int64_t us) const { return wallStartUs_ + us; }

    // Rows are numbered from 1 on for the whole run; the ring holds [firstSeq, endSeq).
    uint64_t firstSeq() const { return first_; }
    uint64_t endSeq() const { return end_; }
    const Row& row(uint64_t seq) const { return ring_[(seq - 1) % kCapacity]; }
    bool holds(uint64_t seq) const { return seq >= first_ && seq < end_; }
    // Bytes of memory the ring takes when full.
    static constexpr size_t fullRingBytes() { return kCapacity * sizeof(Row); }

    // True while a request waits for its reply: the moment in which the program reads the line.
    bool awaitingReply() const { return ex_.open && !ex_.replied && ex_.expectsReply; }
    // The time of the last thing recorded: a row, or bytes of a frame still coming.
    int64_t lastActivityUs() const { return std::max(lastRowUs_, ex_.lastByteUs); }

    const Diagnosis& diagnosis() const { return diagnosis_; }
    // Empties the journal and its diagnosis; an exchange under way goes on being recorded.
    void clear();
    // The bytes the recorder keeps between calls (a frame still coming, noise before a start byte),
    // used or not: a check that no code stays in memory reads them.
    std::pair<const uint8_t*, size_t> scratch() const { return {scratch_.data(), scratch_.size()}; }

  private:
    enum class Rx { Hunt, Length, Body };
    struct Exchange {
        bool open = false;
        bool replied = false;
        bool expectsReply = false;
        bool keyDevice = false;
        uint64_t requestSeq = 0;
        int64_t sentUs = 0;
        int64_t lastByteUs = 0;
        uint32_t received = 0;
        Device device = Device::None;
        Window window = Window::None;
        uint8_t expander = 0;
        uint8_t command = 0;
        uint8_t sub = 0;
        uint8_t block = 0;
    };
    struct Relay {
        bool known = false;
        uint8_t expander = 0;
        uint8_t command = 0;
        uint8_t block = 0;
    };

    // Where a received frame began, as far as the journal can tell.
    enum class Origin {
        Request,
        Trusted, // the exchange's own answer, whole and checked, or a key report
        Framed,  // any other whole frame that adds up with the control unit's checksum
        Stray,   // anything else
    };

    Row& append(int64_t us, Kind kind);
    void addRequest(int64_t us, const uint8_t* frame, int count);
    bool carriesCode(const uint8_t* frame, int count) const;
    void hideCodes(Row& row, Origin origin) const;
    bool trustedReply(const Row& row, bool whole, bool sumOk) const;
    bool carriesCode(const Row& row) const;
    void receiveByte(int64_t us, uint8_t b);
    void emitFrame(int64_t us, bool whole);
    void flushNoise(int64_t us);
    void dropFrame();
    void closeExchange(int64_t us);
    void followTail();
    void appendPurged(int64_t us, const uint8_t* bytes, int count);
    void fail(Diagnosis::Kind kind, int status = 0);
    bool accepted(uint8_t status) const;
    void fillFromExchange(Row& row, int64_t us) const;

    std::chrono::steady_clock::time_point start_;
    int64_t wallStartUs_;
    std::vector<Row> ring_;
    uint64_t first_ = 1;
    uint64_t end_ = 1;
    int64_t lastRowUs_ = 0;
    Exchange ex_;
    Relay relay_;
    bool keyFraming_ = false; // replies are read with the key device's framing
    bool secret_ = false;     // the latest request carries a code: its exchange is hidden
    bool unitKeepsCode_ = false; // the control unit's answer kept for a fetch may carry a code
    bool codeMayFollow_ = false; // the latest exchange's late bytes may carry a code
    bool tainted_ = false;       // the one before's did: they may come in this one
    Rx rx_ = Rx::Hunt;
    bool frameKeyFramed_ = false; // the frame coming is read with the key device's framing
    bool frameFirst_ = false;     // it began with the first byte its exchange received
    // A frame still coming and the noise before a start byte, each at most a row long.
    std::array<uint8_t, 2 * kMaxRowBytes> scratch_{};
    uint8_t* const frame_ = scratch_.data();
    uint8_t* const noise_ = scratch_.data() + kMaxRowBytes;
    int frameCount_ = 0;
    int expected_ = 0;
    int noiseCount_ = 0;
    uint32_t noiseBeyond_ = 0;
    Diagnosis diagnosis_;
    // The last frame recorded, so that the program can say it dropped it.
    uint64_t lastFrameSeq_ = 0;
    bool lastFrameReplied_ = false;
    Diagnosis diagnosisBefore_;
    Link::FrameTail purgedTail_{Link::Framing::ControlUnit}; // the rest of a frame a purge cut
    int64_t tailLastUs_ = 0;
};

// The program's one recorder. startRecording() installs it on the line (once; later calls do nothing).
Recorder& recorder();
void startRecording();

} // namespace Journal
