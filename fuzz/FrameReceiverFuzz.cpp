// Feeds arbitrary bytes to the control unit's frame receiver and to the fetch that reads over it.
#include "FuzzSupport.h"
#include "link/Link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::installQuietEnvironment();

    auto* line = new fuzz::FuzzLine(data, size);
    Link::adoptPort(line);
    for (int round = 0; round < 64 && Link::portOpen() && !line->exhausted(); ++round) {
        if (Link::ReceiveFrame()) {
            const int length = Link::R(0);
            if (length < 4 || length > 255) __builtin_trap(); // an accepted frame always has a sane length
        }
    }
    if (Link::portOpen()) Link::FetchReply(0x55);
    Link::ClosePort();
    return 0;
}
