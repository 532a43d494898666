// The demonstration's own window shows its whole text at every size it can take.
#include "sim/DemoControl.h"
#include "sim/DemoDevices.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The label's text needs its size hint; the window shows all of it when the label is at least that big.
bool textFits(const QMainWindow& window) {
    const auto* label = qobject_cast<const QLabel*>(window.centralWidget());
    return label && label->width() >= label->sizeHint().width() &&
           label->height() >= label->sizeHint().height();
}

TEST(DemoControl, TheWindowFitsItsTextAtEverySizeItCanTake) {
    sim::DemoDevices devices; // not started: the window only needs them for its menu
    std::unique_ptr<QMainWindow> window(sim::makeDemoControl(devices));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_TRUE(textFits(*window)) << "as opened";

    const QSize tiny(40, 20);
    window->resize(tiny);
    QCoreApplication::processEvents();
    EXPECT_TRUE(textFits(*window)) << "at its smallest, " << window->width() << " x " << window->height();
    window->resize(900, 600);
    QCoreApplication::processEvents();
    EXPECT_TRUE(textFits(*window)) << "enlarged";

    // The picture of the window as opened, to <build>/screens/demo-control.png (the test program sits
    // in <build>/tests).
    window->resize(window->sizeHint());
    QCoreApplication::processEvents();
    QDir screens(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    ASSERT_TRUE(screens.mkpath(QStringLiteral("screens")) && screens.cd(QStringLiteral("screens")));
    EXPECT_TRUE(window->grab().save(screens.filePath(QStringLiteral("demo-control.png"))));
}

TEST(DemoControl, GoesBesideTheMainWindowWhereItIsWhollyOnTheScreen) {
    const QRect main(208, 114, 696, 458);
    const QSize size(400, 120);
    EXPECT_EQ(sim::demoControlPlace(main, size, QRect(0, 0, 1920, 1080)), QPoint(920, 114)) << "to the right";
    EXPECT_EQ(sim::demoControlPlace(main, size, QRect(0, 0, 1280, 800)), QPoint(208, 588)) << "below";
    EXPECT_EQ(sim::demoControlPlace(main, size, QRect(0, 0, 1024, 600)), QPoint(624, 114)) << "pushed in";
    EXPECT_EQ(sim::demoControlPlace(main, QSize(900, 700), QRect(0, 0, 800, 600)), QPoint(0, 0)) << "too big";
}

} // namespace
