#include "link/LineTap.h"

#include "base/Wipe.h"

#include <array>

namespace Link {
namespace {

LineTap* installedTap = nullptr;

// Passes every call on to the line and reports it to the observer installed at the time of the
// call, so that an observer removed meanwhile is never called.
class ObservedLine : public SerialLine {
  public:
    ObservedLine(std::unique_ptr<SerialLine> line, const QString& portName)
        : line_(std::move(line)), portName_(portName) {
        if (installedTap) installedTap->event(LineTap::Event::Opened, portName_);
        line_->onGone([this] { reportLost(); });
    }
    ~ObservedLine() override {
        // What waits unread goes with the port: the observer sees it thrown away (the key device's
        // check byte after its signature, read with the control unit's framing, is one).
        if (installedTap && !line_->gone()) purgeInput();
        // A line let go because its device went away while idle was lost, not closed.
        if (line_->gone()) reportLost();
        if (installedTap && !lost_) installedTap->event(LineTap::Event::Closed, portName_);
    }

    int read(uint8_t* into, int max) override {
        const int n = line_->read(into, max);
        if (!installedTap) return n;
        if (n > 0) installedTap->received(into, n);
        if (n < 0) reportLost();
        return n;
    }
    bool write(const uint8_t* bytes, int count) override {
        const bool ok = line_->write(bytes, count);
        if (installedTap) {
            // A write the line refused never reached the device: the port was lost instead.
            if (ok)
                installedTap->sent(bytes, count);
            else
                reportLost();
        }
        return ok;
    }
    int takeWaiting(uint8_t* into, int max) override {
        const int n = line_->read(into, max);
        if (!installedTap) return n;
        if (n > 0) installedTap->purged(into, n);
        if (n < 0) reportLost();
        return n;
    }
    // What the purge would throw away is read first, so that the observer sees it; the line ends
    // up as the purge alone leaves it.
    void purgeInput() override {
        if (installedTap) {
            std::array<uint8_t, 256> waiting{};
            for (int total = 0; total < kMaxDrained;) {
                const int n = line_->read(waiting.data(), static_cast<int>(waiting.size()));
                if (n <= 0) break;
                installedTap->purged(waiting.data(), n);
                total += n;
            }
            wipe(waiting.data(), waiting.size()); // what was waiting may be a code
        }
        line_->purgeInput();
    }
    void purgeOutput() override { line_->purgeOutput(); }
    void waitForBytes(unsigned maxUs) override { line_->waitForBytes(maxUs); }
    bool gone() const override { return line_->gone(); }

  private:
    static constexpr int kMaxDrained = 4096;

    void reportLost() {
        if (lost_ || !installedTap) return;
        lost_ = true;
        installedTap->event(LineTap::Event::Lost, portName_);
    }

    std::unique_ptr<SerialLine> line_;
    QString portName_;
    bool lost_ = false;
};

} // namespace

void installTap(LineTap* tap) {
    installedTap = tap;
}

LineTap* tap() {
    return installedTap;
}

std::unique_ptr<SerialLine> observed(std::unique_ptr<SerialLine> line, const QString& portName) {
    if (!line || !installedTap) return line;
    return std::make_unique<ObservedLine>(std::move(line), portName);
}

} // namespace Link
