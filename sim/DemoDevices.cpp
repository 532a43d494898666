#include "sim/DemoDevices.h"

#include <array>

namespace sim {
namespace {

// Loop bytes: fire loops carry bit 7 (bit 6 for heat detectors) and the pair number - 1 in bits 0-2;
// security loops carry bit 0 for a 24-hour alarm loop and bit 6 for the 600 ms reaction time.
struct Loop {
    uint8_t first;
    uint8_t second;
};

ControlUnitSim::Expander makeExpander(uint8_t general1, uint8_t general2, const std::array<Loop, 8>& loops) {
    ControlUnitSim::Expander e;
    e.configured = true;
    e.parameters[0] = general1;
    e.parameters[1] = general2;
    for (int n = 0; n < 8; ++n) {
        e.parameters[2 + 2 * n] = loops[n].first;
        e.parameters[3 + 2 * n] = loops[n].second;
    }
    e.userCodes.fill(0xFFFF);
    return e;
}

void setUser(ControlUnitSim::Expander& e, int user, uint8_t mask, uint16_t code) {
    e.userMasks[user] = mask;
    e.userCodes[user] = code;
}

void setPartition(ControlUnitSim::Expander& e, int partition, uint8_t number, uint8_t mask, uint16_t code) {
    e.partitionNumbers[partition - 1] = number;
    e.partitionMasks[partition - 1] = mask;
    e.partitionCodes[partition - 1] = code;
}

// Text in code page 1251 from a UTF-8 literal of Cyrillic letters, spaces and digits.
std::string cp1251(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c == u'Ё')
            out += static_cast<char>(0xA8);
        else if (c == u'ё')
            out += static_cast<char>(0xB8);
        else if (c >= u'А' && c <= u'я')
            out += static_cast<char>(0xC0 + (c - u'А'));
        else
            out += static_cast<char>(c);
    }
    return out;
}

} // namespace

ControlUnitSim::Expander demoExpander(int address) {
    switch (address) {
    case 1: { // a flat: entrance door, rooms, a smoke pair and a panic button
        auto e = makeExpander(0x29, 0x44,
                              {{{0x10, 0x81},
                                {0x02, 0x01},
                                {0x00, 0x01},
                                {0x22, 0x03},
                                {0x80, 0x50},
                                {0x80, 0x10},
                                {0x41, 0x80},
                                {0xC7, 0x01}}});
        setUser(e, 0, 0xFF, 0x1234);
        setUser(e, 1, 0x0F, 0x1111);
        setUser(e, 2, 0x3F, 0x2222);
        setUser(e, 3, 0x01, 0x3333);
        setPartition(e, 1, 10, 0x0F, 0x0101);
        setPartition(e, 2, 11, 0x30, 0x0202);
        return e;
    }
    case 2: { // a shop: shutters, a safe on its own partition, heat detectors
        auto e = makeExpander(0x41, 0x01,
                              {{{0x00, 0x83},
                                {0x00, 0x03},
                                {0x08, 0x02},
                                {0x60, 0x20},
                                {0xC0, 0x90},
                                {0xC1, 0x10},
                                {0x01, 0x80},
                                {0x00, 0x00}}});
        setUser(e, 0, 0x7F, 0x1234);
        setUser(e, 1, 0x07, 0x4455);
        setUser(e, 3, 0x08, 0x7788);
        setUser(e, 5, 0x30, 0x9999);
        setPartition(e, 1, 20, 0x07, 0x0101);
        setPartition(e, 2, 21, 0x08, 0x0202);
        setPartition(e, 3, 22, 0x30, 0x0303);
        return e;
    }
    default: { // a warehouse, fire loops only but one gate
        auto e = makeExpander(0x00, 0x80,
                              {{{0x80, 0x08},
                                {0x81, 0x08},
                                {0x82, 0x48},
                                {0x83, 0x48},
                                {0x84, 0x08},
                                {0x85, 0x08},
                                {0xC6, 0x08},
                                {0x10, 0x04}}});
        setUser(e, 0, 0xFF, 0x1234);
        setUser(e, 1, 0x80, 0x5050);
        setPartition(e, 1, 50, 0x7F, 0x0101);
        setPartition(e, 2, 51, 0x80, 0x0202);
        return e;
    }
    }
}

bool DemoDevices::start(const std::string& folder) {
    controlUnit.setAccessCode(kAccessCode);
    for (int address : {1, 2, 5})
        controlUnit.setExpander(address, demoExpander(address));

    std::array<uint8_t, ControlUnitSim::kSlots> table;
    table.fill(255);
    // Expander 1: descriptions of its own and standard ones.
    table[1 * 8 + 0] = 163; // "Входная дверь"
    table[1 * 8 + 1] = 0;
    table[1 * 8 + 2] = 155; // "Спальня"
    table[1 * 8 + 3] = 168; // "Кухня"
    table[1 * 8 + 4] = 1;
    table[1 * 8 + 6] = 2;
    // Expander 2.
    table[2 * 8 + 0] = 3;
    table[2 * 8 + 1] = 4;
    table[2 * 8 + 2] = 175; // "Кладовая"
    table[2 * 8 + 4] = 5;
    // Expander 5.
    table[5 * 8 + 7] = 176; // "Участок"
    controlUnit.setDescriptorTable(table);
    controlUnit.setDescriptorText(0, cp1251(u"Гостиная окна"));
    controlUnit.setDescriptorText(1, cp1251(u"Дымовые коридор"));
    controlUnit.setDescriptorText(2, cp1251(u"Тревожная кнопка"));
    controlUnit.setDescriptorText(3, cp1251(u"Витрина"));
    controlUnit.setDescriptorText(4, cp1251(u"Рольставни"));
    controlUnit.setDescriptorText(5, cp1251(u"Торговый зал"));

    keyDevice.setSingleKey(0, true);           // key 1, expander 1, user 1
    keyDevice.setSingleKey(1, true);           // key 1, expander 1, user 2
    keyDevice.setSingleKey(30 + 2, true);      // key 1, expander 2, user 3
    keyDevice.setSingleKey(90 + 60 + 0, true); // key 2, expander 3, user 1
    keyDevice.setThreeExpanderKey(1, 5, true); // key 1 of user 5 for all three expanders

    if (!controlUnit.start() || !keyDevice.start()) return false;
    return controlUnit.linkAs(folder + "/ttyS0") && keyDevice.linkAs(folder + "/ttyS1");
}

void DemoDevices::stop() {
    controlUnit.stop();
    keyDevice.stop();
}

} // namespace sim
