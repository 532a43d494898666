// Benchmark: comparing two configurations that differ in every item and filling the comparison
// window with the rows. Prints the median and the slowest of the runs. Aim: under 5 ms.

#include "compare/ComparisonWindow.h"
#include "tests/config/ConfigControlsFixture.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

TEST(CompareBench, EveryItemDifferent) {
    const CollectedConfig window = collectedOf(sampleConfig());
    CollectedConfig other = window;
    for (uint8_t& byte : other.parameters)
        byte = uint8_t(~byte);
    for (QString& text : other.loopDescriptions)
        text += QStringLiteral(" склад");
    for (UserEntry& user : other.users)
        user = {uint8_t(~user.loopMask), uint16_t(~user.code)};
    for (PartitionEntry& partition : other.globalPartitions)
        partition = {uint8_t(~partition.globalNumber), uint8_t(~partition.loopMask),
                     uint16_t(~partition.code)};

    Compare::ComparisonWindow shown(nullptr);
    shown.show();
    QCoreApplication::processEvents();
    std::vector<double> runs;
    size_t rows = 0;
    for (int run = 0; run < 200; ++run) {
        QElapsedTimer timer;
        timer.start();
        std::vector<Compare::Difference> differences = Compare::differences(window, other, {});
        rows = differences.size();
        shown.showResult({QStringLiteral("Сравнение с расширителем 1"),
                          QStringLiteral("В расширителе"),
                          {},
                          {},
                          std::move(differences),
                          true});
        shown.table()->viewport()->repaint();
        runs.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    std::printf("compare and fill  rows %zu  median %.3f ms  slowest %.3f ms (of %zu runs)\n", rows,
                runs[runs.size() / 2], runs.back(), runs.size());
    EXPECT_EQ(shown.table()->model()->rowCount(), int(rows));
    EXPECT_LT(runs[runs.size() / 2], 5.0);
}

} // namespace
