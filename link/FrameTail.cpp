#include "link/FrameTail.h"

#include "base/Wipe.h"

#include <array>

namespace Link {

int purgeFollowingFrames(SerialLine& line, FrameTail& tail) {
    std::array<uint8_t, 256> waiting{};
    int total = 0;
    while (total < 4096) {
        const int n = line.takeWaiting(waiting.data(), static_cast<int>(waiting.size()));
        if (n <= 0) break;
        tail.passOver(waiting.data(), n);
        total += n;
    }
    wipe(waiting.data(), waiting.size()); // what was waiting may be a code
    line.purgeInput();
    return total;
}

} // namespace Link
