#include "sim/KeyDeviceSim.h"

#include <algorithm>
#include <climits>

namespace sim {
namespace {

constexpr uint8_t kRequestStart = 0xAF;
constexpr uint8_t kReplyStart = 0xFA;
constexpr uint8_t kAccess = 0;
constexpr uint8_t kReadTable = 2;
constexpr uint8_t kWriteKey = 3;
constexpr uint8_t kMarkerNone = 0xFF;
constexpr uint8_t kMarkerDecline = 0xFE;
// A request that stops half-way is dropped after this long without another byte.
constexpr int64_t kStaleFrameUs = 100000;

bool matches(const KeyDeviceSim::Fault& fault, const std::vector<uint8_t>& request) {
    const int command = request.size() > 2 ? request[2] : -1;
    const int p1 = request.size() > 3 ? request[3] : -1;
    return (fault.command < 0 || fault.command == command) &&
           (fault.parameter1 < 0 || fault.parameter1 == p1);
}

} // namespace

KeyDeviceSim::KeyDeviceSim() : requests_([this] { return nowMs(); }) {}

KeyDeviceSim::~KeyDeviceSim() {
    stop();
}

// --- framing -------------------------------------------------------------------------------------

uint8_t KeyDeviceSim::checkByte(const uint8_t* bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

uint16_t KeyDeviceSim::sum16(const uint8_t* bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum & 0xFFFF);
}

std::vector<uint8_t> KeyDeviceSim::replyFrame(uint8_t status, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame{kReplyStart, kReplyLength, status};
    for (int i = 0; i < kDataBytes; ++i)
        frame.push_back(i < int(data.size()) ? data[size_t(i)] : 0);
    frame.push_back(checkByte(frame.data() + 1, frame.size() - 1));
    return frame;
}

std::vector<uint8_t> KeyDeviceSim::controlUnitFrame(uint8_t status) {
    std::vector<uint8_t> frame{kReplyStart, 6, status, 0};
    const uint16_t sum = sum16(frame.data() + 1, 3);
    frame.push_back(uint8_t(sum & 0xFF));
    frame.push_back(uint8_t(sum >> 8));
    return frame;
}

std::vector<uint8_t> KeyDeviceSim::requestFrame(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3,
                                                uint8_t p4) {
    std::vector<uint8_t> frame{kRequestStart, 7, command, p1, p2, p3, p4};
    const uint16_t sum = sum16(frame.data() + 1, 6);
    frame.push_back(uint8_t(sum & 0xFF));
    frame.push_back(uint8_t(sum >> 8));
    return frame;
}

// --- state ---------------------------------------------------------------------------------------

bool KeyDeviceSim::singleKey(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slot >= 0 && slot < kSlots && single_[size_t(slot)];
}

void KeyDeviceSim::setSingleKey(int slot, bool present) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot >= 0 && slot < kSlots) single_[size_t(slot)] = present;
}

bool KeyDeviceSim::threeExpanderKey(int key, int user) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const int bit = (key - 1) * kUsers + (user - 1);
    return bit >= 0 && bit < 2 * kUsers && three_[size_t(bit)];
}

void KeyDeviceSim::setThreeExpanderKey(int key, int user, bool present) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int bit = (key - 1) * kUsers + (user - 1);
    if (bit >= 0 && bit < 2 * kUsers) three_[size_t(bit)] = present;
}

void KeyDeviceSim::clearKeys() {
    std::lock_guard<std::mutex> lock(mutex_);
    single_.fill(false);
    three_.fill(false);
}

KeyDeviceSim::Pending KeyDeviceSim::pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
}

// A three-expander key lives under the slot of expander 1: bit (key - 1) * 30 + (user - 1).
bool KeyDeviceSim::keyAt(int slot, bool three) const {
    if (slot < 0 || slot >= kSlots) return false;
    if (!three) return single_[size_t(slot)];
    if (slot % 90 >= kUsers) return false;
    return three_[size_t((slot / 90) * kUsers + slot % 90)];
}

void KeyDeviceSim::setKey(int slot, bool three, bool present) {
    if (slot < 0 || slot >= kSlots) return;
    if (!three) {
        single_[size_t(slot)] = present;
    } else if (slot % 90 < kUsers) {
        three_[size_t((slot / 90) * kUsers + slot % 90)] = present;
    }
}

void KeyDeviceSim::touchNewKey() {
    std::lock_guard<std::mutex> lock(mutex_);
    touchNewKeyLocked();
}

void KeyDeviceSim::setAutoTouchMs(int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    autoTouchMs_ = ms;
}

void KeyDeviceSim::touchNewKeyLocked() {
    if (pending_.armed) {
        setKey(pending_.slot, pending_.expander == 0, true);
        move_ = {};
        pending_.armed = false;
    }
    queueReport(kMarkerNone);
}

void KeyDeviceSim::touchKeyRecordedIn(int slot, bool threeExpanders) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.armed) {
        const bool toThree = pending_.expander == 0;
        if (slot != pending_.slot || threeExpanders != toThree) {
            setKey(slot, threeExpanders, false);
            setKey(pending_.slot, toThree, true);
            move_ = {true, pending_.slot, toThree};
        }
        pending_.armed = false;
    }
    queueReport(uint8_t(slot));
}

void KeyDeviceSim::setAccessAnswer(int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    accessAnswer_ = status;
}

void KeyDeviceSim::addFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void KeyDeviceSim::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

size_t KeyDeviceSim::pendingFaults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_.size();
}

std::vector<KeyDeviceSim::Frame> KeyDeviceSim::frames() const {
    return requests_.all();
}

std::vector<KeyDeviceSim::Frame> KeyDeviceSim::framesOf(uint8_t command) const {
    return requests_.of(command);
}

void KeyDeviceSim::clearFrames() {
    requests_.clear();
}

std::vector<uint8_t> KeyDeviceSim::strayBytes() const {
    return requests_.stray();
}

bool KeyDeviceSim::waitForFrames(size_t count, unsigned timeoutMs) const {
    return requests_.waitFor(count, timeoutMs);
}

int KeyDeviceSim::repliesSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return repliesSent_;
}

int KeyDeviceSim::reportsSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reportsSent_;
}

// --- serving the line ----------------------------------------------------------------------------

void KeyDeviceSim::onBytes(const uint8_t* bytes, size_t count) {
    for (const RequestFrame& request : requests_.take(bytes, count))
        handleFrame(request);
}

void KeyDeviceSim::onIdle() {
    requests_.dropStale(kStaleFrameUs);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (autoTouchMs_ >= 0 && pending_.armed && nowUs() - armedAtUs_ >= int64_t(autoTouchMs_) * 1000)
            touchNewKeyLocked();
    }
}

int64_t KeyDeviceSim::nextTimedUs() const {
    int64_t next = requests_.staleAtUs(kStaleFrameUs);
    std::lock_guard<std::mutex> lock(mutex_);
    if (autoTouchMs_ >= 0 && pending_.armed) next = std::min(next, armedAtUs_ + int64_t(autoTouchMs_) * 1000);
    return next;
}

void KeyDeviceSim::handleFrame(const RequestFrame& request) {
    if (!request.checksumOk) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<uint8_t>& frame = request.bytes;

    if (frame[2] == kAccess) {
        // The configurator's access request, short or long form.
        if (accessAnswer_ >= 0)
            queueReply(controlUnitFrame(uint8_t(accessAnswer_)), frame);
        else
            queueReply(replyFrame(kStatusAccepted, {}), frame);
        return;
    }
    uint8_t status = 0;
    std::vector<uint8_t> data;
    if (answerTo(frame, status, data)) queueReply(replyFrame(status, data), frame);
}

bool KeyDeviceSim::answerTo(const std::vector<uint8_t>& frame, uint8_t& status, std::vector<uint8_t>& data) {
    if (frame[1] != 7) // this device's own requests are all 9 bytes long
        return false;
    const uint8_t command = frame[2];
    if (command == kReadTable) {
        if (frame[3] > 2) {
            status = kStatusRefused;
            return true;
        }
        status = kStatusAccepted;
        data = tableData(frame[3]);
        return true;
    }
    if (command == kWriteKey) {
        status = writeCommand(frame[3], frame[4], frame[5], frame[6]);
        return true;
    }
    status = kStatusRefused;
    return true;
}

std::vector<uint8_t> KeyDeviceSim::tableData(uint8_t table) const {
    std::vector<uint8_t> data(kDataBytes, 0);
    const int bits = table == 2 ? 2 * kUsers : 90;
    for (int b = 0; b < bits; ++b) {
        const bool set = table == 2 ? three_[size_t(b)] : single_[size_t(table * 90 + b)];
        if (set) data[size_t(b / 8)] = uint8_t(data[size_t(b / 8)] | (1u << (b % 8)));
    }
    return data;
}

uint8_t KeyDeviceSim::writeCommand(uint8_t slot, uint8_t expander, uint8_t p3, uint8_t p4) {
    if (slot == kMarkerNone) { // cancel
        pending_.armed = false;
        return kStatusAccepted;
    }
    if (slot >= kSlots) return kStatusRefused;
    if (expander == kMarkerNone) { // delete: the cell that shows the three-expander key deletes that key
        pending_.armed = false;
        if (keyAt(slot, true))
            setKey(slot, true, false);
        else
            setKey(slot, false, false);
        return kStatusAccepted;
    }
    if (expander == kMarkerDecline) { // the touched key goes back to where it was
        pending_.armed = false;
        const bool writtenThree = move_.valid && move_.to == slot ? move_.toThree : false;
        setKey(slot, writtenThree, false);
        if (p3 < kSlots) setKey(p3, p4 == 0, true);
        move_ = {};
        return kStatusAccepted;
    }
    if (expander > 3) return kStatusRefused;
    if (expander == 0 ? slot % 90 >= kUsers : (slot % 90) / kUsers != expander - 1) return kStatusRefused;
    pending_ = {true, slot, expander};
    armedAtUs_ = nowUs();
    return kStatusAccepted;
}

void KeyDeviceSim::queueReply(const std::vector<uint8_t>& frame, const std::vector<uint8_t>& request) {
    Fault fault;
    bool faulty = false;
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (!matches(*it, request)) continue;
        fault = *it;
        faulty = true;
        if (it->times > 0 && --it->times == 0) faults_.erase(it);
        break;
    }
    std::vector<uint8_t> bytes = frame;
    if (faulty) {
        if (fault.silent) return;
        if (fault.controlUnitStatus >= 0) bytes = controlUnitFrame(uint8_t(fault.controlUnitStatus));
        if (fault.status >= 0 && fault.controlUnitStatus < 0 && bytes.size() > 3) {
            bytes[2] = uint8_t(fault.status);
            bytes.back() = checkByte(bytes.data() + 1, bytes.size() - 2);
        }
        if (fault.lengthByte >= 0 && fault.controlUnitStatus < 0 && bytes.size() > 3) {
            bytes[1] = uint8_t(fault.lengthByte);
            bytes.back() = checkByte(bytes.data() + 1, bytes.size() - 2);
        }
        if (fault.badCheck) bytes.back() = uint8_t(bytes.back() + 1);
        if (fault.cutTo >= 0 && size_t(fault.cutTo) < bytes.size()) bytes.resize(size_t(fault.cutTo));
        bytes.insert(bytes.begin(), fault.noiseBefore.begin(), fault.noiseBefore.end());
    }
    int64_t due = std::max(nowUs(), lastQueuedUs()) + int64_t(fault.delayMs) * 1000;
    for (int copy = faulty && fault.twice ? 2 : 1; copy > 0; --copy) {
        if (faulty && fault.pieceSize > 0) {
            for (size_t at = 0; at < bytes.size(); at += fault.pieceSize) {
                const size_t end = std::min(bytes.size(), at + fault.pieceSize);
                sendAt(due, std::vector<uint8_t>(bytes.begin() + long(at), bytes.begin() + long(end)));
                due += int64_t(fault.piecePauseMs) * 1000;
            }
        } else {
            sendAt(due, bytes);
        }
        due += int64_t(fault.repeatAfterMs) * 1000;
        ++repliesSent_;
    }
}

void KeyDeviceSim::queueReport(uint8_t slotByte) {
    std::vector<uint8_t> data(kDataBytes, 0);
    // A key's serial number in the bytes before the slot; the program reads only R[10].
    ++keySerial_;
    data[0] = 0x01;
    for (int i = 0; i < 4; ++i)
        data[size_t(1 + i)] = uint8_t(keySerial_ >> (8 * i));
    data[kReportSlotByte - 2] = slotByte;
    sendAt(std::max(nowUs(), lastQueuedUs()), replyFrame(kStatusAccepted, data));
    ++reportsSent_;
}

} // namespace sim
