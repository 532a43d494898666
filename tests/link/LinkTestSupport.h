#pragma once
// Helpers of the link tests: a virtual clock, a scripted serial line on it, and a simulated control
// unit on a pseudo-terminal linked as COM1 in a temporary port folder.

#include "DialogRecorder.h"
#include "LockstepClock.h"
#include "TestPorts.h"
#include "VirtualClock.h"
#include "base/Clock.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "link/SerialLine.h"
#include "sim/ControlUnitSim.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// What happened on a scripted line; it outlives the line, which the link may close and delete.
struct LineLog {
    std::vector<std::string> operations; // "purge-in", "purge-out", "write"
    std::vector<Bytes> writes;
    bool deleted = false;
};

// A serial line whose incoming bytes are scripted on the virtual clock: each piece becomes readable
// at its time. A responder may script the answer to each write.
class ScriptedLine : public SerialLine {
  public:
    ScriptedLine(VirtualClock& clock, std::shared_ptr<LineLog> log) : clock_(clock), log_(std::move(log)) {}
    ~ScriptedLine() override { log_->deleted = true; }

    void feed(const Bytes& bytes, uint32_t atTicks) {
        for (uint8_t b : bytes)
            incoming_.push_back({b, atTicks});
    }
    void feedNow(const Bytes& bytes) { feed(bytes, clock_.now); }
    // Each piece of `bytes` of `size` becomes readable `gapMs` after the one before.
    void feedInPieces(const Bytes& bytes, size_t size, uint32_t gapMs) {
        uint32_t at = clock_.now;
        for (size_t i = 0; i < bytes.size(); i += size, at += gapMs)
            feed(Bytes(bytes.begin() + static_cast<long>(i),
                       bytes.begin() + static_cast<long>(std::min(bytes.size(), i + size))),
                 at);
    }
    size_t unread() const { return incoming_.size() - next_; }

    int read(uint8_t* into, int max) override {
        if (goneAt && clock_.now >= *goneAt) return -1;
        ++reads;
        int n = 0;
        while (n < max && next_ < incoming_.size() && incoming_[next_].at <= clock_.now)
            into[n++] = incoming_[next_++].byte;
        return n;
    }
    bool write(const uint8_t* bytes, int count) override {
        if (goneAt && clock_.now >= *goneAt) return false;
        log_->operations.push_back("write");
        log_->writes.emplace_back(bytes, bytes + count);
        if (responder) responder(*this, log_->writes.back());
        return true;
    }
    void purgeInput() override {
        log_->operations.push_back("purge-in");
        // Only what has arrived by now can be discarded.
        while (next_ < incoming_.size() && incoming_[next_].at <= clock_.now)
            ++next_;
    }
    void purgeOutput() override { log_->operations.push_back("purge-out"); }

    std::function<void(ScriptedLine&, const Bytes&)> responder;
    std::optional<uint32_t> goneAt;
    int reads = 0;

  private:
    struct Timed {
        uint8_t byte;
        uint32_t at;
    };
    VirtualClock& clock_;
    std::shared_ptr<LineLog> log_;
    std::vector<Timed> incoming_;
    size_t next_ = 0;
};

// The scripted line installed as the program's port, on a virtual clock.
class ScriptedLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        Access::resetFlags();
        line = new ScriptedLine(clock, log);
        Link::adoptPort(line);
    }
    void TearDown() override {
        Link::ClosePort();
        Link::setLineOpener(nullptr);
        Link::setTraceSink(nullptr);
        Clock::setTerminating(false);
    }

    VirtualClock clock;
    std::shared_ptr<LineLog> log = std::make_shared<LineLog>();
    ScriptedLine* line = nullptr; // owned by the link
    DialogRecorder dialogs;
};

// A simulated control unit linked as COM1 (and, when asked, a second one as COM2), COM1 open.
class SimLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        Access::resetFlags();
        ASSERT_TRUE(folder.isValid());
        setPortFolder(folder.path());
        ASSERT_TRUE(unit.start());
        ASSERT_TRUE(unit.linkAs(devicePath("ttyS0")));
        ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM1")));
    }
    void TearDown() override {
        Link::ClosePort();
        Link::setLineOpener(nullptr);
        Link::setTraceSink(nullptr);
        unit.stop();
        Clock::setTerminating(false);
        setPortFolder(EmptyPortFolder());
    }
    std::string devicePath(const char* name) const {
        return (folder.path() + u'/' + QLatin1String(name)).toStdString();
    }

    // The frames the program wrote, as bytes.
    std::vector<Bytes> written() const {
        std::vector<Bytes> out;
        for (const auto& f : unit.frames())
            out.push_back(f.bytes);
        return out;
    }

    LockstepClock clock;
    QTemporaryDir folder;
    sim::ControlUnitSim unit;
    DialogRecorder dialogs;
};

// A request as the line carries it, with its checksum worked out here: the sum of every byte after
// the start byte.
inline Bytes request(const Bytes& afterStart) {
    Bytes frame{0xAF};
    frame.insert(frame.end(), afterStart.begin(), afterStart.end());
    unsigned sum = 0;
    for (uint8_t b : afterStart)
        sum += b;
    frame.push_back(static_cast<uint8_t>(sum & 0xFF));
    frame.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
    return frame;
}

inline Bytes toBytes(const QByteArray& a) {
    return Bytes(a.begin(), a.end());
}
