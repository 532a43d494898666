// What a restore writes from a file over what the expander holds, where its codes are known and
// where they are not.

#include "site/RestoreRecord.h"

#include <gtest/gtest.h>

namespace {

using namespace Site;

TEST(RestoreRecord, WritesAFilesCodeOnlyWhereTheExpandersWasReadOrTheUserLetsIt) {
    CollectedConfig held, file;
    held.users[0] = {0x01, 0x0000}; // user 0: its code goes out fixed whatever the cell
    file.users[0] = {0x03, 0x1234};
    held.users[1] = {0x0F, 0x0101}; // the same loops: only the code differs
    file.users[1] = {0x0F, 0xC2EB};
    held.users[2] = {0x01, 0x0202};
    file.users[2] = {0x02, 0x0202};
    held.globalPartitions[0] = {5, 0x01, 0x0101};
    file.globalPartitions[0] = {6, 0x01, 0x0101};
    const auto none = [](const CodeChange&) { return false; };

    const RestoreRecord known = restoreRecord(file, held, true, none);
    EXPECT_EQ(known.wanted, file);
    EXPECT_TRUE(known.codeChanges.empty());

    const RestoreRecord left = restoreRecord(file, held, false, none);
    CollectedConfig expected = held;
    expected.users[0] = file.users[0];
    EXPECT_EQ(left.wanted, expected);
    const std::vector<CodeChange> changes{{2, 0, 0x0202}, {-1, 1, 0x0101}};
    EXPECT_EQ(left.codeChanges, changes);
    EXPECT_EQ(left.leftAlone, changes);
    EXPECT_EQ(changeText(changes[0]), "пользователь 2 (код станет 0202)");

    const RestoreRecord taken =
        restoreRecord(file, held, false, [](const CodeChange& change) { return change.user == 2; });
    expected.users[2] = file.users[2];
    EXPECT_EQ(taken.wanted, expected);
    EXPECT_EQ(taken.leftAlone, std::vector<CodeChange>{changes[1]});
}

} // namespace
