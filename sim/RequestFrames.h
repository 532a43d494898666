#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace sim {

// A complete request frame as the program wrote it: start byte AF, N, payload, 16-bit checksum of
// N .. last payload byte, low byte first.
struct RequestFrame {
    std::vector<uint8_t> bytes;
    uint32_t atMs = 0;      // when its last byte arrived, ms since the device started
    bool checksumOk = true; // a frame with a bad checksum is recorded but not answered
    int64_t startUs = 0;    // when its start byte arrived (the devices' nowUs())
    uint64_t order = 0;     // nextEventOrder() when its start byte arrived
    uint8_t command() const { return bytes.size() > 2 ? bytes[2] : 0xFF; }
    // Parameter i (1..4) of a request.
    uint8_t parameter(int i) const { return bytes.size() > size_t(2 + i) ? bytes[size_t(2 + i)] : 0; }
};

// The requests the program writes to a simulated device: assembled from the chunks the line brings,
// recorded byte for byte, with the bytes that belong to no frame kept apart. Both simulated devices
// read requests of the same framing. Safe to use from the test thread while the device serves.
class RequestFrames {
  public:
    // clockMs gives the device's time for the frames' atMs.
    explicit RequestFrames(std::function<uint32_t()> clockMs);

    // Takes the bytes of one chunk; returns the requests they completed, in order.
    std::vector<RequestFrame> take(const uint8_t* bytes, size_t count);
    // A frame begun but left unfinished for longer than limitUs is given up as stray bytes.
    void dropStale(int64_t limitUs);
    // When dropStale(limitUs) would give up the frame begun (INT64_MAX: none begun).
    int64_t staleAtUs(int64_t limitUs) const;

    std::vector<RequestFrame> all() const;
    std::vector<RequestFrame> of(uint8_t command) const;
    std::vector<uint8_t> stray() const;
    void clear();
    // Waits (sleeping, without pumping events) until at least count frames are recorded.
    bool waitFor(size_t count, unsigned timeoutMs) const;

  private:
    std::function<uint32_t()> clockMs_;
    mutable std::mutex mutex_;
    std::vector<uint8_t> assembling_;
    int64_t startUs_ = 0;
    uint64_t startOrder_ = 0;
    int64_t lastByteUs_ = 0;
    std::vector<RequestFrame> frames_;
    std::vector<uint8_t> stray_;
};

} // namespace sim
