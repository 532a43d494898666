#include "sim/RequestFrames.h"

#include "sim/PtyDevice.h"

#include <chrono>
#include <climits>
#include <thread>

namespace sim {
namespace {

constexpr uint8_t kRequestStart = 0xAF;

int64_t steadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

RequestFrames::RequestFrames(std::function<uint32_t()> clockMs) : clockMs_(std::move(clockMs)) {}

std::vector<RequestFrame> RequestFrames::take(const uint8_t* bytes, size_t count) {
    std::vector<RequestFrame> complete;
    std::lock_guard<std::mutex> lock(mutex_);
    lastByteUs_ = nowUs();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (assembling_.empty()) {
            if (b == kRequestStart) {
                assembling_.push_back(b);
                startUs_ = lastByteUs_;
                startOrder_ = nextEventOrder();
            } else {
                stray_.push_back(b);
            }
            continue;
        }
        assembling_.push_back(b);
        const uint8_t n = assembling_[1];
        if (n < 3) { // no request is that short: resynchronise on the next start byte
            stray_.insert(stray_.end(), assembling_.begin(), assembling_.end());
            assembling_.clear();
            continue;
        }
        if (assembling_.size() == static_cast<size_t>(n) + 2) {
            unsigned sum = 0;
            for (size_t k = 1; k < n; ++k)
                sum += assembling_[k];
            RequestFrame frame;
            frame.checksumOk = assembling_[n] == (sum & 0xFF) && assembling_[n + 1] == ((sum >> 8) & 0xFF);
            frame.bytes = std::move(assembling_);
            frame.atMs = clockMs_();
            frame.startUs = startUs_;
            frame.order = startOrder_;
            frames_.push_back(frame);
            complete.push_back(std::move(frame));
            assembling_.clear();
        }
    }
    return complete;
}

void RequestFrames::dropStale(int64_t limitUs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!assembling_.empty() && nowUs() - lastByteUs_ > limitUs) {
        stray_.insert(stray_.end(), assembling_.begin(), assembling_.end());
        assembling_.clear();
    }
}

int64_t RequestFrames::staleAtUs(int64_t limitUs) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return assembling_.empty() ? INT64_MAX : lastByteUs_ + limitUs + 1;
}

std::vector<RequestFrame> RequestFrames::all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

std::vector<RequestFrame> RequestFrames::of(uint8_t command) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<RequestFrame> chosen;
    for (const RequestFrame& f : frames_)
        if (f.command() == command) chosen.push_back(f);
    return chosen;
}

std::vector<uint8_t> RequestFrames::stray() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stray_;
}

void RequestFrames::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.clear();
    stray_.clear();
}

bool RequestFrames::waitFor(size_t count, unsigned timeoutMs) const {
    const int64_t until = steadyUs() + static_cast<int64_t>(timeoutMs) * 1000;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (frames_.size() >= count) return true;
        }
        if (steadyUs() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace sim
