// The access step against the simulated control unit, with the main window's controls it uses.
#include "LinkTestSupport.h"

#include "config/MainControls.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>

namespace {

using Unit = sim::ControlUnitSim;

// Code bytes as the line must carry them, each byte's two digits exchanged.
TEST(CodeBytes, FromTheTypedTextAndTheDefaultCodes) {
    struct Case {
        const char* text;
        bool defaultChecked;
        bool localLine;
        std::array<uint8_t, 4> expected;
    };
    const Case cases[] = {
        {"12345678", false, false, {0x21, 0x43, 0x65, 0x87}},
        {"98765432", false, false, {0x89, 0x67, 0x45, 0x23}},
        {"1234", false, false, {0x21, 0x43, 0x21, 0x43}},
        {"1234", false, true, {0x21, 0x43, 0x21, 0x43}},
        {"12340078", false, false, {0x21, 0x43, 0x00, 0x87}},
        {"12345", false, false, {0x00, 0x10, 0x32, 0x54}},
        {"5", false, false, {0x00, 0x50, 0x00, 0x50}},
        // Texts that are no hexadecimal number fall back to the mode's default code, which then goes
        // through the same steps as a typed code.
        {"", false, false, {0x77, 0x77, 0x77, 0x77}},
        {"", false, true, {0x21, 0x43, 0x21, 0x43}},
        {"-123", false, false, {0x77, 0x77, 0x77, 0x77}},
        {"1 234567", false, false, {0x33, 0x33, 0x77, 0x77}},
        {"$1234567", false, false, {0x33, 0x33, 0x77, 0x77}},
        // The default code box sends the default code as it stands.
        {"12345678", true, false, {0x33, 0x33, 0x77, 0x77}},
        {"", true, true, {0x12, 0x34, 0x12, 0x34}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Access::codeBytes(QString::fromLatin1(c.text), c.defaultChecked, c.localLine), c.expected)
            << c.text << " default " << c.defaultChecked << " local " << c.localLine;
}

class AccessTest : public SimLinkTest {
  protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        pages.addTab(&generalPage, QStringLiteral("Общие свойства"));
        pages.addTab(&partitionsPage, QStringLiteral("Глобальные разделы"));
        controls.progress = &progress;
        controls.accessCode = &accessCode;
        controls.defaultCode = &defaultCode;
        controls.pages = &pages;
        controls.globalPartitionsPage = &partitionsPage;
        progress.setRange(0, 120);
        progress.setValue(60);
        progress.hide();
        QObject::connect(&progress, &QProgressBar::valueChanged, [this](int v) { positions.push_back(v); });
        Unit::Expander e;
        e.configured = true;
        e.parameters.fill(0x42);
        unit.setExpander(1, e);
    }

    bool partitionsTabVisible() const {
        return pages.isTabVisible(pages.indexOf(const_cast<QWidget*>(&partitionsPage)));
    }
    std::vector<Bytes> accessFrames() const {
        std::vector<Bytes> out;
        for (const auto& f : unit.framesOf(Command::Access))
            out.push_back(f.bytes);
        return out;
    }

    QProgressBar progress;
    QLineEdit accessCode;
    QCheckBox defaultCode;
    QTabWidget pages;
    QWidget generalPage;
    QWidget partitionsPage;
    MainControls controls;
    std::vector<int> positions;
};

TEST_F(AccessTest, CodeOnTheLineAndAccessGranted) {
    struct Case {
        const char* typed;
        bool boxChecked;
        const char* unitCode;
        Bytes frame; // after the start byte, without the checksum
    };
    const Case cases[] = {
        {"12345678", false, "12345678", {0x07, 0x00, 0x21, 0x43, 0x65, 0x87}},
        {"1234", false, "12341234", {0x07, 0x00, 0x21, 0x43, 0x21, 0x43}},
        {"12340078", false, "12340078", {0x05, 0x00, 0x21, 0x43}},
        {"", false, "00000000", {0x07, 0x00, 0x33, 0x33, 0x77, 0x77}},
        {"87654321", true, "00000000", {0x07, 0x00, 0x33, 0x33, 0x77, 0x77}},
    };
    for (const Case& c : cases) {
        unit.clearFrames();
        Access::resetFlags();
        unit.setAccessCode(c.unitCode);
        accessCode.setText(QString::fromLatin1(c.typed));
        defaultCode.setChecked(c.boxChecked);
        positions.clear();
        progress.setValue(60);
        progress.hide();

        EXPECT_TRUE(Access::CheckAccess(controls)) << c.typed;
        EXPECT_EQ(accessFrames(), std::vector<Bytes>{request(c.frame)}) << c.typed;
        EXPECT_EQ(defaultCode.isChecked(), c.boxChecked || QString::fromLatin1(c.typed).isEmpty()) << c.typed;
        EXPECT_TRUE(Access::status8Flag());
        EXPECT_FALSE(Access::localLineMode());
        EXPECT_FALSE(progress.isHidden()) << "left visible on success";
        EXPECT_EQ(progress.value(), 0);
    }
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(AccessTest, FailuresAndTheirMessages) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        QStringList messages;
        size_t requests;
        bool progressVisible;
    };
    const QString noAnswer = QStringLiteral("Нет ответа"), wrongCode = QStringLiteral("Неверный код доступа");
    const Case cases[] = {
        {"wrong code", [this] { accessCode.setText("11112222"); }, {wrongCode}, 1, false},
        {"no answer",
         [this] {
             Unit::Fault f;
             f.command = 0;
             f.times = -1;
             f.silent = true;
             unit.addFault(f);
         },
         {noAnswer},
         15,
         false},
        {"status 1 every time", [this] { unit.setAccessStatus(1); }, {}, 5, true},
        {"key-programming device",
         [this] {
             Unit::Fault f;
             f.command = 0;
             f.times = -1;
             f.keyDeviceSignature = true;
             unit.addFault(f);
         },
         {},
         3,
         true},
        {"status 0 without identification", [this] { unit.setAccessStatus(0); }, {wrongCode}, 1, false},
    };
    for (const Case& c : cases) {
        unit.clearFaults();
        unit.setAccessStatus(-1);
        unit.clearFrames();
        dialogs.clear();
        Access::resetFlags();
        accessCode.setText("12345678");
        defaultCode.setChecked(false);
        progress.hide();
        c.arrange();
        EXPECT_FALSE(Access::CheckAccess(controls)) << c.what;
        EXPECT_EQ(dialogs.texts(), c.messages) << c.what;
        for (const auto& e : dialogs.entries)
            EXPECT_EQ(e.caption, applicationTitle()) << c.what;
        EXPECT_EQ(accessFrames().size(), c.requests) << c.what;
        EXPECT_EQ(!progress.isHidden(), c.progressVisible) << c.what;
        EXPECT_FALSE(Access::status8Flag()) << c.what;
        EXPECT_FALSE(Access::localLineMode()) << c.what;
    }
    // The key-programming device left its signature for the caller to find.
    unit.clearFaults();
    Unit::Fault f;
    f.command = 0;
    f.times = -1;
    f.keyDeviceSignature = true;
    unit.addFault(f);
    EXPECT_FALSE(Access::CheckAccess(controls));
    EXPECT_TRUE(Link::holdsKeyDeviceSignature());
}

TEST_F(AccessTest, ThreeBusyAnswersThenGranted) {
    accessCode.setText("12345678");
    Unit::Fault busy;
    busy.command = 0;
    busy.times = 3;
    busy.status = 9;
    unit.addFault(busy);
    EXPECT_TRUE(Access::CheckAccess(controls));
    const auto frames = unit.framesOf(Command::Access);
    ASSERT_EQ(frames.size(), 4u);
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_GE(frames[i].atMs - frames[i - 1].atMs, 500u);
    EXPECT_EQ(positions, (std::vector<int>{0, 5}));
    EXPECT_TRUE(Access::status8Flag());
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(AccessTest, BusyToTheLastAttemptEndsWithoutMessage) {
    accessCode.setText("12345678");
    Unit::Fault busy;
    busy.command = 0;
    busy.times = -1;
    busy.status = 9;
    unit.addFault(busy);
    EXPECT_FALSE(Access::CheckAccess(controls));
    EXPECT_EQ(accessFrames().size(), 5u);
    EXPECT_FALSE(progress.isHidden()) << "the bar runs out by itself";
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(AccessTest, TerminatingDuringTheBusyPauseEndsTheStepSilently) {
    accessCode.setText("12345678");
    Unit::Fault busy;
    busy.command = 0;
    busy.times = -1;
    busy.status = 9;
    unit.addFault(busy);
    clock.at(100, [] { Clock::setTerminating(true); });
    const uint32_t start = Clock::ticks();
    EXPECT_FALSE(Access::CheckAccess(controls));
    EXPECT_LE(Clock::ticks() - start, 101u);
    EXPECT_EQ(accessFrames().size(), 1u);
    EXPECT_TRUE(dialogs.entries.empty());
}

TEST_F(AccessTest, LocalLineStepWithTheDefaultCode) {
    unit.setLocalLine(true);
    Unit::Fault busy; // the unit is busy twice with the local-line default code
    busy.command = 0;
    busy.skip = 1;
    busy.times = 2;
    busy.status = 9;
    unit.addFault(busy);
    accessCode.clear();
    EXPECT_TRUE(Access::CheckAccess(controls));
    EXPECT_TRUE(Access::localLineMode());
    EXPECT_FALSE(Access::status8Flag());
    EXPECT_FALSE(partitionsTabVisible());
    EXPECT_TRUE(dialogs.entries.empty());

    const Bytes normalDefault = request({0x07, 0x00, 0x33, 0x33, 0x77, 0x77});
    const Bytes localDefault = request({0x07, 0x00, 0x12, 0x34, 0x12, 0x34});
    EXPECT_EQ(accessFrames(), (std::vector<Bytes>{normalDefault, localDefault, localDefault, localDefault}));
    const auto frames = unit.frames();
    ASSERT_GE(frames.size(), 5u);
    for (size_t i = 2; i < 4; ++i)
        EXPECT_GE(frames[i].atMs - frames[i - 1].atMs, 200u);
    EXPECT_EQ(frames[4].bytes, (Bytes{0xAF, 0x03, 0x02, 0x05, 0x00})) << "then the identification probe";
    EXPECT_EQ(Link::R(2), 0x55);
    EXPECT_EQ(std::count(positions.begin(), positions.end(), 5), 1) << "position 5 while the unit is busy";
}

TEST_F(AccessTest, LocalLineUnitBusyForeverStillEndsTheStep) {
    unit.setLocalLine(true);
    Unit::Fault busy;
    busy.command = 0;
    busy.skip = 1;
    busy.times = -1;
    busy.status = 9;
    unit.addFault(busy);
    accessCode.clear();
    const uint32_t start = Clock::ticks();
    EXPECT_TRUE(Access::CheckAccess(controls)); // the probe decides after a bounded number of repeats
    EXPECT_EQ(accessFrames().size(), 1u + 25u);
    EXPECT_LT(Clock::ticks() - start, 8000u);
    EXPECT_TRUE(Access::localLineMode());
}

TEST_F(AccessTest, LocalLineWithTheConsoleCodeProbesAtOnce) {
    unit.setLocalLine(true);
    unit.setConsoleCode("4321");
    accessCode.setText("4321");
    EXPECT_TRUE(Access::CheckAccess(controls));
    EXPECT_EQ(accessFrames(), std::vector<Bytes>{request({0x07, 0x00, 0x34, 0x12, 0x34, 0x12})});
    EXPECT_TRUE(Access::localLineMode());

    // A wrong console code: the probe finds nothing.
    Access::resetFlags();
    pages.setTabVisible(1, true);
    accessCode.setText("4444");
    EXPECT_FALSE(Access::CheckAccess(controls));
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Неверный код доступа")});
    EXPECT_FALSE(Access::localLineMode());
    EXPECT_TRUE(partitionsTabVisible());
    EXPECT_TRUE(progress.isHidden());
}

TEST_F(AccessTest, LocalLineModeSurvivesAnotherPortChoice) {
    unit.setLocalLine(true);
    accessCode.clear();
    ASSERT_TRUE(Access::CheckAccess(controls));
    ASSERT_TRUE(Access::localLineMode());

    // Another control unit on COM2, this one on the normal line, whose code is what the local-line
    // default code becomes on the line.
    sim::ControlUnitSim second;
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.linkAs(devicePath("ttyS1")));
    second.setAccessCode("21432143");
    second.setAcceptDefaultCode(false);
    ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM2")));
    EXPECT_TRUE(Access::localLineMode());
    defaultCode.setChecked(true);
    EXPECT_TRUE(Access::CheckAccess(controls));
    const auto frames = second.framesOf(Command::Access);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes, request({0x07, 0x00, 0x12, 0x34, 0x12, 0x34}));
    EXPECT_TRUE(Access::localLineMode());
    EXPECT_TRUE(Access::status8Flag());
    Link::ClosePort();
}

} // namespace
