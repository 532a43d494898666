#pragma once
// A main window's worth of controls, the expander procedures on them, and a simulated control unit
// on a pseudo-terminal linked as COM1 in a temporary port folder.

#include "DialogRecorder.h"
#include "LockstepClock.h"
#include "TestPorts.h"
#include "base/Clock.h"
#include "base/GridCells.h"
#include "config/ExpanderConfig.h"
#include "config/LoopLayout.h"
#include "config/MainControls.h"
#include "device/ExpanderSession.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/ControlUnitSim.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <ostream>

// QString looks like a container of QChar to the test printer; print texts as texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* os) {
    *os << '{';
    for (const QString& text : texts)
        *os << ' ' << '"' << text.toStdString() << '"';
    *os << " }";
}

using Unit = sim::ControlUnitSim;
using Frame = sim::ControlUnitSim::Frame;

// An expander whose parameter block survives the trip through the window unchanged (no bit that the
// loop grid does not show), with users and partitions that differ from one another.
inline Unit::Expander sampleExpander(int seed) {
    Unit::Expander e;
    e.configured = true;
    const std::array<uint8_t, 18> parameters{0x65, 0x5A, 0x85, 0x50, 0x41, 0x80, 0xC3, 0x09, 0x00,
                                             0x00, 0x7E, 0xFF, 0x80, 0x00, 0x12, 0x34, 0xD7, 0xDF};
    e.parameters = parameters;
    e.parameters[1] = static_cast<uint8_t>(0x5A ^ seed);
    for (int u = 0; u < 31; ++u) {
        e.userMasks[u] = static_cast<uint8_t>((u * 37 + seed) & 0xFF);
        e.userCodes[u] = static_cast<uint16_t>(0x1000 + u * 0x0101 + seed);
    }
    e.userCodes[31] = 0xBEEF;
    for (int p = 0; p < 8; ++p) {
        e.partitionNumbers[p] = static_cast<uint8_t>(10 * seed + p + 1);
        e.partitionMasks[p] = static_cast<uint8_t>((1 << p) | 0x80);
        e.partitionCodes[p] = 0x4321;
    }
    return e;
}

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        Access::resetFlags();
        ASSERT_TRUE(folder.isValid());
        setPortFolder(folder.path());
        ASSERT_TRUE(unit.start());
        ASSERT_TRUE(unit.linkAs((folder.path() + "/ttyS0").toStdString()));
        buildWindow();
        QObject::connect(&progress, &QProgressBar::valueChanged,
                         [this](int value) { progressValues.push_back(value); });
    }

    void TearDown() override {
        Link::ClosePort();
        unit.stop();
        Clock::setTerminating(false);
        setPortFolder(EmptyPortFolder());
    }

    void buildWindow() {
        auto* layout = new QVBoxLayout(&window);
        for (QWidget* w : std::initializer_list<QWidget*>{&ports, &expanders, &progress, &accessCode,
                                                          &defaultCode, &pages, &trace})
            layout->addWidget(w);
        ports.addItems({QStringLiteral("COM1"), QStringLiteral("COM2")});
        ports.setCurrentIndex(-1);
        progress.setRange(0, 120);
        progress.hide();
        for (int i = 0; i < 13; ++i) {
            boxes[i] = new QCheckBox(&generalPage);
            controls.config.checkBoxes[i] = boxes[i];
        }
        exitDelay = new QComboBox(&generalPage);
        exitDelay->addItems(exitDelayItems());
        loopGrid.setRowCount(21);
        loopGrid.setColumnCount(9);
        partitionsGrid.setRowCount(11);
        partitionsGrid.setColumnCount(9);
        usersGrid.setRowCount(10);
        usersGrid.setColumnCount(32);
        pages.addTab(&generalPage, QStringLiteral("Общие свойства"));
        pages.addTab(&loopGrid, QStringLiteral("Свойства ШС"));
        pages.addTab(&partitionsPage, QStringLiteral("Глобальные разделы"));
        auto* partitionsLayout = new QVBoxLayout(&partitionsPage);
        partitionsLayout->addWidget(&partitionsGrid);
        pages.addTab(&usersGrid, QStringLiteral("Пользователи"));

        controls.config.exitDelay = exitDelay;
        controls.config.loopGrid = &loopGrid;
        controls.config.partitionsGrid = &partitionsGrid;
        controls.config.usersGrid = &usersGrid;
        controls.window = &window;
        controls.ports = &ports;
        controls.expanders = &expanders;
        controls.progress = &progress;
        controls.accessCode = &accessCode;
        controls.defaultCode = &defaultCode;
        controls.pages = &pages;
        controls.globalPartitionsPage = &partitionsPage;
        controls.trace = &trace;
        session = std::make_unique<ExpanderSession>(controls, config, progressStep);
    }

    // Configures the expanders, chooses COM1 (which reads the first of them) and forgets what that
    // left behind: messages, recorded frames, progress positions.
    void connectWith(std::initializer_list<int> addresses) {
        for (int a : addresses)
            unit.setExpander(a, sampleExpander(a + 1));
        choosePort();
        ASSERT_EQ(dialogs.texts(), QStringList());
        ASSERT_GT(expanders.count(), 0);
        dialogs.clear();
        unit.clearFrames();
        progressValues.clear();
    }

    // Chooses COM1 as the user does.
    void choosePort(int index = 0) {
        ports.setCurrentIndex(index);
        session->selectPort();
    }

    // Frames the program wrote since the last clearFrames(), by kind.
    std::vector<Frame> relayed(uint8_t expanderCommand) const {
        std::vector<Frame> chosen;
        for (const Frame& f : unit.framesOf(Command::Relay))
            if (f.bytes.size() > 4 && f.bytes[4] == expanderCommand) chosen.push_back(f);
        return chosen;
    }
    std::vector<uint8_t> commands() const {
        std::vector<uint8_t> out;
        for (const Frame& f : unit.frames())
            out.push_back(f.command());
        return out;
    }
    QString cell(QTableWidget& grid, int column, int row) const { return cellText(&grid, column, row); }

    LockstepClock clock;
    QTemporaryDir folder;
    Unit unit;
    DialogRecorder dialogs;
    QWidget window;
    QComboBox ports, expanders;
    QProgressBar progress;
    QLineEdit accessCode;
    QCheckBox defaultCode;
    QTabWidget pages;
    QLabel trace;
    QWidget generalPage, partitionsPage;
    std::array<QCheckBox*, 13> boxes{};
    QComboBox* exitDelay = nullptr;
    QTableWidget loopGrid, partitionsGrid, usersGrid;
    MainControls controls;
    ExpanderConfig config;
    uint8_t progressStep = 0;
    std::vector<int> progressValues;

    std::unique_ptr<ExpanderSession> session; // made once the controls exist
};
