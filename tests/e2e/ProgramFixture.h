#pragma once
#include "DialogRecorder.h"
#include "GridInput.h"
#include "LockstepClock.h"
#include "TestPorts.h"

#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "base/Clock.h"
#include "keys/TMprogrammer.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/DemoDevices.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

// The whole program (both windows, wired) on the demonstration devices: COM1 the control unit,
// COM2 the key-programming device.
class ProgramOnDemoDevices : public testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        Access::resetFlags();
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(devices.start(folder.path().toStdString()));
        setPortFolder(folder.path());
        windows = std::make_unique<ProgramWindows>();
        main = windows->main.get();
        keys = windows->keys.get();
        main->show();
    }
    void TearDown() override {
        windows.reset();
        Link::ClosePort();
        devices.stop();
        setPortFolder(EmptyPortFolder());
        Clock::setTerminating(false);
    }

    static void chooseItem(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index); // what a user's pick delivers
    }
    // The access code typed and the control unit's port chosen: expander 1 is read.
    void connectToControlUnit() {
        QTest::keyClicks(main->Edit1, sim::DemoDevices::kAccessCode);
        chooseItem(main->ComboBox1, 0);
        ASSERT_EQ(main->ComboBox2->count(), 3) << dialogs.texts().join(" | ").toStdString();
        dialogs.clear();
    }
    QString messages() const { return dialogs.texts().join(" | "); }

    LockstepClock clock;
    DialogRecorder dialogs;
    QTemporaryDir folder;
    sim::DemoDevices devices;
    std::unique_ptr<ProgramWindows> windows;
    TForm1* main = nullptr;
    TTMwriteForm* keys = nullptr;
};
