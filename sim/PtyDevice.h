#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// A simulated device on the master side of a pseudo-terminal, served by a thread of its own. The
// program under test opens the slave side (slavePath(), or a link to it made by linkAs()) through its
// real serial code. Subclasses get every byte the program writes through onBytes() and answer with
// send(). Every chunk the program wrote is recorded with the time it arrived.
class PtyDevice {
  public:
    struct Chunk {
        std::vector<uint8_t> bytes;
        uint32_t atMs; // milliseconds since the device started
    };

    PtyDevice();
    virtual ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Opens the pseudo-terminal (raw mode on both sides) and starts the serving thread.
    bool start();
    // Stops the thread and closes the master side: to the program the device disappears.
    void stop();
    bool running() const { return running_; }

    const std::string& slavePath() const { return slavePath_; }
    // Makes a symbolic link at path pointing to the slave side (replacing what is there).
    bool linkAs(const std::string& path) const;

    // Sends bytes to the program. With pacing on, each byte takes the line time of 57600 baud
    // (10 bits a byte, about 174 microseconds).
    void send(const std::vector<uint8_t>& bytes);
    // Sends bytes in pieces with a pause between them.
    void sendInPieces(const std::vector<uint8_t>& bytes, size_t pieceSize, unsigned pauseMs);
    void setPacing(bool on) { pacing_ = on; }
    bool pacing() const { return pacing_; }

    // Everything the program wrote, in arrival order.
    std::vector<Chunk> received() const;
    std::vector<uint8_t> receivedBytes() const;
    // When each send() put its last byte on the line (steady clock, microseconds), in order.
    std::vector<int64_t> sendEndsUs() const;
    void clearReceived(); // also forgets the send ends
    uint32_t nowMs() const;

  protected:
    // Called on the serving thread with every chunk the program wrote.
    virtual void onBytes(const uint8_t* bytes, size_t count) = 0;
    // Called on the serving thread about every millisecond while nothing arrives (for timed work).
    virtual void onIdle() {}

  private:
    void serve();

    int master_ = -1;
    int slave_ = -1; // kept open so that the line stays up while the program has it closed
    std::string slavePath_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> pacing_{false};
    mutable std::mutex receivedMutex_;
    std::vector<Chunk> received_;
    std::vector<int64_t> sendEndsUs_;
    std::mutex sendMutex_;
    int64_t startNs_ = 0;
};

} // namespace sim
