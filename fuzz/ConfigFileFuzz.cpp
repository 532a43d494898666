// Feeds arbitrary bytes to the configuration file reader, and checks that what it read survives a
// write and a second read unchanged.
#include "config/ConfigFile.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const CollectedConfig first = decodeConfigFile(bytes);
    const uint16_t mask = size > 1 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;
    const CollectedConfig second = decodeConfigFile(encodeConfigFile(first, mask));
    if (second.parameters != first.parameters || second.users != first.users ||
        second.globalPartitions != first.globalPartitions)
        __builtin_trap();
    return 0;
}
