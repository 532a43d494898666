// The demonstration's devices for the serial driver (SerialDriver.cpp), on Linux: the control unit as
// FOLDER/ttyS0 (COM1) and the key-programming device as FOLDER/ttyS1 (COM2), on pseudo-terminals,
// until standard input ends. A key is touched to the key device 300 ms after each armed write. Then
// every frame each device received goes to FOLDER/control-unit.frames and FOLDER/key-device.frames,
// one frame a line in hexadecimal, the bytes that belonged to no frame last.
//
//   serial_e2e_devices FOLDER [--paced]
//
// --paced sends the replies at the line's speed, byte by byte.
#include "sim/DemoDevices.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr int kTouchAfterMs = 300;

bool writeFrames(const std::string& path, const std::vector<sim::RequestFrame>& frames,
                 const std::vector<uint8_t>& stray) {
    std::ofstream out(path);
    auto hex = [&](const std::vector<uint8_t>& bytes) {
        static const char digits[] = "0123456789abcdef";
        for (uint8_t b : bytes)
            out << digits[b >> 4] << digits[b & 15];
        out << '\n';
    };
    for (const sim::RequestFrame& frame : frames)
        hex(frame.bytes);
    out << "stray ";
    hex(stray);
    return bool(out);
}

} // namespace

int main(int argc, char** argv) {
    const bool paced = argc == 3 && std::string(argv[2]) == "--paced";
    if (argc != 2 && !paced) {
        std::fputs("usage: serial_e2e_devices FOLDER [--paced]\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    sim::DemoDevices devices;
    devices.controlUnit.setPacing(paced);
    devices.keyDevice.setPacing(paced);
    devices.keyDevice.setAutoTouchMs(kTouchAfterMs);
    if (!devices.start(folder)) {
        std::fputs("serial_e2e_devices: no pseudo-terminal for the devices\n", stderr);
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    devices.stop();
    const bool written = writeFrames(folder + "/control-unit.frames", devices.controlUnit.frames(),
                                     devices.controlUnit.strayBytes()) &&
                         writeFrames(folder + "/key-device.frames", devices.keyDevice.frames(),
                                     devices.keyDevice.strayBytes());
    return written ? 0 : 1;
}
