#include "keys/KeyFrames.h"

namespace KeyLink {

std::array<uint8_t, kRequestSize> buildKeyRequest(uint8_t command, uint8_t p1, uint8_t p2, uint8_t p3,
                                                  uint8_t p4) {
    std::array<uint8_t, kRequestSize> frame{kRequestStart, kRequestLength, command, p1, p2, p3, p4, 0, 0};
    uint16_t sum = 0;
    for (int i = 1; i <= 6; ++i)
        sum = static_cast<uint16_t>(sum + frame[i]);
    frame[7] = static_cast<uint8_t>(sum & 0xFF);
    frame[8] = static_cast<uint8_t>(sum >> 8);
    return frame;
}

KeyReplyCheck checkKeyReply(const uint8_t* bytes, int count) {
    if (count < 1 || bytes[0] < 2) return KeyReplyCheck::BadLength;
    const int length = bytes[0];
    int arrived = count - 1;
    if (arrived > length - 1) arrived = length - 1;
    // With one byte missing the reply is still checked; with two or more it is refused unchecked.
    if (arrived < length - 2 || arrived == 0) return KeyReplyCheck::Incomplete;
    const int checkAt = arrived; // index of the last byte that arrived
    uint8_t sum = 0;
    for (int i = 0; i < checkAt; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum == bytes[checkAt] ? KeyReplyCheck::Ok : KeyReplyCheck::BadCheck;
}

} // namespace KeyLink
