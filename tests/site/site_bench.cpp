// Benchmark: the whole site read for a backup against the simulated control unit pacing its replies
// at 57600 baud (three expanders with a text descriptor on every loop), beside the least time the
// protocol allows for the same frames; and the site window filled with 64 compared expanders and
// drawn. Aim: ratio at most 1.005, the list filled and drawn in under 50 ms. Fails only on a ratio below 1.

#include "LineFloor.h"
#include "tests/device/SessionFixture.h"

#include "base/Text1251.h"
#include "site/ExpanderReads.h"
#include "site/ProgressWindow.h"
#include "site/SiteWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <cstdio>

namespace {

class SiteBench : public SessionTest {
  protected:
    SiteBench() { clock.release(); } // the line's real time is what is measured
};

TEST_F(SiteBench, TheSiteReadAndTheSiteList) {
    const std::vector<int> site{1, 2, 5};
    for (int address : site)
        for (int n = 0; n < 8; ++n) {
            unit.setDescriptorSlot(address * 8 + n, static_cast<uint8_t>(address * 8 + n));
            unit.setDescriptorText(address * 8 + n,
                                   toCp1251(QStringLiteral("Шлейф %1 склад %2").arg(n + 1).arg(address)).toStdString());
        }
    ASSERT_NO_FATAL_FAILURE(connectWith({1, 2, 5}));
    unit.setPacing(true);
    QMenu menu;
    const Site::Host host{&menu, controls, session.get(), &config};
    Site::ProgressWindow progress(&window, QStringLiteral("Сохранить все расширители"), int(site.size()));
    int read = 0;
    unit.clearFrames();
    QElapsedTimer wall;
    wall.start();
    Site::readEach(host, site, progress, [&read](const Site::ExpanderRead& r) { read += r.side.has_value(); });
    const double wallMs = wall.nsecsElapsed() / 1e6;
    EXPECT_EQ(read, 3);
    const double leastMs = leastTime(unit).totalMs();
    std::printf("site read    expanders %d  frames %3zu  wall %7.1f ms  least %7.1f ms  ratio %.4f\n", read,
                unit.frames().size(), wallMs, leastMs, wallMs / leastMs);
    expectNotBelowTheFloor("site read", wallMs, leastMs);

    std::vector<Site::SiteRow> rows;
    for (int address = 0; address < 64; ++address) {
        Site::SiteRow row;
        row.address = address;
        row.file = QStringLiteral("Расширитель %1.okf").arg(address);
        row.writable = true;
        Compare::Result result;
        for (int d = 0; d < 40; ++d)
            result.rows.push_back({QStringLiteral("Свойства ШС"), QStringLiteral("ШС%1 · Описание").arg(d % 8 + 1),
                                   QStringLiteral("Склад"), QStringLiteral("Кухня")});
        row.status = Site::differencesText(result.rows.size());
        row.comparison = std::move(result);
        rows.push_back(std::move(row));
    }
    Site::SiteWindow list(host);
    wall.restart();
    list.showRows(QStringLiteral("/site"), std::move(rows));
    list.show();
    QApplication::processEvents(); // drawn
    std::printf("site list    rows 64, 40 differences each: filled and drawn in %.1f ms\n", wall.nsecsElapsed() / 1e6);
}

} // namespace
