// Choosing a port: access, the expander and descriptor tables, the expander list, the first read,
// and the hand-over to the key programmer.

#include "SessionFixture.h"

namespace {

QStringList items(const QComboBox& box) {
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out << box.itemText(i);
    return out;
}

// The block arguments of the table requests, in the order they went out.
std::vector<int> blocksOf(const std::vector<Frame>& frames) {
    std::vector<int> out;
    for (const Frame& f : frames)
        out.push_back(f.bytes[3]);
    return out;
}

std::vector<int> range(int from, int to) {
    std::vector<int> out;
    for (int i = from; i <= to; ++i)
        out.push_back(i);
    return out;
}

TEST_F(SessionTest, ListsConfiguredExpandersAscendingAndReadsTheFirst) {
    for (int a : {63, 5, 0})
        unit.setExpander(a, sampleExpander(a + 1));
    unit.setDescriptorSlot(5 * 8, 160);
    pages.setTabVisible(pages.indexOf(&partitionsPage), false);
    setLoopGridRows(&loopGrid, 20);
    window.show();

    choosePort();

    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_EQ(items(expanders), (QStringList{"Расширитель 0", "Расширитель 5", "Расширитель 63"}));
    EXPECT_EQ(expanders.currentIndex(), 0);
    EXPECT_EQ(session->rememberedIndex(), 0);
    EXPECT_EQ(config.address, 0);
    EXPECT_EQ(config.parameters, unit.expander(0).parameters);
    EXPECT_TRUE(ports.isEnabled());
    EXPECT_TRUE(expanders.isEnabled());
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(ports.currentIndex(), 0);
    EXPECT_TRUE(pages.isTabVisible(pages.indexOf(&partitionsPage)));
    EXPECT_EQ(loopGridRows(&loopGrid), 21);
    EXPECT_EQ(progressStep, 1); // the read's step after its access step
    EXPECT_EQ(session->expanderTable(), unit.expanderTable());
    EXPECT_EQ(session->descriptorTable(), unit.descriptorTable());

    // Access, the eight expander-table blocks, the sixteen descriptor-table blocks, then the read.
    const std::vector<uint8_t> sent = commands();
    ASSERT_GE(sent.size(), 26u);
    EXPECT_EQ(sent[0], Command::Access);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 1, sent.begin() + 9), std::vector<uint8_t>(8, 6));
    EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 9, sent.begin() + 25), std::vector<uint8_t>(16, 5));
    EXPECT_EQ(sent[25], Command::Access);
    EXPECT_EQ(blocksOf(unit.framesOf(6)), range(0, 7));
    EXPECT_EQ(blocksOf(unit.framesOf(5)), range(0, 15));
    ASSERT_EQ(relayed(ExpanderCommand::ReadParameters).size(), 1u);
    EXPECT_EQ(relayed(ExpanderCommand::ReadParameters)[0].bytes[3], 1); // expander 0 on the line
}

TEST_F(SessionTest, LocalLineListsOnlyAddressesOneToThree) {
    unit.setLocalLine(true);
    accessCode.setText(QStringLiteral("1234")); // the console code
    for (int a = 0; a <= 4; ++a)
        unit.setExpander(a, sampleExpander(a + 1));

    choosePort();

    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_TRUE(Access::localLineMode());
    EXPECT_EQ(items(expanders), (QStringList{"Расширитель 1", "Расширитель 2", "Расширитель 3"}));
    EXPECT_EQ(config.address, 1);
    EXPECT_FALSE(pages.isTabVisible(pages.indexOf(&partitionsPage)));
}

TEST_F(SessionTest, WithoutDescriptorTableTheGridLosesItsDescriptionRow) {
    unit.setHasDescriptorTable(false);
    unit.setExpander(2, sampleExpander(3));
    setCellText(&loopGrid, 1, kDescriptionRow, QStringLiteral("из файла"));
    config.loadedFromFile = true;

    choosePort();

    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_EQ(loopGridRows(&loopGrid), 20);
    EXPECT_TRUE(unit.framesOf(Command::ReadDescriptor).empty());
    // Status 6 is not an answer: each block is asked three times, then kept as it came.
    EXPECT_EQ(unit.framesOf(Command::DescriptorTable).size(), 48u);
    EXPECT_EQ(session->descriptorTable()[0], 0xFF);
    // The read went on to its end.
    EXPECT_EQ(config.address, 2);
    EXPECT_FALSE(config.loadedFromFile);
    EXPECT_EQ(relayed(ExpanderCommand::ReadPartitions).size(), 1u);
    EXPECT_EQ(cell(loopGrid, 1, kDescriptionRow), QStringLiteral("из файла"));
}

// Bad table answers: how often each table is asked, what is shown, and whether the list was made.
TEST_F(SessionTest, TableReadsStopOrRepeatOnBadAnswers) {
    struct Case {
        const char* name;
        Unit::Fault fault;
        size_t expanderBlocksAsked;
        size_t descriptorBlocksAsked;
        QStringList messages;
        bool listMade;
    };
    const auto fault = [](int command, int times) {
        Unit::Fault f;
        f.command = command;
        f.times = times;
        return f;
    };
    std::vector<Case> cases;
    {
        Unit::Fault f = fault(6, 1);
        f.echo = 5; // block 0 answered as block 5: asked again
        cases.push_back({"wrong echo once", f, 9, 16, {}, true});
    }
    {
        Unit::Fault f = fault(6, -1);
        f.echo = 9; // never the right block: ten repeats, then as a failed request
        cases.push_back({"wrong echo always", f, 11, 0, {}, false});
    }
    {
        Unit::Fault f = fault(6, -1);
        f.silent = true;
        cases.push_back({"expander table silent", f, 3, 0, {}, false});
    }
    {
        Unit::Fault f = fault(5, -1);
        f.echo = 20;
        cases.push_back({"descriptor block echo always wrong",
                         f,
                         8,
                         11,
                         {"Ошибка чтения таблицы дескрипторов 1"},
                         false});
    }
    {
        Unit::Fault f = fault(5, -1);
        f.status = 4;
        cases.push_back(
            {"descriptor block refused", f, 8, 3, {"Ошибка чтения таблицы дескрипторов 4"}, false});
    }
    {
        Unit::Fault f = fault(5, 1);
        f.status = 7; // status 7 with another block number is stored all the same
        f.echo = 9;
        cases.push_back({"status 7 with another echo", f, 8, 16, {}, true});
    }

    unit.setExpander(4, sampleExpander(5));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unit.clearFaults();
        unit.clearFrames();
        dialogs.clear();
        expanders.clear();
        expanders.addItem(QStringLiteral("Расширитель 60"));
        unit.addFault(c.fault);

        choosePort();

        EXPECT_EQ(unit.framesOf(Command::ExpanderTable).size(), c.expanderBlocksAsked);
        EXPECT_EQ(unit.framesOf(Command::DescriptorTable).size(), c.descriptorBlocksAsked);
        EXPECT_EQ(dialogs.texts(), c.messages);
        EXPECT_TRUE(ports.isEnabled());
        if (c.listMade) {
            EXPECT_EQ(items(expanders), QStringList{"Расширитель 4"});
            EXPECT_TRUE(expanders.isEnabled());
        } else {
            EXPECT_EQ(items(expanders), QStringList{"Расширитель 60"});
            EXPECT_FALSE(expanders.isEnabled());
            EXPECT_TRUE(relayed(ExpanderCommand::ReadParameters).empty());
        }
        expanders.setEnabled(true);
    }
}

TEST_F(SessionTest, KeyProgrammingDeviceIsHandedOverWithoutMessage) {
    Unit::Fault f;
    f.command = Command::Access;
    f.times = -1;
    f.keyDeviceSignature = true;
    unit.addFault(f);
    int handOvers = 0;
    bool busyDuringHandOver = true;
    session->onKeyDeviceFound = [&] {
        ++handOvers;
        busyDuringHandOver = session->busy();
    };

    choosePort();

    EXPECT_EQ(handOvers, 1);
    EXPECT_FALSE(busyDuringHandOver); // the key programmer may hand the port straight back
    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_EQ(ports.currentIndex(), 0);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_TRUE(unit.framesOf(Command::ExpanderTable).empty());
}

TEST_F(SessionTest, FailedAccessClearsThePortChoice) {
    struct Case {
        const char* name;
        int port;
        int accessStatus;
        QStringList messages;
    } cases[] = {
        {"wrong code", 0, 7, {"Неверный код доступа"}},
        {"port that does not open", 1, -1, {"Not open COM2", "Нет ответа"}},
    };
    int handOvers = 0;
    session->onKeyDeviceFound = [&] { ++handOvers; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.clear();
        unit.clearFrames();
        unit.setAccessStatus(c.accessStatus);

        choosePort(c.port);

        EXPECT_EQ(dialogs.texts(), c.messages);
        EXPECT_EQ(ports.currentIndex(), -1);
        EXPECT_FALSE(progress.isVisible());
        EXPECT_TRUE(unit.framesOf(Command::ExpanderTable).empty());
    }
    EXPECT_EQ(handOvers, 0);
}

TEST_F(SessionTest, NoConfiguredExpanderLeavesAnEmptyDisabledList) {
    expanders.addItem(QStringLiteral("Расширитель 9"));
    choosePort();
    EXPECT_EQ(dialogs.texts(), QStringList());
    EXPECT_EQ(expanders.count(), 0);
    EXPECT_FALSE(expanders.isEnabled());
    EXPECT_TRUE(ports.isEnabled());
    EXPECT_TRUE(unit.framesOf(Command::Relay).empty());
}

} // namespace
