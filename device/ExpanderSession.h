#pragma once
#include "config/ExpanderConfig.h"
#include "config/MainControls.h"

#include <array>
#include <cstdint>
#include <functional>

// The main window's device procedures: port selection and discovery, reading an expander,
// programming it and writing its loop descriptions. They talk to the device only through the
// link's requests and show and collect values through the main window's controls.
class ExpanderSession {
public:
    ExpanderSession(const MainControls& controls, ExpanderConfig& config, uint8_t& progressStep);

    void selectPort();      // ComboBox1Change
    void readExpander();    // ComboBox2Change, N7Click
    void programExpander(); // Button1Click, N6Click

    // Called when the access step finds the key-programming device on the chosen port: the main
    // window hands over to the key programmer window (N8Click and its port selection).
    std::function<void()> onKeyDeviceFound;

    const std::array<uint8_t, 256>& expanderTable() const { return expanderTable_; }
    const std::array<uint8_t, 512>& descriptorTable() const { return descriptorTable_; }
    int rememberedIndex() const { return rememberedIndex_; }

private:
    MainControls controls_;
    ExpanderConfig& config_;
    uint8_t& progressStep_;
    std::array<uint8_t, 256> expanderTable_{};
    std::array<uint8_t, 512> descriptorTable_{};
    int rememberedIndex_ = -1;
};
