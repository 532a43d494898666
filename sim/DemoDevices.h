#pragma once
#include "sim/ControlUnitSim.h"
#include "sim/KeyDeviceSim.h"

#include <memory>
#include <string>

namespace sim {

// The devices of the demonstration: on COM1 a control unit (access code 1234, engineer code 5678)
// with expanders at addresses 1, 2 and 5, each configured differently, and loop descriptions of both
// kinds; on COM2 a key-programming device holding a few keys. The end-to-end tests use the same
// devices.
struct DemoDevices {
    ControlUnitSim controlUnit;
    KeyDeviceSim keyDevice;

    static constexpr const char* kAccessCode = "12345678";

    // Fills both devices with the demonstration data, starts them and links them into folder as
    // ttyS0 (COM1) and ttyS1 (COM2). False when a pseudo-terminal cannot be made.
    bool start(const std::string& folder);
    void stop();
};

// The demonstration configuration of expander 1, 2 or 5.
ControlUnitSim::Expander demoExpander(int address);

} // namespace sim
