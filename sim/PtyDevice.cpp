#include "sim/PtyDevice.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tcsetattr(fd, TCSANOW, &tio);
}

} // namespace

PtyDevice::PtyDevice() = default;

PtyDevice::~PtyDevice() {
    stop();
}

bool PtyDevice::start() {
    if (running_) return true;
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return false;
    // Without raw mode the terminal layer echoes and rewrites bytes such as 0x03 and 0x0D.
    makeRaw(master_);
    makeRaw(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    startNs_ = monotonicNs();
    running_ = true;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void PtyDevice::stop() {
    if (!running_.exchange(false)) {
        if (thread_.joinable()) thread_.join();
        return;
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = slave_ = -1;
}

bool PtyDevice::linkAs(const std::string& path) const {
    unlink(path.c_str());
    return symlink(slavePath_.c_str(), path.c_str()) == 0;
}

uint32_t PtyDevice::nowMs() const {
    return static_cast<uint32_t>((monotonicNs() - startNs_) / 1000000);
}

void PtyDevice::send(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (master_ < 0) return;
    const bool paced = pacing_;
    const int64_t byteNs = 10 * 1000000000LL / 57600;
    int64_t due = monotonicNs();
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t count = paced ? 1 : bytes.size() - done;
        if (paced) {
            due += byteNs;
            while (monotonicNs() < due)
                std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        const ssize_t n = ::write(master_, bytes.data() + done, count);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    std::lock_guard<std::mutex> recordLock(receivedMutex_);
    sendEndsUs_.push_back(monotonicNs() / 1000);
}

void PtyDevice::sendInPieces(const std::vector<uint8_t>& bytes, size_t pieceSize, unsigned pauseMs) {
    if (pieceSize == 0) pieceSize = 1;
    for (size_t at = 0; at < bytes.size(); at += pieceSize) {
        const size_t end = std::min(bytes.size(), at + pieceSize);
        send(std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + end));
        if (end < bytes.size()) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
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

std::vector<int64_t> PtyDevice::sendEndsUs() const {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    return sendEndsUs_;
}

void PtyDevice::clearReceived() {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    received_.clear();
    sendEndsUs_.clear();
}

void PtyDevice::serve() {
    uint8_t buffer[4096];
    while (running_) {
        pollfd pfd{master_, POLLIN, 0};
        const int ready = poll(&pfd, 1, 1);
        if (ready > 0 && (pfd.revents & POLLIN)) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                {
                    std::lock_guard<std::mutex> lock(receivedMutex_);
                    received_.push_back({std::vector<uint8_t>(buffer, buffer + n), nowMs()});
                }
                onBytes(buffer, static_cast<size_t>(n));
                continue;
            }
        }
        onIdle();
    }
}

} // namespace sim
