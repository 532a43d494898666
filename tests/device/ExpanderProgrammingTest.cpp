// Programming an expander: what goes out for which change, confirmation by echo and read-back, the
// repeat question, progress, local-line differences and the guard against overlapping procedures.

#include "SessionFixture.h"

#include "base/Text1251.h"
#include "config/Codes.h"
#include "config/ConfigView.h"
#include "device/ExpanderFrames.h"

#include <functional>
#include <numeric>

namespace {

const QString kSuccess = QStringLiteral("Программирование расширителя успешно завершено");

// A request frame as it must appear on the line: the bytes given, then their 16-bit sum from the
// length byte on, low byte first.
std::vector<uint8_t> withChecksum(std::vector<uint8_t> bytes) {
    unsigned sum = 0;
    for (size_t i = 1; i < bytes.size(); ++i)
        sum += bytes[i];
    bytes.push_back(static_cast<uint8_t>(sum & 0xFF));
    bytes.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
    return bytes;
}

// The subject of each write frame: user index, partition index or descriptor slot.
std::vector<int> subjects(const std::vector<Frame>& frames, int offset) {
    std::vector<int> out;
    for (const Frame& f : frames)
        out.push_back(f.bytes[offset]);
    return out;
}

class ProgrammingTest : public SessionTest {
  protected:
    void toggle(QTableWidget& grid, int column, int row) {
        setCellText(&grid, column, row, cell(grid, column, row) == "+" ? QString() : QStringLiteral("+"));
    }
    void setForgetWrites(int address, int count) {
        Unit::Expander e = unit.expander(address);
        e.forgetWrites = count;
        unit.setExpander(address, e);
    }
    // Reads the expander again from a fresh state of the simulated one.
    void reset(int address) {
        dialogs.clear();
        unit.clearFaults();
        unit.setExpander(address, sampleExpander(address + 1));
        session->readExpander();
        ASSERT_EQ(dialogs.texts(), QStringList());
        unit.clearFrames();
        dialogs.clear();
        progressValues.clear();
    }
    Unit::Fault fault(int command, int expanderCommand, int times) {
        Unit::Fault f;
        f.command = command;
        f.expanderCommand = expanderCommand;
        f.times = times;
        return f;
    }
};

TEST_F(ProgrammingTest, NothingChangedSendsNoWriteButStillReadsBack) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));

    session->programExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    EXPECT_TRUE(relayed(ExpanderCommand::WritePartition).empty());
    EXPECT_TRUE(relayed(ExpanderCommand::WriteUser).empty());
    EXPECT_TRUE(relayed(ExpanderCommand::WriteParameters).empty());
    EXPECT_TRUE(relayed(ExpanderCommand::ReadParameters).empty());
    EXPECT_TRUE(unit.framesOf(Command::WriteDescriptor).empty());
    EXPECT_EQ(relayed(ExpanderCommand::ReadPartitions).size(), 1u);
    EXPECT_EQ(relayed(ExpanderCommand::ReadUsers).size(), 1u);
    EXPECT_EQ(progressValues, (std::vector<int>{20, 176, 190, 0}));
    EXPECT_EQ(progress.maximum(), 120);
    EXPECT_TRUE(progress.isHidden());
    EXPECT_TRUE(ports.isEnabled());
    EXPECT_TRUE(expanders.isEnabled());
    EXPECT_EQ(progressStep, 1);
}

TEST_F(ProgrammingTest, AfterAFileOpenEverythingIsWrittenAndTheFlagCleared) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    config.loadedFromFile = true;

    session->programExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    EXPECT_FALSE(config.loadedFromFile);
    const auto partitions = relayed(ExpanderCommand::WritePartition);
    const auto users = relayed(ExpanderCommand::WriteUser);
    EXPECT_EQ(subjects(partitions, 9), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    std::vector<int> allUsers(31);
    std::iota(allUsers.begin(), allUsers.end(), 0);
    EXPECT_EQ(subjects(users, 5), allUsers);
    EXPECT_EQ(relayed(ExpanderCommand::WriteParameters).size(), 1u);
    // Every description, the empty ones included, as "no description" into its slot.
    const auto descriptions = unit.framesOf(Command::WriteDescriptor);
    ASSERT_EQ(descriptions.size(), 8u);
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(descriptions[n].bytes,
                  withChecksum({0xAF, 8, 3, 255, 0, 0, static_cast<uint8_t>(40 + n), 0}));

    // Partition 1 as written down from the frame layout: number 61, mask 0x81, code 0101.
    const Unit::Expander before = sampleExpander(6);
    ASSERT_EQ(before.partitionNumbers[0], 61);
    EXPECT_EQ(partitions[0].bytes, withChecksum({0xAF, 12, 1, 11, 0x59, 61, 0x81, 0x10, 0x10, 0, 0, 0}));
    // User 0 always with its fixed code.
    EXPECT_EQ(users[0].bytes,
              withChecksum({0xAF, 12, 1, 11, 0x5C, 0, before.userMasks[0], 0x21, 0x43, 0, 0, 0}));

    const Unit::Expander after = unit.expander(5);
    EXPECT_EQ(after.userCodes[0], kUserZeroCode);
    EXPECT_EQ(config.users[0].code, kUserZeroCode);
    for (int u = 1; u < kUserCount; ++u)
        EXPECT_EQ(after.userCodes[u], defaultUserCode(u)) << u;
    for (int p = 0; p < 8; ++p)
        EXPECT_EQ(after.partitionCodes[p], defaultPartitionCode(p + 1)) << p;
    EXPECT_EQ(after.parameters, before.parameters);

    // Without the description row no description is written, even with everything else.
    unit.clearFrames();
    dialogs.clear();
    config.loadedFromFile = true;
    setLoopGridRows(&loopGrid, 20);
    session->programExpander();
    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    EXPECT_EQ(relayed(ExpanderCommand::WriteUser).size(), 31u);
    EXPECT_TRUE(unit.framesOf(Command::WriteDescriptor).empty());
}

TEST_F(ProgrammingTest, OnlyChangedItemsGoOutWithTheirCodes) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    // Partition 3: number 77 and loop 1 added. User 7: a two-digit code and loop 8 toggled.
    // User 0: another code in its cell. General property [1] cleared.
    setCellText(&partitionsGrid, 3, kGlobalNumberRow, QStringLiteral("77"));
    toggle(partitionsGrid, 3, 2);
    setCellText(&usersGrid, 8, kUserCodeRow, QStringLiteral("12"));
    toggle(usersGrid, 8, 8);
    setCellText(&usersGrid, 1, kUserCodeRow, QStringLiteral("9999"));
    boxes[0]->setChecked(false);
    const Unit::Expander before = unit.expander(5);
    const uint8_t partitionMask = before.partitionMasks[2] ^ 0x01;
    const uint8_t userMask = before.userMasks[7] ^ 0x80;

    session->programExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    const auto partitions = relayed(ExpanderCommand::WritePartition);
    ASSERT_EQ(partitions.size(), 1u);
    EXPECT_EQ(partitions[0].bytes,
              withChecksum({0xAF, 12, 1, 11, 0x59, 77, partitionMask, 0x30, 0x30, 2, 0, 0}));
    const auto users = relayed(ExpanderCommand::WriteUser);
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].bytes,
              withChecksum({0xAF, 12, 1, 11, 0x5C, 0, before.userMasks[0], 0x21, 0x43, 0, 0, 0}));
    EXPECT_EQ(users[1].bytes, withChecksum({0xAF, 12, 1, 11, 0x5C, 7, userMask, 0x21, 0xFF, 7, 0, 0}));
    const auto parameters = relayed(ExpanderCommand::WriteParameters);
    ASSERT_EQ(parameters.size(), 1u);
    ParameterBlock expected = before.parameters;
    expected[0] &= static_cast<uint8_t>(~0x01);
    std::vector<uint8_t> parameterFrame{0xAF, 23, 1, 11, 0x56};
    parameterFrame.insert(parameterFrame.end(), expected.begin(), expected.end());
    EXPECT_EQ(parameters[0].bytes, withChecksum(parameterFrame));
    EXPECT_EQ(relayed(ExpanderCommand::ReadParameters).size(), 1u);

    // The expander and the record hold what was written; user 0 its fixed code.
    const Unit::Expander after = unit.expander(5);
    EXPECT_EQ(after.partitionNumbers[2], 77);
    EXPECT_EQ(after.userCodes[7], 0x12FF);
    EXPECT_EQ(after.userCodes[0], kUserZeroCode);
    EXPECT_EQ(after.parameters, expected);
    EXPECT_EQ(config.globalPartitions[2], (PartitionEntry{77, partitionMask, defaultPartitionCode(3)}));
    EXPECT_EQ(config.users[7], (UserEntry{userMask, 0x12FF}));
    EXPECT_EQ(config.users[0].code, kUserZeroCode);
    EXPECT_EQ(config.parameters, expected);
}

TEST_F(ProgrammingTest, WritesNotConfirmedByEchoAreTriedThreeTimesAndCostProgress) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    toggle(usersGrid, 4, 1);
    toggle(partitionsGrid, 2, 2);
    // Echoes cut to one data byte: the fetch succeeds but the mask byte is not the one sent.
    Unit::Fault user = fault(Command::Fetch, ExpanderCommand::WriteUser, 3);
    user.dataLength = 1;
    Unit::Fault partition = fault(Command::Fetch, ExpanderCommand::WritePartition, 3);
    partition.dataLength = 1;
    unit.addFault(user);
    unit.addFault(partition);

    session->programExpander();

    // The read-back finds the writes applied, so the run still succeeds.
    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    EXPECT_EQ(subjects(relayed(ExpanderCommand::WritePartition), 9), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(subjects(relayed(ExpanderCommand::WriteUser), 5), (std::vector<int>{3, 3, 3}));
    EXPECT_EQ(progressValues, (std::vector<int>{20, 19, 18, 17, 176, 190, 0}));
}

TEST_F(ProgrammingTest, ReadBackDecidesWhatTheRecordTakesAndWhichErrorIsAsked) {
    struct Case {
        const char* name;
        bool changeUser;
        bool changePartition;
        bool changeParameters;
        int forgetWrites;
        std::vector<Unit::Fault> faults;
        QString question; // empty: the run succeeds
    };
    const auto silentFetch = [this](uint8_t expanderCommand) {
        Unit::Fault f = fault(Command::Fetch, expanderCommand, -1);
        f.silent = true;
        return std::vector<Unit::Fault>{f};
    };
    const std::vector<Case> cases = {
        {"user echoed but not kept", true, false, false, 1, {}, "Ошибка записи пользователей"},
        {"parameters not kept", false, false, true, 1, {}, "Ошибка записи параметров"},
        {"parameters take priority over users", true, false, true, 2, {}, "Ошибка записи параметров"},
        {"partition not kept", false, true, false, 1, {}, "Ошибка записи разделов"},
        {"partition read-back lost after a write", false, true, false, 0,
         silentFetch(ExpanderCommand::ReadPartitions), "Ошибка записи разделов"},
        {"partition read-back lost, nothing sent", false, false, false, 0,
         silentFetch(ExpanderCommand::ReadPartitions), ""},
        {"user read-back lost", false, false, false, 0, silentFetch(ExpanderCommand::ReadUsers),
         "Ошибка записи пользователей"},
        {"parameter read-back lost", false, false, true, 0, silentFetch(ExpanderCommand::ReadParameters),
         "Ошибка записи параметров"},
    };
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(reset(5));
        const ExpanderConfig before = config;
        if (c.changeUser) toggle(usersGrid, 4, 1);
        if (c.changePartition) toggle(partitionsGrid, 2, 2);
        if (c.changeParameters) boxes[1]->setChecked(!boxes[1]->isChecked());
        setForgetWrites(5, c.forgetWrites);
        for (const Unit::Fault& f : c.faults)
            unit.addFault(f);

        session->programExpander();

        if (c.question.isEmpty()) {
            EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
            continue;
        }
        ASSERT_EQ(dialogs.entries.size(), 1u);
        const DialogRecorder::Entry& asked = dialogs.entries[0];
        EXPECT_EQ(asked.kind, DialogRecorder::Kind::Question);
        EXPECT_EQ(asked.caption, QStringLiteral("Ошибка"));
        EXPECT_EQ(asked.text, c.question + QStringLiteral("\r\n   Повторить запись?"));
        EXPECT_EQ(asked.icon, MessageIcon::Warning);
        EXPECT_FALSE(asked.defaultYes);
        // No: the window shows again what the expander is known to hold.
        EXPECT_EQ(config.users[3], before.users[3]);
        EXPECT_EQ(config.globalPartitions[1], before.globalPartitions[1]);
        EXPECT_EQ(config.parameters, before.parameters);
        EXPECT_EQ(cell(usersGrid, 4, 1), (before.users[3].loopMask & 1) ? "+" : "");
        EXPECT_EQ(cell(partitionsGrid, 2, 2), (before.globalPartitions[1].loopMask & 1) ? "+" : "");
        EXPECT_EQ(boxes[1]->isChecked(), (before.parameters[0] & 0x02) != 0);
        EXPECT_TRUE(ports.isEnabled());
        EXPECT_TRUE(expanders.isEnabled());
        EXPECT_TRUE(progress.isHidden());
    }
}

TEST_F(ProgrammingTest, YesRepeatsTheRunWithOnlyTheUnconfirmedItems) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    toggle(usersGrid, 4, 1); // user 3
    toggle(usersGrid, 5, 2); // user 4
    setForgetWrites(5, 1);   // the first write (user 3) is echoed but not kept
    dialogs.answers = {true};

    session->programExpander();

    EXPECT_EQ(dialogs.texts(),
              (QStringList{QStringLiteral("Ошибка записи пользователей\r\n   Повторить запись?"), kSuccess}));
    EXPECT_EQ(unit.framesOf(Command::Access).size(), 2u);
    // The first run confirmed user 0 with its fixed code while its cell still shows 0000, so user 0
    // counts as changed and goes out again.
    EXPECT_EQ(subjects(relayed(ExpanderCommand::WriteUser), 5), (std::vector<int>{3, 4, 0, 3}));
    EXPECT_EQ(config.users[3].loopMask, unit.expander(5).userMasks[3]);
    EXPECT_EQ(config.users[4].loopMask, unit.expander(5).userMasks[4]);
}

TEST_F(ProgrammingTest, RepeatedYesLoopsUntilNoAndPutsTheRecordBack) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    const UserEntry before = config.users[3];
    toggle(usersGrid, 4, 1);
    setForgetWrites(5, -1); // never kept
    dialogs.answers = {true, true, true};

    session->programExpander();

    ASSERT_EQ(dialogs.entries.size(), 4u);
    for (const auto& entry : dialogs.entries)
        EXPECT_EQ(entry.kind, DialogRecorder::Kind::Question);
    EXPECT_EQ(subjects(relayed(ExpanderCommand::WriteUser), 5), (std::vector<int>{3, 0, 3, 0, 3, 0, 3}));
    EXPECT_EQ(config.users[3], before);
    EXPECT_EQ(cell(usersGrid, 4, 1), (before.loopMask & 1) ? "+" : "");
    EXPECT_FALSE(session->busy());
}

TEST_F(ProgrammingTest, LocalLineSendsNoPartitionsAndTakesOverWithoutReadBack) {
    unit.setLocalLine(true);
    accessCode.setText(QStringLiteral("1234"));
    ASSERT_NO_FATAL_FAILURE(connectWith({1}));
    config.globalPartitions[0] = PartitionEntry{9, 9, 9};
    toggle(usersGrid, 3, 3); // user 2
    boxes[1]->setChecked(!boxes[1]->isChecked());
    const ParameterBlock expected = CollectParameters(controls.config);

    session->programExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    EXPECT_TRUE(relayed(ExpanderCommand::WritePartition).empty());
    EXPECT_TRUE(relayed(ExpanderCommand::ReadPartitions).empty());
    EXPECT_TRUE(relayed(ExpanderCommand::ReadUsers).empty());
    EXPECT_TRUE(relayed(ExpanderCommand::ReadParameters).empty());
    EXPECT_EQ(subjects(relayed(ExpanderCommand::WriteUser), 5), (std::vector<int>{2}));
    EXPECT_EQ(relayed(ExpanderCommand::WriteParameters).size(), 1u);
    for (const PartitionEntry& p : config.globalPartitions)
        EXPECT_EQ(p, (PartitionEntry{0, 0, 0}));
    EXPECT_EQ(config.users[2].loopMask, unit.expander(1).userMasks[2]);
    EXPECT_EQ(config.users[0].code, kUserZeroCode);
    EXPECT_EQ(config.parameters, expected);
}

TEST_F(ProgrammingTest, APairNumberThatIsNotANumberStopsBeforeAnythingIsWritten) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    ASSERT_EQ(cell(loopGrid, 1, 1), QStringLiteral("Дымовой пожарный"));
    setCellText(&loopGrid, 1, kPairNumberRow, QStringLiteral("abc"));
    config.loadedFromFile = true;

    session->programExpander();

    ASSERT_EQ(dialogs.entries.size(), 1u);
    EXPECT_EQ(dialogs.entries[0].text, QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_EQ(commands(), (std::vector<uint8_t>{Command::Access}));
    EXPECT_TRUE(config.loadedFromFile);
    EXPECT_TRUE(ports.isEnabled());
    EXPECT_TRUE(expanders.isEnabled());
    EXPECT_TRUE(progress.isHidden());
    EXPECT_EQ(progress.maximum(), 120);
}

TEST_F(ProgrammingTest, TerminationDuringTheUsersReadBackEndsTheRunAtOnce) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    toggle(usersGrid, 4, 1);
    clock.when([this] { return !relayed(ExpanderCommand::ReadUsers).empty(); },
               [] { Clock::setTerminating(true); });

    session->programExpander();

    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_FALSE(ports.isEnabled());
    EXPECT_FALSE(expanders.isEnabled());
    EXPECT_TRUE(relayed(ExpanderCommand::WriteParameters).empty() &&
                relayed(ExpanderCommand::ReadParameters).empty());
}

// Clicks that arrive while a procedure waits on the line are ignored, so no two runs interleave.
TEST_F(ProgrammingTest, ProceduresStartedDuringAnotherAreIgnored) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    bool clicked = false;
    clock.at(100, [this, &clicked] {
        clicked = true;
        session->programExpander();
        session->readExpander();
        ports.setCurrentIndex(0);
        session->selectPort();
    });

    session->readExpander();

    EXPECT_TRUE(clicked);
    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_EQ(unit.framesOf(Command::Access).size(), 1u);
    EXPECT_EQ(relayed(ExpanderCommand::ReadParameters).size(), 1u);
    EXPECT_EQ(relayed(ExpanderCommand::ReadUsers).size(), 1u);
    EXPECT_TRUE(unit.framesOf(Command::ExpanderTable).empty());

    // Nor does anything start while the key programmer's exchange holds the line.
    unit.clearFrames();
    {
        Link::ExchangeScope keyProgrammer;
        session->selectPort();
        session->readExpander();
        session->programExpander();
    }
    EXPECT_TRUE(unit.frames().empty());
    EXPECT_EQ(dialogs.texts(), QStringList());
}

TEST_F(ProgrammingTest, DescriptionsGetStandardCodesNoneOrTheLowestFreeNumbers) {
    // Expander 5 loops 1..3 hold descriptors 0, 1, 2; expander 0 holds 3, 4, 5.
    for (int n = 0; n < 3; ++n) {
        unit.setDescriptorSlot(5 * 8 + n, static_cast<uint8_t>(n));
        unit.setDescriptorSlot(n, static_cast<uint8_t>(3 + n));
        unit.setDescriptorText(n, std::string(1, static_cast<char>('A' + n)));
    }
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    ASSERT_EQ(cell(loopGrid, 3, kDescriptionRow), QStringLiteral("C"));
    setCellText(&loopGrid, 1, kDescriptionRow, QStringLiteral("кУХНЯ"));
    setCellText(&loopGrid, 2, kDescriptionRow, QString());
    setCellText(&loopGrid, 3, kDescriptionRow, QStringLiteral("New one"));
    setCellText(&loopGrid, 4, kDescriptionRow, QStringLiteral("Second"));

    session->programExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    const auto frames = unit.framesOf(Command::WriteDescriptor);
    ASSERT_EQ(frames.size(), 4u);
    // Loop 1's old number 0 is free once its slot holds 168, and loop 2's 1 once it holds 255.
    EXPECT_EQ(frames[0].bytes, withChecksum({0xAF, 8, 3, 168, 0, 0, 40, 0}));
    EXPECT_EQ(frames[1].bytes, withChecksum({0xAF, 8, 3, 255, 0, 0, 41, 0}));
    EXPECT_EQ(frames[2].bytes,
              withChecksum({0xAF, 15, 3, 0, 8, 0, 42, 'N', 'e', 'w', ' ', 'o', 'n', 'e', 0}));
    EXPECT_EQ(frames[3].bytes, withChecksum({0xAF, 14, 3, 1, 7, 0, 43, 'S', 'e', 'c', 'o', 'n', 'd', 0}));
    EXPECT_GE(frames[1].atMs - frames[0].atMs, 300u);
    const auto table = unit.descriptorTable();
    EXPECT_EQ(table[40], 168);
    EXPECT_EQ(table[41], 255);
    EXPECT_EQ(table[42], 0);
    EXPECT_EQ(table[43], 1);
    EXPECT_EQ(unit.descriptorText(0), "New one");
    EXPECT_EQ(session->descriptorTable()[43], 1);
    const std::array<QString, 8> kept{"кУХНЯ", "", "New one", "Second", "", "", "", ""};
    EXPECT_EQ(config.loopDescriptions, kept);
}

TEST_F(ProgrammingTest, DescriptionProblemsAreReportedWithoutFailingTheRun) {
    // Every descriptor number is held by expanders 10..28.
    for (int d = 0; d < 150; ++d)
        unit.setDescriptorSlot(80 + d, static_cast<uint8_t>(d));
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    setCellText(&loopGrid, 1, kDescriptionRow, QStringLiteral("Кухня"));
    setCellText(&loopGrid, 2, kDescriptionRow, QStringLiteral("Чердак"));
    setCellText(&loopGrid, 3, kDescriptionRow, QStringLiteral("Прихожая"));
    Unit::Fault refused = fault(Command::WriteDescriptor, -1, 1);
    refused.status = 4;
    unit.addFault(refused);

    session->programExpander();

    // Loop 1 is written but refused; loop 2 finds no free number, and loop 3 is not written.
    EXPECT_EQ(dialogs.texts(),
              (QStringList{"Ошибка записи дескрипторов4", "Нет свободных дескрипторов", kSuccess}));
    ASSERT_EQ(unit.framesOf(Command::WriteDescriptor).size(), 1u);
    EXPECT_EQ(unit.framesOf(Command::WriteDescriptor)[0].bytes[3], 168);
    EXPECT_EQ(config.loopDescriptions[0], QStringLiteral("Кухня"));
    EXPECT_EQ(config.loopDescriptions[1], QStringLiteral("Чердак"));
    EXPECT_EQ(config.loopDescriptions[2], QString());
    EXPECT_EQ(session->descriptorTable()[40], 168);
}

// The control unit keeps 21 characters: a descriptor read whole is not written again.
TEST_F(ProgrammingTest, ADescriptorOf21CharactersReadIsNotWrittenAgain) {
    const QString unitsOwn = QStringLiteral("Входная дверь гаража!");
    ASSERT_EQ(unitsOwn.size(), 21);
    unit.setDescriptorSlot(5 * 8 + 2, 4);
    unit.setDescriptorText(4, toCp1251(unitsOwn).toStdString());
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    ASSERT_EQ(cell(loopGrid, 3, kDescriptionRow), unitsOwn);

    session->programExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    EXPECT_TRUE(unit.framesOf(Command::WriteDescriptor).empty());
    EXPECT_EQ(cell(loopGrid, 3, kDescriptionRow), unitsOwn);
    EXPECT_EQ(unit.descriptorText(4), toCp1251(unitsOwn).toStdString());
}

// A longer text (only a file can bring one) goes out as the unit's 21 characters; the window and
// the record keep the whole text, so the next run finds nothing to write.
TEST_F(ProgrammingTest, ADescriptionLongerThan21CharactersGoesOutAsItsFirst21) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    const QString longText = QStringLiteral("Входная дверь гаража и двора 1"); // 30 characters
    ASSERT_EQ(longText.size(), 30);
    setCellText(&loopGrid, 1, kDescriptionRow, longText); // as a configuration file brings it

    session->programExpander();

    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    const auto frames = unit.framesOf(Command::WriteDescriptor);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes.size(), 31u);
    EXPECT_EQ(frames[0].bytes[1], 29);
    EXPECT_EQ(frames[0].bytes[4], 22);
    EXPECT_EQ(unit.descriptorText(frames[0].bytes[3]), toCp1251(longText.left(21)).toStdString());
    EXPECT_EQ(cell(loopGrid, 1, kDescriptionRow), longText);
    EXPECT_EQ(config.loopDescriptions[0], longText);

    unit.clearFrames();
    dialogs.clear();
    session->programExpander();
    EXPECT_EQ(dialogs.texts(), QStringList{kSuccess});
    EXPECT_TRUE(unit.framesOf(Command::WriteDescriptor).empty());
}

TEST_F(ProgrammingTest, ADeviceThatDisappearsEndsTheRunWithOneQuestion) {
    ASSERT_NO_FATAL_FAILURE(connectWith({5}));
    config.loadedFromFile = true;
    const ExpanderConfig before = config;
    // The device disappears once the program has written three user frames.
    clock.when([this] { return relayed(ExpanderCommand::WriteUser).size() >= 3; }, [this] { unit.stop(); });
    const uint32_t start = Clock::ticks();

    session->programExpander();

    EXPECT_LT(Clock::ticks() - start, 10000u);
    ASSERT_EQ(dialogs.entries.size(), 2u) << dialogs.texts().join('|').toStdString();
    EXPECT_TRUE(dialogs.entries[0].text.startsWith(QStringLiteral("Ошибка записи дескрипторов")));
    EXPECT_EQ(dialogs.entries[1].text, QStringLiteral("Ошибка записи параметров\r\n   Повторить запись?"));
    EXPECT_FALSE(Link::portOpen());
    // Nothing the device did not confirm reaches the record; the file's flag stays.
    EXPECT_EQ(config.users, before.users);
    EXPECT_EQ(config.parameters, before.parameters);
    EXPECT_TRUE(config.loadedFromFile);
    EXPECT_TRUE(ports.isEnabled());
    EXPECT_TRUE(expanders.isEnabled());
}

} // namespace

namespace {

// After a port selection that found no expander the address is 65, which has no descriptor slots.
TEST_F(ProgrammingTest, WithoutAChosenExpanderNoDescriptionIsWritten) {
    choosePort();
    ASSERT_EQ(config.address, kNoExpander);
    ASSERT_TRUE(hasDescriptionRow(&loopGrid));
    ShowConfig(config, controls.config, true);
    setCellText(&loopGrid, 1, kDescriptionRow, QStringLiteral("Склад"));
    const auto tableBefore = session->descriptorTable();
    unit.clearFrames();
    dialogs.clear();

    session->programExpander();

    EXPECT_TRUE(unit.framesOf(Command::WriteDescriptor).empty());
    EXPECT_EQ(session->descriptorTable(), tableBefore);
    for (const Frame& f : unit.framesOf(Command::Relay))
        EXPECT_EQ(f.bytes[3], 131);
    // No expander answers the read-back of the users.
    EXPECT_EQ(dialogs.texts(), QStringList{"Ошибка записи пользователей\r\n   Повторить запись?"});
}

} // namespace
