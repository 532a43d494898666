#include "config/ConfigView.h"
#include "ConfigControlsFixture.h"
#include "DialogRecorder.h"
#include "base/GridCells.h"

#include <gtest/gtest.h>

namespace {

TEST(ConfigView, ShowingAndCollectingGiveBackTheRecord) {
    TestControls t;
    FixedClock clock;
    const ExpanderConfig config = sampleConfig();
    ShowConfig(config, t.controls, true);
    EXPECT_EQ(clock.pumps, 9); // after each loop column and after the partitions

    EXPECT_TRUE(t.boxes[0]->isChecked());  // byte 1 bit 0
    EXPECT_FALSE(t.boxes[2]->isChecked()); // byte 1 bit 2 set: lamp mode, box clear
    EXPECT_TRUE(t.boxes[11]->isChecked()); // byte 2 bit 6 clear: box ticked
    EXPECT_EQ(t.exitDelay.currentIndex(), 5);
    EXPECT_EQ(cellText(&t.loopGrid, 1, 1), "Дымовой пожарный");
    EXPECT_EQ(cellText(&t.loopGrid, 1, 8), "6");
    EXPECT_EQ(cellText(&t.loopGrid, 3, 16), "600 мс");
    EXPECT_EQ(cellText(&t.loopGrid, 3, 20), "Чёрный ход");
    EXPECT_EQ(cellText(&t.usersGrid, 1, 9), "9876");  // user 0
    EXPECT_EQ(cellText(&t.usersGrid, 13, 9), "1212"); // user 12
    EXPECT_EQ(cellText(&t.usersGrid, 2, 9), "FFFF");  // user 1
    EXPECT_EQ(cellText(&t.usersGrid, 2, 3), "+");     // user 1, mask 0x07, loop 3
    EXPECT_EQ(cellText(&t.usersGrid, 2, 4), "");
    EXPECT_EQ(cellText(&t.partitionsGrid, 8, 1), "240");
    EXPECT_EQ(cellText(&t.partitionsGrid, 8, 10), "8008");
    EXPECT_EQ(cellText(&t.partitionsGrid, 3, 4), "+"); // partition 3 has loop 3 (row 4)
    EXPECT_EQ(cellText(&t.partitionsGrid, 3, 9), "+"); // and loop 8 (row 9)
    EXPECT_EQ(cellText(&t.partitionsGrid, 3, 3), "");

    EXPECT_EQ(CollectConfig(t.controls), collectedOf(config));
}

TEST(ConfigView, DescriptionsAreShownOnlyWhenAskedFor) {
    TestControls t;
    FixedClock clock;
    setCellText(&t.loopGrid, 1, 20, "прежнее");
    ShowConfig(sampleConfig(), t.controls, false);
    EXPECT_EQ(cellText(&t.loopGrid, 1, 20), "прежнее");
    ShowConfig(sampleConfig(), t.controls, true);
    EXPECT_EQ(cellText(&t.loopGrid, 1, 20), "Кухня");
    ShowConfig(ExpanderConfig{}, t.controls, true);
    EXPECT_EQ(cellText(&t.loopGrid, 1, 20), "");
}

TEST(ConfigView, UntouchedControlsCollectAsAlarmLoopsAndEmptyCodes) {
    TestControls t;
    const CollectedConfig collected = CollectConfig(t.controls);
    EXPECT_EQ(collected.parameters[0], 0x04);
    EXPECT_EQ(collected.parameters[1], 0x40);
    for (int n = 1; n <= kLoopCount; ++n) {
        EXPECT_EQ(collected.parameters[2 * n], 0x01) << n;
        EXPECT_EQ(collected.parameters[2 * n + 1], 0x00) << n;
    }
    for (const UserEntry& user : collected.users)
        EXPECT_EQ(user, (UserEntry{0, 0xFFFF}));
    for (const PartitionEntry& partition : collected.globalPartitions)
        EXPECT_EQ(partition, (PartitionEntry{0, 0, 0xFFFF}));
    for (const QString& description : collected.loopDescriptions)
        EXPECT_TRUE(description.isEmpty());
}

TEST(ConfigView, FillLoopColumnTouchesOnlyRowsOneToNineteenOfItsColumn) {
    TestControls t;
    for (int column = 0; column < 9; ++column)
        for (int row = 0; row < 21; ++row)
            setCellText(&t.loopGrid, column, row, "x");
    ExpanderConfig config;
    config.parameters[6] = 0x0D; // loop 3: security, low bits 101, bit 3
    config.parameters[7] = 0x00;
    FillLoopColumn(config, t.controls, 3, 0); // picked as a smoke loop
    EXPECT_EQ(cellText(&t.loopGrid, 3, 1), "Дымовой пожарный");
    EXPECT_EQ(cellText(&t.loopGrid, 3, 8), "6");
    EXPECT_EQ(cellText(&t.loopGrid, 3, 9), "+");
    for (int row : {2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19})
        EXPECT_EQ(cellText(&t.loopGrid, 3, row), "") << row;
    EXPECT_EQ(cellText(&t.loopGrid, 3, 0), "x");
    EXPECT_EQ(cellText(&t.loopGrid, 3, 20), "x");
    for (int column : {0, 1, 2, 4, 5, 6, 7, 8})
        for (int row = 0; row < 21; ++row)
            EXPECT_EQ(cellText(&t.loopGrid, column, row), "x") << column << "," << row;
}

TEST(ConfigView, GlobalNumberIsAnIntegerTextKeptToEightBits) {
    TestControls t;
    const std::pair<const char*, uint8_t> cases[] = {{"0", 0},    {"7", 7},    {" 7", 7},   {"255", 255},
                                                     {"300", 44}, {"-1", 255}, {"$10", 16}, {"", 0},
                                                     {"abc", 0},  {"7 ", 0}};
    for (const auto& [text, number] : cases) {
        setCellText(&t.partitionsGrid, 2, 1, QString::fromUtf8(text));
        EXPECT_EQ(CollectPartition(t.controls, 2).globalNumber, number) << text;
    }
}

TEST(ConfigView, OnlyAPlainPlusSetsAMaskBit) {
    TestControls t;
    setCellText(&t.usersGrid, 31, 1, "+");
    setCellText(&t.usersGrid, 31, 2, " +");
    setCellText(&t.usersGrid, 31, 3, "++");
    setCellText(&t.usersGrid, 31, 8, "+");
    setCellText(&t.usersGrid, 31, 9, "12");
    EXPECT_EQ(CollectUser(t.controls, 30), (UserEntry{0x81, 0x12FF}));
    setCellText(&t.partitionsGrid, 1, 2, "+");
    setCellText(&t.partitionsGrid, 1, 9, "+");
    setCellText(&t.partitionsGrid, 1, 10, "zz");
    EXPECT_EQ(CollectPartition(t.controls, 1), (PartitionEntry{0, 0x81, 0xFFFF}));
}

TEST(ConfigView, PairNumberThatIsNoIntegerStopsCollectingWithItsMessage) {
    TestControls t;
    DialogRecorder recorder;
    setCellText(&t.loopGrid, 4, 1, "Тепловой пожарный");
    setCellText(&t.loopGrid, 4, 8, "пять");
    try {
        CollectConfig(t.controls);
        FAIL() << "collected a fire loop without a pair number";
    } catch (const ConversionError& error) {
        showConversionError(error);
    }
    ASSERT_EQ(recorder.entries.size(), 1u);
    EXPECT_EQ(recorder.entries[0].caption, applicationTitle());
    EXPECT_EQ(recorder.entries[0].text, "'пять' is not a valid integer value");
    EXPECT_EQ(recorder.entries[0].icon, MessageIcon::Error);
}

} // namespace
