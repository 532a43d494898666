// Reading an expander: every item onto the screen and into the record, the messages of the items
// that fail, the local-line code pages, the remembered list index and termination.

#include "SessionFixture.h"

#include "base/Text1251.h"
#include "config/Codes.h"

namespace {

const QString kLongText = QStringLiteral("Кухня на втором этаже слева"); // 27 characters

// The frames of one command that came after a given moment.
size_t framesAfter(const std::vector<Frame>& frames, uint32_t atMs) {
    return std::count_if(frames.begin(), frames.end(), [atMs](const Frame& f) { return f.atMs > atMs; });
}

// Time from a relayed request to the first fetch after it.
uint32_t pauseBeforeFetch(const Unit& unit, const Frame& request) {
    for (const Frame& f : unit.framesOf(Command::Fetch))
        if (f.atMs >= request.atMs) return f.atMs - request.atMs;
    return 0;
}

TEST_F(SessionTest, ReadShowsEveryItemOnScreenAndInTheRecord) {
    // Descriptor slots of expander 5, loops 1..8: a long text, a standard name, none, 150 (none),
    // a short text, an empty text, none, none.
    const uint8_t slotValues[8] = {7, 163, 255, 150, 0, 3, 255, 255};
    for (int n = 0; n < 8; ++n)
        unit.setDescriptorSlot(5 * 8 + n, slotValues[n]);
    unit.setDescriptorText(7, toCp1251(kLongText).toStdString());
    unit.setDescriptorText(0, "Hall");
    unit.setDescriptorText(3, "");
    ASSERT_NO_FATAL_FAILURE(connectWith({0, 5}));

    config.loopDescriptions = {"a", "b", "c", "d", "e", "f", "g", "h"};
    config.loadedFromFile = true;
    config.codesRead = true;
    expanders.setCurrentIndex(1);
    session->readExpander();

    EXPECT_EQ(dialogs.texts(), QStringList());
    const Unit::Expander e = unit.expander(5);
    EXPECT_EQ(config.address, 5);
    EXPECT_EQ(session->rememberedIndex(), 1);
    EXPECT_EQ(config.parameters, e.parameters);
    EXPECT_FALSE(config.loadedFromFile);
    EXPECT_FALSE(config.codesRead);
    EXPECT_TRUE(ports.isEnabled());
    EXPECT_TRUE(expanders.isEnabled());
    EXPECT_TRUE(progress.isHidden());
    EXPECT_EQ(progressStep, 1);

    // General properties and loop columns.
    EXPECT_EQ(exitDelay->currentIndex(), 3);
    EXPECT_TRUE(boxes[0]->isChecked());
    EXPECT_FALSE(boxes[2]->isChecked()); // inverted: bit [3] set
    EXPECT_EQ(cell(loopGrid, 1, 1), QStringLiteral("Дымовой пожарный"));
    EXPECT_EQ(cell(loopGrid, 1, kPairNumberRow), QStringLiteral("6"));
    EXPECT_EQ(cell(loopGrid, 2, 1), QStringLiteral("Тревожный"));
    EXPECT_EQ(cell(loopGrid, 2, kReactionTimeRow), QStringLiteral("600 мс"));
    EXPECT_EQ(cell(loopGrid, 3, 1), QStringLiteral("Тепловой пожарный"));

    // Descriptions: 21 characters of the long text; the standard name without a request; free
    // texts into the record, the others leave the record alone.
    const QStringList shown{kLongText.left(21), "Входная дверь", "", "", "Hall", "", "", ""};
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(cell(loopGrid, n, kDescriptionRow), shown[n - 1]) << n;
    const std::array<QString, 8> kept{kLongText.left(21), "b", "c", "d", "Hall", "", "g", "h"};
    EXPECT_EQ(config.loopDescriptions, kept);
    std::vector<int> asked;
    for (const Frame& f : unit.framesOf(Command::ReadDescriptor))
        asked.push_back(f.bytes[3]);
    EXPECT_EQ(asked, (std::vector<int>{7, 0, 3}));

    // Users with their masks and default codes; partitions with numbers, masks and default codes.
    for (int u = 0; u < kUserCount; ++u) {
        EXPECT_EQ(config.users[u].loopMask, e.userMasks[u]);
        EXPECT_EQ(config.users[u].code, defaultUserCode(u));
        for (int n = 1; n <= 8; ++n)
            EXPECT_EQ(cell(usersGrid, u + 1, n), (e.userMasks[u] >> (n - 1)) & 1 ? "+" : "") << u << " " << n;
    }
    EXPECT_EQ(cell(usersGrid, 1, kUserCodeRow), QStringLiteral("0000"));
    EXPECT_EQ(cell(usersGrid, 13, kUserCodeRow), QStringLiteral("1212"));
    EXPECT_EQ(cell(usersGrid, 31, kUserCodeRow), QStringLiteral("3030"));
    for (int p = 1; p <= kPartitionCount; ++p) {
        const PartitionEntry& entry = config.globalPartitions[p - 1];
        EXPECT_EQ(entry.globalNumber, e.partitionNumbers[p - 1]);
        EXPECT_EQ(entry.loopMask, e.partitionMasks[p - 1]);
        EXPECT_EQ(entry.code, defaultPartitionCode(p));
        EXPECT_EQ(cell(partitionsGrid, p, kGlobalNumberRow), QString::number(e.partitionNumbers[p - 1]));
        EXPECT_EQ(cell(partitionsGrid, p, p + 1), QStringLiteral("+"));
        EXPECT_EQ(cell(partitionsGrid, p, 9), QStringLiteral("+"));
        EXPECT_EQ(cell(partitionsGrid, p, kPartitionCodeRow), formatCode(defaultPartitionCode(p)));
    }

    // The items in order, each fetched after its pause.
    const auto parameters = relayed(ExpanderCommand::ReadParameters);
    const auto users = relayed(ExpanderCommand::ReadUsers);
    const auto partitions = relayed(ExpanderCommand::ReadPartitions);
    ASSERT_EQ(parameters.size(), 1u);
    ASSERT_EQ(users.size(), 1u);
    ASSERT_EQ(partitions.size(), 1u);
    EXPECT_EQ(parameters[0].bytes[3], 11); // expander 5 on the line
    EXPECT_LE(parameters[0].atMs, unit.framesOf(Command::ReadDescriptor)[0].atMs);
    EXPECT_LE(unit.framesOf(Command::ReadDescriptor).back().atMs, users[0].atMs);
    EXPECT_LE(users[0].atMs, partitions[0].atMs);
    EXPECT_GE(pauseBeforeFetch(unit, parameters[0]), 200u);
    EXPECT_GE(pauseBeforeFetch(unit, users[0]), 500u);
    EXPECT_LT(pauseBeforeFetch(unit, users[0]), 1000u);
    EXPECT_GE(pauseBeforeFetch(unit, partitions[0]), 300u);
}

// An item that cannot be requested or fetched stops the read with its message; what was read
// stays, and what follows is not asked for.
TEST_F(SessionTest, ReadStopsAtTheItemThatFails) {
    struct Case {
        const char* message;
        int command;
        uint8_t expanderCommand;
        bool progressLeftRunning;
        bool readsToTheEnd;
        uint8_t lastRelayed;
    } cases[] = {
        {"Ошибка запроса параметров", Command::Relay, ExpanderCommand::ReadParameters, false, false, 0x55},
        {"Ошибка чтения параметров", Command::Fetch, ExpanderCommand::ReadParameters, false, false, 0x55},
        {"Ошибка запроса локальных разделов", Command::Relay, ExpanderCommand::ReadUsers, false, false, 0x5D},
        {"Ошибка чтения локальных разделов", Command::Fetch, ExpanderCommand::ReadUsers, true, false, 0x5D},
        {"Ошибка запроса глобальных разделов", Command::Relay, ExpanderCommand::ReadPartitions, false, false,
         0x5A},
        {"Ошибка чтения глобальных разделов", Command::Fetch, ExpanderCommand::ReadPartitions, false, true,
         0x5A},
    };
    ASSERT_NO_FATAL_FAILURE(connectWith({0, 5}));
    const ExpanderConfig before = config;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        unit.clearFaults();
        unit.clearFrames();
        dialogs.clear();
        config = before;
        config.loadedFromFile = true;
        Unit::Fault f;
        f.command = c.command;
        f.expanderCommand = c.expanderCommand;
        f.times = -1;
        f.silent = true;
        unit.addFault(f);
        expanders.setCurrentIndex(1);

        session->readExpander();

        EXPECT_EQ(dialogs.texts(), QStringList{QString::fromUtf8(c.message)});
        EXPECT_TRUE(ports.isEnabled());
        EXPECT_TRUE(expanders.isEnabled());
        EXPECT_EQ(!progress.isHidden(), c.progressLeftRunning);
        EXPECT_EQ(config.loadedFromFile, !c.readsToTheEnd);
        EXPECT_EQ(config.address, 5);
        ASSERT_FALSE(unit.framesOf(Command::Relay).empty());
        EXPECT_EQ(unit.framesOf(Command::Relay).back().bytes[4], c.lastRelayed);
        // The parameters stay from expander 0 when they could not be read.
        if (c.expanderCommand == ExpanderCommand::ReadParameters)
            EXPECT_EQ(config.parameters, before.parameters);
        else
            EXPECT_EQ(config.parameters, unit.expander(5).parameters);
        progress.hide();
    }
}

TEST_F(SessionTest, FailedAccessReturnsTheListToTheLastReadExpander) {
    ASSERT_NO_FATAL_FAILURE(connectWith({0, 5}));
    expanders.setCurrentIndex(1);
    unit.setAccessStatus(7);

    session->readExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{"Неверный код доступа"});
    EXPECT_EQ(expanders.currentIndex(), 0);
    EXPECT_EQ(session->rememberedIndex(), 0);
    EXPECT_EQ(config.address, 0);
    EXPECT_TRUE(ports.isEnabled());
    EXPECT_TRUE(expanders.isEnabled());
    EXPECT_TRUE(unit.framesOf(Command::Relay).empty());
}

TEST_F(SessionTest, LocalLineReadsTheCodePagesAndNoPartitions) {
    unit.setLocalLine(true);
    accessCode.setText(QStringLiteral("1234"));
    ASSERT_NO_FATAL_FAILURE(connectWith({1, 2}));
    // The port selection read expander 1 with all four code pages.
    EXPECT_TRUE(config.codesRead);
    const Unit::Expander one = unit.expander(1);
    for (int u = 0; u < kUserCount; ++u)
        EXPECT_EQ(config.users[u].code, one.userCodes[u]) << u;
    EXPECT_EQ(config.extraCode, 0xBEEF);
    EXPECT_EQ(cell(usersGrid, 5, kUserCodeRow), formatCode(one.userCodes[4]));

    // Expander 2: the second page comes back with another length, which ends the code read.
    Unit::Fault shortPage;
    shortPage.command = Command::Fetch;
    shortPage.expanderCommand = ExpanderCommand::ReadUsers;
    shortPage.skip = 2; // the masks and the first page as they are
    shortPage.dataLength = 10;
    unit.addFault(shortPage);
    expanders.setCurrentIndex(1);
    config.codesRead = false;

    session->readExpander();

    EXPECT_EQ(dialogs.texts(), QStringList());
    const Unit::Expander two = unit.expander(2);
    EXPECT_TRUE(config.codesRead);
    for (int u = 0; u < kUserCount; ++u) {
        const uint16_t expected = u < 8 ? two.userCodes[u] : defaultUserCode(u);
        EXPECT_EQ(config.users[u].code, expected) << u;
        EXPECT_EQ(cell(usersGrid, u + 1, kUserCodeRow), formatCode(expected)) << u;
    }
    std::vector<int> blocks;
    for (const Frame& f : relayed(ExpanderCommand::ReadUsers))
        blocks.push_back(f.bytes[1] == 7 ? f.bytes[5] : 0);
    EXPECT_EQ(blocks, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(relayed(ExpanderCommand::ReadPartitions).empty());
    EXPECT_FALSE(config.loadedFromFile);
    // The masks are fetched 1500 ms after their request, the partitions' pause still happens.
    EXPECT_GE(pauseBeforeFetch(unit, relayed(ExpanderCommand::ReadUsers)[0]), 1500u);
    EXPECT_GE(unit.nowMs() - unit.frames().back().atMs, 300u);
}

TEST_F(SessionTest, ACodePageThatCannotBeFetchedKeepsScreenAndRecordAlike) {
    unit.setLocalLine(true);
    accessCode.setText(QStringLiteral("1234"));
    ASSERT_NO_FATAL_FAILURE(connectWith({1, 2}));
    Unit::Fault silent;
    silent.command = Command::Fetch;
    silent.expanderCommand = ExpanderCommand::ReadUsers;
    silent.skip = 2; // the masks and the first page as they are
    silent.times = -1;
    silent.silent = true;
    unit.addFault(silent);
    expanders.setCurrentIndex(1);

    session->readExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{"Ошибка чтения кодов локальных разделов"});
    const Unit::Expander two = unit.expander(2);
    for (int u = 0; u < kUserCount; ++u) {
        EXPECT_EQ(config.users[u].code, u < 8 ? two.userCodes[u] : defaultUserCode(u)) << u;
        EXPECT_EQ(cell(usersGrid, u + 1, kUserCodeRow), formatCode(config.users[u].code)) << u;
    }
}

TEST_F(SessionTest, TerminationDuringTheUsersPauseEndsTheReadSilently) {
    ASSERT_NO_FATAL_FAILURE(connectWith({0}));
    config.loadedFromFile = true;
    clock.when([this] { return !relayed(ExpanderCommand::ReadUsers).empty(); },
               [] { Clock::setTerminating(true); });

    session->readExpander();

    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_FALSE(ports.isEnabled());
    EXPECT_FALSE(expanders.isEnabled());
    EXPECT_TRUE(config.loadedFromFile);
    ASSERT_EQ(relayed(ExpanderCommand::ReadUsers).size(), 1u);
    EXPECT_EQ(framesAfter(unit.framesOf(Command::Fetch), relayed(ExpanderCommand::ReadUsers)[0].atMs), 0u);
}

} // namespace
