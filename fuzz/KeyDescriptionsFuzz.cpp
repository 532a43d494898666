// Feeds arbitrary text to the key descriptions reader, line by line, as a loaded file is read.
#include "base/Text1251.h"
#include "keys/KeyDescriptionsFile.h"

#include <QByteArray>
#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QByteArray& raw : bytes.split('\n')) {
        QByteArray line = raw;
        if (line.endsWith('\r')) line.chop(1);
        const auto parsed = KeyDescriptionsFile::parseKeyDescriptionLine(fromCp1251(line));
        if (parsed && (parsed->slot < 0 || parsed->slot >= KeyLink::kSlots)) __builtin_trap();
    }
    return 0;
}
