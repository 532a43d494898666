#pragma once
#include <atomic>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// The simulated devices' time in microseconds: the steady clock, unless a test has installed a
// source of its own (the program's clock, so that devices and program share one timeline).
int64_t nowUs();
void setTimeSource(int64_t (*source)()); // nullptr: the steady clock again
bool ownTimeSource();
// The next number of the devices' events (a request's start byte taken, a frame sent): it orders
// them also where their times are equal.
uint64_t nextEventOrder();

// A simulated device on the master side of a pseudo-terminal, served by a thread of its own. The
// program under test opens the slave side (slavePath(), or a link to it made by linkAs()) through its
// real serial code. Subclasses get every byte the program writes through onBytes() and answer with
// send(), or with sendAt() at a time of nowUs(). Every chunk the program wrote is recorded with the
// time it arrived.
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

    // Lets every running device do what it has to do up to the current time: take every byte the
    // program has written, send every queued reply that is due, and see its bytes readable on the
    // program's side. False, naming the device that did not finish, when that takes longer than
    // capMs of real time.
    static bool settleAll(unsigned capMs, std::string& stuck);
    // The earliest time at which some running device has something to do (INT64_MAX: none).
    static int64_t nextDueOfAll();
    // How many times any device has sent bytes since the program started.
    static uint64_t sendsOfAll();

    // Sends bytes to the program. With pacing on, each byte takes the line time of 57600 baud
    // (10 bits a byte, about 174 microseconds) on the steady clock; on a time source of a test's own
    // the bytes go at once.
    void send(const std::vector<uint8_t>& bytes);
    void setPacing(bool on) { pacing_ = on; }
    bool pacing() const { return pacing_; }

    // Everything the program wrote, in arrival order.
    std::vector<Chunk> received() const;
    std::vector<uint8_t> receivedBytes() const;
    // What each send() put on the line, in order, with the time (nowUs()) at which its last byte was
    // being written: the program cannot have read the whole of it earlier.
    struct Sent {
        int64_t lastByteUs;
        std::vector<uint8_t> bytes;
        uint64_t order; // nextEventOrder() when it was sent
    };
    std::vector<Sent> sent() const;
    // The lastByteUs of every send, in order.
    std::vector<int64_t> sendEndsUs() const;
    void clearReceived(); // also forgets what was sent
    uint32_t nowMs() const;

  protected:
    // Queues bytes to go out when nowUs() reaches dueUs (never before bytes queued earlier).
    void sendAt(int64_t dueUs, std::vector<uint8_t> bytes);
    // The due time of the last queued bytes, or 0 when nothing waits.
    int64_t lastQueuedUs() const;
    // When the device next has timed work in onIdle() besides the queue (INT64_MAX: none).
    virtual int64_t nextTimedUs() const { return INT64_MAX; }
    // Called on the serving thread with every chunk the program wrote.
    virtual void onBytes(const uint8_t* bytes, size_t count) = 0;
    // Called on the serving thread about every millisecond while nothing arrives (for timed work).
    virtual void onIdle() {}

  private:
    struct Outgoing {
        int64_t dueUs;
        std::vector<uint8_t> bytes;
    };
    void serve();
    void flushDue();
    bool dueBy(int64_t us) const;
    int64_t nextDueUs() const;

    int master_ = -1;
    int slave_ = -1; // kept open so that the line stays up while the program has it closed
    std::string slavePath_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> pacing_{false};
    mutable std::mutex receivedMutex_;
    std::vector<Chunk> received_;
    std::vector<Sent> sent_;
    std::mutex sendMutex_;
    int64_t startUs_ = 0;
    mutable std::mutex outgoingMutex_;
    std::deque<Outgoing> outgoing_; // in due order
    int wake_[2] = {-1, -1};        // a settling round wakes the serving thread through this pipe
    std::atomic<uint64_t> wanted_{0};
    std::atomic<uint64_t> settled_{0};
    std::atomic<uint64_t> chunksRead_{0};
    std::atomic<uint64_t> chunksAtSettle_{0};
};

} // namespace sim
