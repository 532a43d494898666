#include "sim/PtyDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

// A reply due sooner than this is waited for on the serving thread, so that a device on the
// steady clock keeps line timing to a fraction of a byte although it looks in about every
// millisecond.
constexpr int64_t kPreciseWaitUs = 2000;

int64_t steadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::atomic<int64_t (*)()> timeSource{nullptr};

std::atomic<uint64_t> sends{0};

std::mutex registryMutex;
std::vector<PtyDevice*> registry;

void makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tcsetattr(fd, TCSANOW, &tio);
}

// True when bytes can be read from fd. A poll on a terminal with nothing to read first lets the
// kernel hand over the bytes still on their way to it, so that none is missed.
bool readable(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN);
}

} // namespace

int64_t nowUs() {
    const auto source = timeSource.load();
    return source ? source() : steadyUs();
}

void setTimeSource(int64_t (*source)()) {
    timeSource = source;
}

bool ownTimeSource() {
    return timeSource.load() != nullptr;
}

uint64_t nextEventOrder() {
    static std::atomic<uint64_t> order{0};
    return ++order;
}

PtyDevice::PtyDevice() = default;

PtyDevice::~PtyDevice() {
    stop();
}

bool PtyDevice::start() {
    if (running_) return true;
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return false;
    if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        close(master_);
        close(slave_);
        master_ = slave_ = -1;
        return false;
    }
    // Without raw mode the terminal layer echoes and rewrites bytes such as 0x03 and 0x0D.
    makeRaw(master_);
    makeRaw(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    startUs_ = nowUs();
    running_ = true;
    thread_ = std::thread([this] { serve(); });
    std::lock_guard<std::mutex> lock(registryMutex);
    registry.push_back(this);
    return true;
}

void PtyDevice::stop() {
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
    }
    if (!running_.exchange(false)) {
        if (thread_.joinable()) thread_.join();
        return;
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    for (int& fd : wake_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    master_ = slave_ = -1;
    std::lock_guard<std::mutex> queueLock(outgoingMutex_);
    outgoing_.clear();
}

bool PtyDevice::linkAs(const std::string& path) const {
    unlink(path.c_str());
    return symlink(slavePath_.c_str(), path.c_str()) == 0;
}

uint32_t PtyDevice::nowMs() const {
    return static_cast<uint32_t>((nowUs() - startUs_) / 1000);
}

void PtyDevice::send(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (master_ < 0) return;
    const bool paced = pacing_ && !ownTimeSource();
    const int64_t byteNs = 10 * 1000000000LL / 57600;
    const int64_t startUs = steadyUs();
    size_t done = 0;
    int64_t lastByteUs = 0;
    while (done < bytes.size()) {
        const size_t count = paced ? 1 : bytes.size() - done;
        if (paced) {
            const int64_t due = startUs * 1000 + static_cast<int64_t>(done + 1) * byteNs;
            while (steadyUs() * 1000 < due)
                std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        lastByteUs = nowUs(); // before the write: its bytes are readable only after this
        const ssize_t n = ::write(master_, bytes.data() + done, count);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    ++sends;
    std::lock_guard<std::mutex> recordLock(receivedMutex_);
    sent_.push_back({lastByteUs, bytes, nextEventOrder()});
}

void PtyDevice::sendAt(int64_t dueUs, std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(outgoingMutex_);
    if (!outgoing_.empty()) dueUs = std::max(dueUs, outgoing_.back().dueUs);
    outgoing_.push_back({dueUs, std::move(bytes)});
}

int64_t PtyDevice::lastQueuedUs() const {
    std::lock_guard<std::mutex> lock(outgoingMutex_);
    return outgoing_.empty() ? 0 : outgoing_.back().dueUs;
}

bool PtyDevice::dueBy(int64_t us) const {
    std::lock_guard<std::mutex> lock(outgoingMutex_);
    return !outgoing_.empty() && outgoing_.front().dueUs <= us;
}

int64_t PtyDevice::nextDueUs() const {
    int64_t next = nextTimedUs();
    std::lock_guard<std::mutex> lock(outgoingMutex_);
    if (!outgoing_.empty()) next = std::min(next, outgoing_.front().dueUs);
    return next;
}

void PtyDevice::flushDue() {
    // The bytes leave the queue only once they are written, so that a device whose queue looks
    // empty has nothing left to write.
    std::lock_guard<std::mutex> lock(outgoingMutex_);
    while (!outgoing_.empty()) {
        const int64_t dueUs = outgoing_.front().dueUs;
        if (dueUs > nowUs() + (ownTimeSource() ? 0 : kPreciseWaitUs)) return;
        while (nowUs() < dueUs)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        send(outgoing_.front().bytes);
        outgoing_.pop_front();
    }
}

std::vector<PtyDevice::Chunk> PtyDevice::received() const {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    return received_;
}

std::vector<uint8_t> PtyDevice::receivedBytes() const {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    std::vector<uint8_t> all;
    for (const Chunk& c : received_)
        all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    return all;
}

std::vector<PtyDevice::Sent> PtyDevice::sent() const {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    return sent_;
}

std::vector<int64_t> PtyDevice::sendEndsUs() const {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    std::vector<int64_t> ends;
    for (const Sent& s : sent_)
        ends.push_back(s.lastByteUs);
    return ends;
}

void PtyDevice::clearReceived() {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    received_.clear();
    sent_.clear();
}

void PtyDevice::serve() {
    uint8_t buffer[4096];
    while (running_) {
        const uint64_t round = wanted_.load();
        pollfd pfd[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int ready = poll(pfd, 2, 1);
        if (ready > 0 && (pfd[1].revents & POLLIN)) {
            while (::read(wake_[0], buffer, sizeof buffer) > 0) {
            }
        }
        if (ready > 0 && (pfd[0].revents & POLLIN)) {
            ++chunksRead_; // before the read: a settling round that finds the line empty sees it
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                {
                    std::lock_guard<std::mutex> lock(receivedMutex_);
                    received_.push_back({std::vector<uint8_t>(buffer, buffer + n), nowMs()});
                }
                onBytes(buffer, static_cast<size_t>(n));
                flushDue();
                continue;
            }
        }
        onIdle();
        flushDue();
        // The line found empty above, so every byte the program wrote before this round is taken;
        // nothing due is left: the round is settled once the bytes sent are on the program's side.
        if (round != settled_.load() && !dueBy(nowUs()) && nextTimedUs() > nowUs()) {
            readable(slave_);
            chunksAtSettle_ = chunksRead_.load();
            settled_ = round;
        }
    }
}

bool PtyDevice::settleAll(unsigned capMs, std::string& stuck) {
    std::lock_guard<std::mutex> lock(registryMutex);
    const int64_t now = nowUs();
    std::vector<std::pair<PtyDevice*, uint64_t>> rounds;
    for (PtyDevice* d : registry) {
        // A device with nothing queued, nothing timed and nothing unread since its last round has
        // nothing to do: only the bytes it sent last are brought to the program's side.
        const bool unread = readable(d->master_) || d->chunksRead_.load() != d->chunksAtSettle_.load();
        if (!unread && d->settled_.load() == d->wanted_.load() && d->nextDueUs() > now) {
            readable(d->slave_);
            continue;
        }
        const uint64_t round = ++d->wanted_;
        const uint8_t wake = 1;
        (void)!::write(d->wake_[1], &wake, 1);
        rounds.push_back({d, round});
    }
    const int64_t giveUpUs = steadyUs() + static_cast<int64_t>(capMs) * 1000;
    for (const auto& [d, round] : rounds) {
        while (d->settled_.load() < round) {
            if (steadyUs() > giveUpUs) {
                stuck = d->slavePath_;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    }
    return true;
}

uint64_t PtyDevice::sendsOfAll() {
    return sends.load();
}

int64_t PtyDevice::nextDueOfAll() {
    std::lock_guard<std::mutex> lock(registryMutex);
    int64_t next = INT64_MAX;
    for (const PtyDevice* d : registry)
        next = std::min(next, d->nextDueUs());
    return next;
}

} // namespace sim
