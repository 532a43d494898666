#include "sim/ControlUnitSim.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint8_t kRequestStart = 0xAF;
constexpr uint8_t kReplyStart = 0xFA;
constexpr uint8_t kRead = 0x55, kWriteParameters = 0x56, kWritePartition = 0x59, kReadPartitions = 0x5A,
                  kWriteUser = 0x5C, kReadUsers = 0x5D;
// A request that stops half-way is dropped after this long without a byte, so that the next start
// byte begins a new frame.
constexpr int64_t kPartialFrameUs = 100000;
constexpr size_t kMaxTextBytes = 200;             // keeps every reply within a one-byte length
constexpr size_t kMaxKeptText = 21;               // characters of a descriptor written with command 3
constexpr int64_t kByteUs = 10 * 1000000 / 57600; // 10 bits a byte at 57600 baud

uint8_t swapped(uint8_t b) {
    return static_cast<uint8_t>((b << 4) | (b >> 4));
}

uint16_t codeFrom(uint8_t highSwapped, uint8_t lowSwapped) {
    return static_cast<uint16_t>(swapped(highSwapped) << 8 | swapped(lowSwapped));
}

bool digitsOnly(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

ControlUnitSim::ControlUnitSim() : requests_([this] { return nowMs(); }) {
    descriptorTable_.fill(255);
    for (Expander& e : expanders_)
        e.userCodes.fill(0xFFFF);
}

ControlUnitSim::~ControlUnitSim() {
    // The serving thread calls this class's handlers: it must end before the members go.
    stop();
}

// --- framing -------------------------------------------------------------------------------------

uint16_t ControlUnitSim::sum16(const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

std::vector<uint8_t> ControlUnitSim::replyFrame(uint8_t status, uint8_t echo,
                                                const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame;
    frame.reserve(data.size() + 6);
    frame.push_back(kReplyStart);
    frame.push_back(static_cast<uint8_t>(data.size() + 6));
    frame.push_back(status);
    frame.push_back(echo);
    frame.insert(frame.end(), data.begin(), data.end());
    const uint16_t sum = sum16(frame.data() + 1, frame.size() - 1);
    frame.push_back(static_cast<uint8_t>(sum & 0xFF));
    frame.push_back(static_cast<uint8_t>(sum >> 8));
    return frame;
}

std::vector<uint8_t> ControlUnitSim::codeBytesOf(const std::string& digits) {
    // Each decimal digit is one hexadecimal nibble; four digits stand for their two bytes twice.
    if (!digitsOnly(digits) || digits.size() > 8) return {};
    std::string text = digits;
    if (text.size() <= 4)
        text = std::string(4 - text.size(), '0') + text + std::string(4 - text.size(), '0') + text;
    else
        text = std::string(8 - text.size(), '0') + text;
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 4; ++i) {
        const int high = text[2 * i] - '0', low = text[2 * i + 1] - '0';
        bytes.push_back(static_cast<uint8_t>(low << 4 | high)); // the pair with its digits exchanged
    }
    if (bytes[2] == 0) bytes.resize(2); // the short form: neither the third nor the fourth byte travels
    return bytes;
}

// --- settings ------------------------------------------------------------------------------------

void ControlUnitSim::setAccessCode(const std::string& digits) {
    std::lock_guard<std::mutex> lock(mutex_);
    accessCode_ = digits;
}

void ControlUnitSim::setConsoleCode(const std::string& digits) {
    std::lock_guard<std::mutex> lock(mutex_);
    consoleCode_ = digits;
}

void ControlUnitSim::setAcceptDefaultCode(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    acceptDefault_ = on;
}

void ControlUnitSim::setLocalLineDefaultCode(const std::array<uint8_t, 4>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    localLineDefault_ = bytes;
}

void ControlUnitSim::setLocalLine(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    localLine_ = on;
}

void ControlUnitSim::setAccessStatus(int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    forcedAccessStatus_ = status;
}

ControlUnitSim::Expander ControlUnitSim::expander(int address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return address >= 0 && address < kExpanders ? expanders_[address] : Expander{};
}

void ControlUnitSim::setExpander(int address, const Expander& expander) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (address >= 0 && address < kExpanders) expanders_[address] = expander;
}

void ControlUnitSim::setConfigured(int address, bool configured) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (address >= 0 && address < kExpanders) expanders_[address].configured = configured;
}

std::array<uint8_t, 256> ControlUnitSim::expanderTable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return expanderTableLocked();
}

std::array<uint8_t, 256> ControlUnitSim::expanderTableLocked() const {
    std::array<uint8_t, 256> table{};
    for (int a = 0; a < kExpanders; ++a) {
        table[4 * a] = static_cast<uint8_t>((expanders_[a].configured ? 0x80 : 0x00) | 0x11);
        table[4 * a + 1] = static_cast<uint8_t>(a);
        table[4 * a + 2] = 0x00;
        table[4 * a + 3] = 0xFF;
    }
    return table;
}

void ControlUnitSim::setHasDescriptorTable(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    hasDescriptorTable_ = on;
}

std::array<uint8_t, ControlUnitSim::kSlots> ControlUnitSim::descriptorTable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return descriptorTable_;
}

void ControlUnitSim::setDescriptorSlot(int slot, uint8_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot >= 0 && slot < kSlots) descriptorTable_[slot] = value;
}

void ControlUnitSim::setDescriptorTable(const std::array<uint8_t, kSlots>& table) {
    std::lock_guard<std::mutex> lock(mutex_);
    descriptorTable_ = table;
}

std::string ControlUnitSim::descriptorText(int number) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return number >= 0 && number < kDescriptors ? texts_[number] : std::string();
}

void ControlUnitSim::setDescriptorText(int number, const std::string& bytes1251) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (number >= 0 && number < kDescriptors) texts_[number] = bytes1251.substr(0, kMaxTextBytes);
}

void ControlUnitSim::setRelayLatencyMs(unsigned ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    relayLatencyMs_ = ms;
}

void ControlUnitSim::addFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(fault);
}

void ControlUnitSim::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

size_t ControlUnitSim::pendingFaults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(
        std::count_if(faults_.begin(), faults_.end(), [](const Fault& f) { return f.times != 0; }));
}

std::vector<ControlUnitSim::Frame> ControlUnitSim::frames() const {
    return requests_.all();
}

std::vector<ControlUnitSim::Frame> ControlUnitSim::framesOf(uint8_t command) const {
    return requests_.of(command);
}

void ControlUnitSim::clearFrames() {
    requests_.clear();
}

std::vector<uint8_t> ControlUnitSim::strayBytes() const {
    return requests_.stray();
}

bool ControlUnitSim::waitForFrames(size_t count, unsigned timeoutMs) const {
    return requests_.waitFor(count, timeoutMs);
}

int ControlUnitSim::repliesSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return repliesSent_;
}

// --- serving -------------------------------------------------------------------------------------

void ControlUnitSim::onBytes(const uint8_t* bytes, size_t count) {
    for (const RequestFrame& request : requests_.take(bytes, count))
        handleFrame(request);
}

void ControlUnitSim::onIdle() {
    requests_.dropStale(kPartialFrameUs);
}

int64_t ControlUnitSim::nextTimedUs() const {
    return requests_.staleAtUs(kPartialFrameUs);
}

void ControlUnitSim::handleFrame(const RequestFrame& request) {
    if (!request.checksumOk) return; // the control unit ignores a request it cannot trust
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<uint8_t>& frame = request.bytes;
    Reply reply;
    int expanderCommand = -1;
    // A pseudo-terminal carries the request at once; at line speed its last byte would arrive only
    // after the line time of the whole frame, and the reply cannot start before.
    const int64_t earliestUs = pacing() ? request.startUs + static_cast<int64_t>(frame.size()) * kByteUs : 0;
    if (answerTo(frame, reply, expanderCommand)) queueReply(reply, frame[2], expanderCommand, earliestUs);
}

bool ControlUnitSim::answerTo(const std::vector<uint8_t>& frame, Reply& reply, int& expanderCommand) {
    const size_t n = frame[1];
    const uint8_t command = frame[2];
    const uint8_t arg = n > 3 ? frame[3] : 0;
    switch (command) {
    case 0:
        reply = accessReply(frame);
        return true;
    case 1:
        return relay(frame, reply, expanderCommand);
    case 2:
        // Only the three-byte fetch frame asks for an expander's answer. A longer command 2 is the
        // key programmer's table request reaching the control unit, which refuses it as it refuses
        // a wrong access code.
        if (n != 3) {
            reply = {7, command, {}};
            return true;
        }
        reply = fetch(expanderCommand);
        return true;
    case 3: {
        // AF, len + 8, 3, code, len + 1 (0 without text), slot high, slot low, text, 0, checksum.
        // A frame whose lengths disagree, whose text is not ended by its 0 byte, or whose text and
        // code do not go together (a text for a standard code or for none, a descriptor number
        // without a text) is refused and changes nothing.
        const size_t textLength = n >= 8 && frame[4] > 0 ? frame[4] - 1u : 0u;
        const bool textDescriptor = arg < kDescriptors;
        if (n < 8 || n != 8 + textLength || frame[7 + textLength] != 0 || textDescriptor != (frame[4] > 0) ||
            (textDescriptor && textLength == 0)) {
            reply = {kStatusRefused, command, {}};
            return true;
        }
        const int slot = frame[5] << 8 | frame[6];
        if (!hasDescriptorTable_ || slot >= kSlots) {
            reply = {hasDescriptorTable_ ? kStatusRefused : kStatusNoTable, command, {}};
            return true;
        }
        descriptorTable_[slot] = arg;
        // The unit keeps the first 21 characters of a longer text.
        if (textDescriptor)
            texts_[arg] = std::string(
                frame.begin() + 7, frame.begin() + 7 + static_cast<long>(std::min(textLength, kMaxKeptText)));
        reply = {kStatusDone, command, {}};
        return true;
    }
    case 4: {
        if (!hasDescriptorTable_ || arg >= kDescriptors) {
            reply = {hasDescriptorTable_ ? kStatusRefused : kStatusNoTable, command, {}};
            return true;
        }
        std::vector<uint8_t> data(texts_[arg].begin(), texts_[arg].end());
        data.push_back(0);
        reply = {kStatusDone, command, data};
        return true;
    }
    case 5:
        if (!hasDescriptorTable_) {
            reply = {kStatusNoTable, arg, std::vector<uint8_t>(32, 0xFF)};
        } else if (arg < 16) {
            reply = {kStatusDone, arg,
                     std::vector<uint8_t>(descriptorTable_.begin() + 32 * arg,
                                          descriptorTable_.begin() + 32 * arg + 32)};
        } else {
            reply = {kStatusRefused, arg, {}};
        }
        return true;
    case 6:
        if (arg < 8) {
            const auto table = expanderTableLocked();
            reply = {kStatusDone, arg,
                     std::vector<uint8_t>(table.begin() + 32 * arg, table.begin() + 32 * arg + 32)};
        } else {
            reply = {kStatusRefused, arg, {}};
        }
        return true;
    default:
        reply = {kStatusRefused, command, {}};
        return true;
    }
}

ControlUnitSim::Reply ControlUnitSim::accessReply(const std::vector<uint8_t>& frame) {
    const size_t n = frame[1];
    const std::vector<uint8_t> sent(frame.begin() + 3, frame.begin() + static_cast<long>(n));
    if (forcedAccessStatus_ >= 0) return {static_cast<uint8_t>(forcedAccessStatus_), 0, {}};

    std::vector<std::vector<uint8_t>> accepted;
    if (localLine_) {
        accepted.push_back(codeBytesOf(consoleCode_));
        accepted.emplace_back(localLineDefault_.begin(), localLineDefault_.end());
    } else {
        accepted.push_back(codeBytesOf(accessCode_));
        if (acceptDefault_) accepted.push_back({0x33, 0x33, 0x77, 0x77});
    }
    const auto matches = [&sent](const std::vector<uint8_t>& code) {
        if (code.empty()) return false;
        if (sent.size() == 2) // the short form stands for a code whose third byte is 0
            return code[0] == sent[0] && code[1] == sent[1] && (code.size() == 2 || code[2] == 0);
        return sent.size() == 4 && code.size() == 4 && code == sent;
    };
    const bool ok = std::any_of(accepted.begin(), accepted.end(), matches);
    if (!localLine_) return {static_cast<uint8_t>(ok ? 8 : 7), 0, {}};
    // Over the local line every access request is answered with 0; the unit identifies itself only
    // after its own codes, by the parameter block of its expander, which the program fetches without
    // relaying anything first.
    answer_ = {};
    for (int a = 1; ok && a <= 3; ++a) {
        if (expanders_[a].configured) {
            answer_ = {
                true, kRead, {expanders_[a].parameters.begin(), expanders_[a].parameters.end()}, nowMs()};
            break;
        }
    }
    return {0, 0, {}};
}

bool ControlUnitSim::relay(const std::vector<uint8_t>& frame, Reply& reply, int& expanderCommand) {
    const size_t n = frame[1];
    if (n < 5) {
        reply = {kStatusRefused, 1, {}};
        return true;
    }
    const uint8_t line = frame[3];
    const uint8_t command = frame[4];
    expanderCommand = command;
    const bool addressOk = (line & 1) && line < 2 * kExpanders;
    Expander* e = addressOk ? &expanders_[line >> 1] : nullptr;
    const uint32_t ready = nowMs() + relayLatencyMs_;
    const uint8_t* data = frame.data() + 5;
    const size_t dataCount = n - 5;

    switch (command) {
    case kRead:
    case kReadPartitions:
    case kReadUsers: {
        if (n != 5 && n != 7) {
            reply = {kStatusRefused, command, {}};
            return true;
        }
        answer_ = {};
        if (e && e->configured) {
            std::vector<uint8_t> answer;
            if (command == kRead) {
                answer.assign(e->parameters.begin(), e->parameters.end());
            } else if (command == kReadPartitions) {
                for (int k = 0; k < 8; ++k) {
                    answer.push_back(e->partitionNumbers[k]);
                    answer.push_back(e->partitionMasks[k]);
                }
            } else {
                const uint8_t block = n == 7 ? frame[5] : 0;
                if (localLine_ && block >= 1 && block <= 4) {
                    for (int j = 0; j < 8; ++j) {
                        const uint16_t code = e->userCodes[(block - 1) * 8 + j];
                        answer.push_back(static_cast<uint8_t>(code >> 8));
                        answer.push_back(static_cast<uint8_t>(code & 0xFF));
                    }
                } else {
                    answer.assign(e->userMasks.begin(), e->userMasks.end());
                }
            }
            answer_ = {true, command, answer, ready};
        }
        reply = {kStatusDone, command, {}};
        return true;
    }
    case kWriteParameters:
    case kWritePartition:
    case kWriteUser: {
        // Writes are not answered at once: the program fetches the expander's echo with command 2.
        const size_t needed = command == kWriteParameters ? 18 : 7;
        if (dataCount < needed) return false;
        answer_ = {};
        if (e && e->configured) {
            if (e->forgetWrites != 0) {
                if (e->forgetWrites > 0) --e->forgetWrites;
            } else {
                applyWrite(*e, command, data, dataCount);
            }
            // The echo of a partition's or a user's write carries its code bytes too, as sent.
            answer_ = {true, command, {data, data + (command == kWriteParameters ? 2 : 4)}, ready};
        }
        return false;
    }
    default:
        if (n > 7) return false;
        reply = {kStatusRefused, command, {}};
        return true;
    }
}

void ControlUnitSim::applyWrite(Expander& e, uint8_t command, const uint8_t* data, size_t) {
    if (command == kWriteParameters) {
        std::copy(data, data + 18, e.parameters.begin());
    } else if (command == kWritePartition) {
        // number, mask, code high, code low (digits exchanged), partition index 0..7, 0, 0
        const uint8_t index = data[4];
        if (index >= 8) return;
        e.partitionNumbers[index] = data[0];
        e.partitionMasks[index] = data[1];
        e.partitionCodes[index] = codeFrom(data[2], data[3]);
    } else {
        // user, mask, code high, code low (digits exchanged), user again, 0, 0
        const uint8_t user = data[0];
        if (user >= 31) return;
        e.userMasks[user] = data[1];
        e.userCodes[user] = codeFrom(data[2], data[3]);
    }
    ++e.writesApplied;
}

ControlUnitSim::Reply ControlUnitSim::fetch(int& expanderCommand) {
    if (answer_.present) expanderCommand = answer_.command;
    if (!answer_.present || nowMs() < answer_.readyAtMs) return {kStatusNotReady, 0, {}};
    return {kStatusDone, answer_.command, answer_.data};
}

void ControlUnitSim::queueReply(const Reply& reply, uint8_t command, int expanderCommand,
                                int64_t earliestUs) {
    Reply r = reply;
    const Fault* fault = nullptr;
    for (Fault& f : faults_) {
        if (f.times == 0) continue;
        if (f.command >= 0 && f.command != command) continue;
        if (f.expanderCommand >= 0 && f.expanderCommand != expanderCommand) continue;
        if (f.skip > 0) {
            --f.skip;
            continue;
        }
        if (f.times > 0) --f.times;
        fault = &f;
        break;
    }
    int64_t due = std::max({nowUs(), earliestUs, lastQueuedUs()});
    if (!fault) {
        sendAt(due, replyFrame(r.status, r.echo, r.data));
        ++repliesSent_;
        return;
    }
    if (fault->silent) return;
    if (fault->keyDeviceSignature) r = {kStatusKeyDevice, 0, std::vector<uint8_t>(32, 0)};
    if (fault->status >= 0) r.status = static_cast<uint8_t>(fault->status);
    if (fault->echo >= 0) r.echo = static_cast<uint8_t>(fault->echo);
    if (fault->dataLength >= 0) r.data.resize(static_cast<size_t>(fault->dataLength), 0);
    std::vector<uint8_t> bytes = replyFrame(r.status, r.echo, r.data);
    if (fault->lengthByte >= 0) {
        bytes[1] = static_cast<uint8_t>(fault->lengthByte);
        const uint16_t sum = sum16(bytes.data() + 1, bytes.size() - 3);
        bytes[bytes.size() - 2] = static_cast<uint8_t>(sum & 0xFF);
        bytes[bytes.size() - 1] = static_cast<uint8_t>(sum >> 8);
    }
    if (fault->badChecksum) bytes[bytes.size() - 2] = static_cast<uint8_t>(bytes[bytes.size() - 2] + 1);
    if (fault->cutTo >= 0 && static_cast<size_t>(fault->cutTo) < bytes.size())
        bytes.resize(static_cast<size_t>(fault->cutTo));
    bytes.insert(bytes.begin(), fault->noiseBefore.begin(), fault->noiseBefore.end());
    due += static_cast<int64_t>(fault->delayMs) * 1000;
    for (int copy = fault->twice ? 2 : 1; copy > 0; --copy) {
        ++repliesSent_;
        const size_t piece = fault->pieceSize == 0 ? bytes.size() : fault->pieceSize;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            const size_t end = std::min(bytes.size(), at + piece);
            sendAt(due, std::vector<uint8_t>(bytes.begin() + static_cast<long>(at),
                                             bytes.begin() + static_cast<long>(end)));
            if (end < bytes.size()) due += static_cast<int64_t>(fault->piecePauseMs) * 1000;
        }
        // The copy starts once the first has gone out (at line speed when paced).
        due += (pacing() ? static_cast<int64_t>(bytes.size()) * kByteUs : 0) +
               static_cast<int64_t>(fault->repeatAfterMs) * 1000;
    }
}

} // namespace sim
