// Feeds arbitrary bytes to the key-programming device's reply receiver.
#include "FuzzSupport.h"
#include "keys/KeyLink.h"
#include "link/Link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::installQuietEnvironment();

    auto* line = new fuzz::FuzzLine(data, size);
    Link::adoptPort(line);
    for (int round = 0; round < 64 && Link::portOpen() && !line->exhausted(); ++round)
        KeyLink::ReceiveKeyReply();
    if (Link::portOpen()) KeyLink::SendKeyCommand(2, 0, 0, 0, 0, 2);
    Link::ClosePort();
    return 0;
}
