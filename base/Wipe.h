#pragma once
#include <cstddef>
#include <cstdint>

// Overwrites memory that held a secret with zeros, in a way the compiler may not leave out as a
// store that nothing reads (which it may do with a plain fill before the memory is freed).
inline void wipe(void* memory, size_t count) {
    volatile auto* bytes = static_cast<volatile uint8_t*>(memory);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = 0;
}
