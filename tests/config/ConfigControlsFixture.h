#pragma once
#include "base/Clock.h"
#include "config/ExpanderConfig.h"
#include "config/LoopLayout.h"
#include "config/MainControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTableWidget>
#include <memory>
#include <vector>

// The configuration controls of the main window, built from plain widgets sized like its grids.
struct TestControls {
    std::vector<std::unique_ptr<QCheckBox>> boxes;
    QComboBox exitDelay;
    QTableWidget loopGrid{21, 9};
    QTableWidget partitionsGrid{11, 9};
    QTableWidget usersGrid{10, 32};
    ConfigControls controls;

    TestControls() {
        for (int i = 0; i < 13; ++i) {
            boxes.push_back(std::make_unique<QCheckBox>());
            controls.checkBoxes[i] = boxes.back().get();
        }
        exitDelay.addItems(exitDelayItems());
        exitDelay.setCurrentIndex(0);
        controls.exitDelay = &exitDelay;
        controls.loopGrid = &loopGrid;
        controls.partitionsGrid = &partitionsGrid;
        controls.usersGrid = &usersGrid;
    }
};

// A clock whose tick count the test sets; counts the event pumps.
class FixedClock : public Clock::Backend {
  public:
    explicit FixedClock(uint32_t now = 0) : now_(now), previous_(Clock::install(this)) {}
    ~FixedClock() override { Clock::install(previous_); }
    uint32_t ticks() override { return now_; }
    void sleepMs(unsigned ms) override { now_ += ms; }
    void pumpEvents() override { ++pumps; }
    void set(uint32_t now) { now_ = now; }
    int pumps = 0;

  private:
    uint32_t now_;
    Clock::Backend* previous_;
};

// A configuration that uses every kind of loop, non-default codes and texts with Cyrillic letters.
// Fire loops leave first-byte bit 5 and second-byte bit 5 clear: the grid has no row for them.
inline ExpanderConfig sampleConfig() {
    ExpanderConfig config;
    config.parameters = {0xA5, 0x3C, 0x85, 0x50, 0xC2, 0x81, 0x41, 0x80, 0x00,
                         0x00, 0x6E, 0x7F, 0x9F, 0x5F, 0xD0, 0x08, 0x3B, 0xE0};
    config.loopDescriptions = {QStringLiteral("Кухня"),
                               QString(),
                               QStringLiteral("Чёрный ход"),
                               QStringLiteral("Склад №2"),
                               QString(),
                               QString(),
                               QString(),
                               QStringLiteral("Z")};
    for (int u = 0; u < kUserCount; ++u) {
        config.users[u].loopMask = uint8_t(u * 7);
        config.users[u].code = u % 2 ? kEmptyCode : uint16_t((u / 10) * 0x1010 + (u % 10) * 0x0101);
    }
    config.users[0].code = 0x9876;
    for (int p = 1; p <= kPartitionCount; ++p) {
        config.globalPartitions[p - 1].globalNumber = uint8_t(p * 30);
        config.globalPartitions[p - 1].loopMask = uint8_t(0x80 | (1 << (p - 1)));
        config.globalPartitions[p - 1].code = uint16_t(0x1000 * p + p);
    }
    return config;
}

inline CollectedConfig collectedOf(const ExpanderConfig& config) {
    CollectedConfig out;
    out.parameters = config.parameters;
    out.loopDescriptions = config.loopDescriptions;
    out.users = config.users;
    out.globalPartitions = config.globalPartitions;
    return out;
}
