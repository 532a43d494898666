#pragma once
#include "VirtualClock.h"
#include "base/Clock.h"
#include "link/SerialLine.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// What a fake line saw; it outlives the line, which the link owns and may close.
struct FakeLineRecord {
    std::vector<std::vector<uint8_t>> writes;
    std::vector<uint32_t> writeTimes;
    int inputPurges = 0;
    int outputPurges = 0;
    bool destroyed = false;
};

// A serial line fed from a script of bytes that arrive at given virtual times.
class FakeKeyLine : public SerialLine {
  public:
    FakeKeyLine(VirtualClock& clock, std::shared_ptr<FakeLineRecord> record)
        : clock_(clock), record_(std::move(record)) {}
    ~FakeKeyLine() override { record_->destroyed = true; }

    // Bytes that arrive `afterMs` from now.
    void arrive(uint32_t afterMs, const std::vector<uint8_t>& bytes) {
        for (uint8_t b : bytes)
            script_.push_back({clock_.now + afterMs, b});
    }
    // Called after each write, to script the device's answer to it.
    std::function<void(FakeKeyLine&, const std::vector<uint8_t>&)> onWrite;
    bool gone = false;

    int read(uint8_t* into, int max) override {
        if (gone) return -1;
        int n = 0;
        while (n < max && !script_.empty() && script_.front().at <= clock_.now) {
            into[n++] = script_.front().byte;
            script_.pop_front();
        }
        return n;
    }
    bool write(const uint8_t* bytes, int count) override {
        if (gone) return false;
        record_->writes.emplace_back(bytes, bytes + count);
        record_->writeTimes.push_back(clock_.now);
        if (onWrite) onWrite(*this, record_->writes.back());
        return true;
    }
    void purgeInput() override {
        ++record_->inputPurges;
        while (!script_.empty() && script_.front().at <= clock_.now)
            script_.pop_front();
    }
    void purgeOutput() override { ++record_->outputPurges; }

  private:
    struct Timed {
        uint32_t at;
        uint8_t byte;
    };
    VirtualClock& clock_;
    std::shared_ptr<FakeLineRecord> record_;
    std::deque<Timed> script_;
};
