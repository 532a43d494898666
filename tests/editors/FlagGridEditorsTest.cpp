#include "EditorsFixture.h"

#include <QToolTip>

namespace {

const QString kPlus = QStringLiteral("+");

QStringList rowTexts(const QTableWidget* grid, int row, int firstColumn, int lastColumn) {
    QStringList texts;
    for (int c = firstColumn; c <= lastColumn; ++c)
        texts << cellText(grid, c, row);
    return texts;
}

QStringList columnTexts(const QTableWidget* grid, int column, int firstRow, int lastRow) {
    QStringList texts;
    for (int r = firstRow; r <= lastRow; ++r)
        texts << cellText(grid, column, r);
    return texts;
}

QStringList allTexts(const QTableWidget* grid) {
    QStringList texts;
    for (int r = 0; r < grid->rowCount(); ++r)
        texts << rowTexts(grid, r, 0, grid->columnCount() - 1);
    return texts;
}

// Every other cell "+", starting with the given parity; the expected inversion.
QStringList alternating(int count, bool firstSet) {
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << (((i % 2 == 0) == firstSet) ? kPlus : QString());
    return texts;
}

// Replaces the box's text as the user does: select everything, then type (or erase).
void retype(QLineEdit* box, const QString& text) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Backspace);
    else
        typeText(text);
}

ExpanderConfig filledConfig() {
    ExpanderConfig config;
    for (int u = 0; u < kUserCount; ++u)
        config.users[u].code = uint16_t(0x1111 * (u % 10));
    for (int p = 1; p <= kPartitionCount; ++p) {
        config.globalPartitions[p - 1].globalNumber = uint8_t(p * 10);
        config.globalPartitions[p - 1].code = uint16_t(p * 0x0101);
    }
    return config;
}

class PartitionsEditorTest : public ::testing::Test {
  protected:
    DialogRecorder dialogs;
    EditorsWindow w;
    QTableWidget* grid = w.partitionsGrid;

    void SetUp() override {
        w.show(filledConfig());
        w.showPage(w.partitionsPage, grid);
    }
    void TearDown() override { EXPECT_TRUE(dialogs.entries.empty()) << "the editor showed a message"; }
    QString cell(int column, int row) const { return cellText(grid, column, row); }
};

TEST_F(PartitionsEditorTest, LoopCaptionInvertsTheLoopInEveryPartition) {
    for (int p = 1; p <= 8; ++p)
        setCellText(grid, p, 4, alternating(8, true)[p - 1]);
    doubleClickCell(grid, 0, 4); // "ШС3"
    EXPECT_EQ(rowTexts(grid, 4, 1, 8), alternating(8, false));
    EXPECT_EQ(rowTexts(grid, 3, 1, 8), QStringList(8, QString())) << "other loops untouched";
}

TEST_F(PartitionsEditorTest, HeaderInvertsThePartitionsLoops) {
    for (int r = 2; r <= 9; ++r)
        setCellText(grid, 5, r, alternating(8, false)[r - 2]);
    doubleClickCell(grid, 5, 0); // "Раздел5"
    EXPECT_EQ(columnTexts(grid, 5, 2, 9), alternating(8, true));
    EXPECT_EQ(cell(5, 1), QStringLiteral("50")) << "number and code are not loops";
    EXPECT_EQ(cell(5, 10), QStringLiteral("0505"));
}

TEST_F(PartitionsEditorTest, EnterDoesWhatTheDoubleClickDoes) {
    clickCell(grid, 2, 6);
    pressKey(Qt::Key_Return);
    EXPECT_EQ(cell(2, 6), kPlus);
    pressKey(Qt::Key_Enter);
    EXPECT_EQ(cell(2, 6), QString());
    clickCell(grid, 7, 0);
    pressKey(Qt::Key_Return);
    EXPECT_EQ(columnTexts(grid, 7, 2, 9), QStringList(8, kPlus));
    clickCell(grid, 3, 1);
    pressKey(Qt::Key_Return);
    EXPECT_TRUE(w.edit2->isVisible());
    EXPECT_EQ(w.edit2->text(), QStringLiteral("30"));
}

TEST_F(PartitionsEditorTest, CornerAndValueCaptionsDoNothing) {
    const QStringList before = allTexts(grid);
    for (const int row : {0, 1, 10}) {
        SCOPED_TRACE(row);
        doubleClickCell(grid, 0, row);
        pressKey(Qt::Key_Return);
        EXPECT_FALSE(w.edit2->isVisible());
    }
    EXPECT_EQ(allTexts(grid), before);
}

struct BoxCase {
    int row;
    QString typed;
    QString expected;
};

void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << c.row << " '" << c.typed.toStdString() << "'";
}

class PartitionBoxTest : public PartitionsEditorTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(PartitionBoxTest, CommittedByEnter) {
    const BoxCase& c = GetParam();
    doubleClickCell(grid, 3, c.row);
    ASSERT_TRUE(w.edit2->isVisible());
    EXPECT_TRUE(w.edit2->hasFocus());
    EXPECT_EQ(w.edit2->text(), c.row == 1 ? QStringLiteral("30") : QStringLiteral("0303"))
        << "shown in clear";
    retype(w.edit2, c.typed);
    pressKey(Qt::Key_Return);
    EXPECT_FALSE(w.edit2->isVisible());
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(cell(3, c.row), c.expected);
}

INSTANTIATE_TEST_SUITE_P(GlobalNumbers, PartitionBoxTest,
                         ::testing::Values(BoxCase{1, "255", "255"}, BoxCase{1, "0", "0"},
                                           BoxCase{1, "256", "30"}, BoxCase{1, "-1", "30"},
                                           BoxCase{1, "$FF", "$FF"}, BoxCase{1, "$100", "30"},
                                           BoxCase{1, " 7", " 7"}, BoxCase{1, "7a", "30"},
                                           BoxCase{1, "", "30"}));
INSTANTIATE_TEST_SUITE_P(Codes, PartitionBoxTest,
                         ::testing::Values(BoxCase{10, "1b", "001B"}, BoxCase{10, "a", "000A"},
                                           BoxCase{10, "000FF", "00FF"}, BoxCase{10, "ffff", "FFFF"},
                                           BoxCase{10, "12345", "0303"}, BoxCase{10, "12g", "0303"},
                                           BoxCase{10, "-1", "0303"}, BoxCase{10, "$12", "0303"},
                                           BoxCase{10, "", ""}));

TEST_F(PartitionsEditorTest, BoxCommitsToItsOwnCellWhenTheFocusLeaves) {
    doubleClickCell(grid, 2, 10);
    retype(w.edit2, QStringLiteral("2c"));
    clickCell(grid, 6, 10); // the grid takes the focus: the box is committed to partition 2
    EXPECT_FALSE(w.edit2->isVisible());
    EXPECT_EQ(cell(2, 10), QStringLiteral("002C"));
    EXPECT_EQ(cell(6, 10), QStringLiteral("0606"));

    doubleClickCell(grid, 4, 1);
    retype(w.edit2, QStringLiteral("99"));
    w.otherControl->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(w.edit2->isVisible());
    EXPECT_EQ(cell(4, 1), QStringLiteral("99"));
    EXPECT_TRUE(w.otherControl->hasFocus()) << "the focus stays where the user put it";
}

TEST_F(PartitionsEditorTest, BoxLiesOverItsCell) {
    doubleClickCell(grid, 5, 10);
    const QRect cellRect = grid->visualRect(grid->model()->index(10, 5));
    const QPoint cellOnPage = grid->viewport()->mapTo(w.partitionsPage, cellRect.topLeft());
    EXPECT_EQ(w.edit2->pos(), cellOnPage);
    // Escape does not close the partitions box: only a commit does.
    pressKey(Qt::Key_Escape);
    EXPECT_TRUE(w.edit2->isVisible());
}

TEST_F(PartitionsEditorTest, HintsByPosition) {
    struct Case {
        int column;
        int row;
        QString hint;
    };
    const QString loops = QStringLiteral("Выберите ШС, входящие в состав раздела");
    const QString code =
        QStringLiteral("Задайте код доступа для взятия и снятия раздела\r\n{при считывании свойств "
                       "расширителя был установлен код по умолчанию\r\nкоторый будет записан если "
                       "изменениялся состав или номер раздела}");
    const Case cases[] = {
        {4, 5, loops},
        {3, 0, QStringLiteral("Инвертировать выбор всех ШС входящих в раздел")},
        {0, 2, QStringLiteral("Инвертировать выбор ШС1 во всех разделах")},
        {0, 9, QStringLiteral("Инвертировать выбор ШС8 во всех разделах")},
        {0, 1, QStringLiteral("Введите глобальный номер раздела от 0 до 255")},
        {8, 1, QStringLiteral("Введите глобальный номер раздела от 0 до 255")},
        {0, 10, code},
        {2, 10, code},
    };
    w.otherControl->setFocus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row * 100 + c.column);
        moveMouse(grid, cellCenter(grid, c.column, c.row));
        EXPECT_EQ(grid->toolTip(), c.hint);
        EXPECT_EQ(QToolTip::text(), c.hint);
    }
    EXPECT_TRUE(w.otherControl->hasFocus()) << "the mouse does not move the focus";
    const QRect last = grid->visualRect(grid->model()->index(10, 8));
    moveMouse(grid, last.bottomRight() + QPoint(5, 5)); // outside every cell
    EXPECT_EQ(grid->toolTip(), loops);
    moveMouse(grid, cellCenter(grid, 0, 0));
    EXPECT_FALSE(grid->toolTip().isEmpty());
    EXPECT_NE(grid->toolTip(), loops) << "the corner has a hint of its own";
}

class UsersEditorTest : public ::testing::Test {
  protected:
    DialogRecorder dialogs;
    EditorsWindow w;
    QTableWidget* grid = w.usersGrid;

    void SetUp() override {
        w.show(filledConfig());
        w.showPage(w.usersPage, grid);
    }
    void TearDown() override { EXPECT_TRUE(dialogs.entries.empty()) << "the editor showed a message"; }
    QString cell(int column, int row) const { return cellText(grid, column, row); }
};

TEST_F(UsersEditorTest, LoopCaptionInvertsTheLoopForEveryUser) {
    for (int c = 1; c <= 31; ++c)
        setCellText(grid, c, 2, alternating(31, false)[c - 1]);
    doubleClickCell(grid, 0, 2); // "ШС2"
    EXPECT_EQ(rowTexts(grid, 2, 1, 31), alternating(31, true));
    EXPECT_EQ(rowTexts(grid, 1, 1, 31), QStringList(31, QString()));
}

TEST_F(UsersEditorTest, UserNumberInvertsTheUsersLoops) {
    setCellText(grid, 8, 3, kPlus);
    doubleClickCell(grid, 8, 0); // user 7
    QStringList expected(8, kPlus);
    expected[2] = QString();
    EXPECT_EQ(columnTexts(grid, 8, 1, 8), expected);
    EXPECT_EQ(cell(8, 9), QStringLiteral("7777"));
    EXPECT_EQ(columnTexts(grid, 7, 1, 8), QStringList(8, QString()));
}

TEST_F(UsersEditorTest, OnlyTheDoubleClickActs) {
    const QStringList before = allTexts(grid);
    for (const auto& [column, row] : {std::pair{3, 3}, std::pair{3, 0}, std::pair{0, 3}, std::pair{3, 9}}) {
        clickCell(grid, column, row);
        pressKey(Qt::Key_Return);
        typeText(QStringLiteral("+1"));
        EXPECT_FALSE(w.edit3->isVisible());
        EXPECT_EQ(grid->currentRow(), row);
        EXPECT_EQ(grid->currentColumn(), column);
    }
    doubleClickCell(grid, 0, 0);
    doubleClickCell(grid, 0, 9);
    EXPECT_FALSE(w.edit3->isVisible());
    EXPECT_EQ(allTexts(grid), before);
}

TEST_F(UsersEditorTest, BoxOpensJustInsideItsCell) {
    doubleClickCell(grid, 5, 9);
    const QRect cellRect = grid->visualRect(grid->model()->index(9, 5));
    const QPoint cellOnPage = grid->viewport()->mapTo(w.usersPage, cellRect.topLeft());
    EXPECT_EQ(w.edit3->pos(), cellOnPage + QPoint(2, 2));
}

class UserCodeTest : public UsersEditorTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(UserCodeTest, CommittedByEnter) {
    const BoxCase& c = GetParam();
    doubleClickCell(grid, 4, 9); // user 3, code 3333
    ASSERT_TRUE(w.edit3->isVisible());
    EXPECT_TRUE(w.edit3->hasFocus());
    EXPECT_EQ(w.edit3->text(), QStringLiteral("3333"));
    EXPECT_EQ(w.edit3->selectedText(), QStringLiteral("3333")) << "typing replaces the code shown";
    if (c.typed.isEmpty())
        QTest::keyClick(w.edit3, Qt::Key_Backspace);
    else
        typeText(c.typed);
    pressKey(Qt::Key_Return);
    EXPECT_FALSE(w.edit3->isVisible());
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(cell(4, 9), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, UserCodeTest,
                         ::testing::Values(BoxCase{9, "a1", "a1"}, BoxCase{9, "1234", "1234"},
                                           BoxCase{9, "Fe", "Fe"}, BoxCase{9, "12g", "3333"},
                                           BoxCase{9, "", "3333"}, BoxCase{9, "12345", "1234"},
                                           BoxCase{9, "-1", "3333"}, BoxCase{9, "Щ", "3333"}));

TEST_F(UsersEditorTest, EscapeKeepsTheOldCode) {
    doubleClickCell(grid, 2, 9);
    typeText(QStringLiteral("abc"));
    pressKey(Qt::Key_Escape);
    EXPECT_FALSE(w.edit3->isVisible());
    EXPECT_EQ(cell(2, 9), QStringLiteral("1111"));
    EXPECT_TRUE(grid->hasFocus());
}

TEST_F(UsersEditorTest, FocusLossAndTheMenusChangeCommit) {
    doubleClickCell(grid, 2, 9);
    typeText(QStringLiteral("ab"));
    clickCell(grid, 10, 9);
    EXPECT_FALSE(w.edit3->isVisible());
    EXPECT_EQ(cell(2, 9), QStringLiteral("ab")) << "committed to the cell it was opened for";
    EXPECT_EQ(cell(10, 9), QStringLiteral("9999"));

    doubleClickCell(grid, 11, 9);
    typeText(QStringLiteral("c"));
    w.usersEditor->commitOpenEdit();
    EXPECT_FALSE(w.edit3->isVisible());
    EXPECT_EQ(cell(11, 9), QStringLiteral("c"));
    EXPECT_TRUE(grid->hasFocus());
    w.usersEditor->commitOpenEdit(); // nothing open: nothing happens
    EXPECT_EQ(cell(11, 9), QStringLiteral("c"));
}

TEST_F(UsersEditorTest, CodeRowHintFollowsWhetherTheCodesWereRead) {
    const QString start =
        QStringLiteral("Задайте код доступа для взятия и снятия списка ШС пользователя\r\n");
    w.config.codesRead = false;
    moveMouse(grid, cellCenter(grid, 5, 9));
    EXPECT_EQ(grid->toolTip(),
              start + QStringLiteral("{при считывании свойств расширителя был установлен код по "
                                     "умолчанию\r\nкоторый будет записан если изменениялся список "
                                     "ШС пользователя}"));
    w.config.codesRead = true;
    moveMouse(grid, cellCenter(grid, 0, 9));
    EXPECT_EQ(grid->toolTip(), start + QStringLiteral("(коды пользователей были прочтены из расширтеля)"));

    struct Case {
        int column;
        int row;
        QString hint;
    };
    const Case cases[] = {
        {6, 4, QStringLiteral("Выберите ШС, входящие в список пользователя")},
        {31, 0, QStringLiteral("Инвертировать выбор всех ШС, входящих в список пользователя")},
        {0, 5, QStringLiteral("Инвертировать выбор ШС5 в списках всех пользователей")},
    };
    for (const Case& c : cases) {
        moveMouse(grid, cellCenter(grid, c.column, c.row));
        EXPECT_EQ(grid->toolTip(), c.hint);
    }
}

} // namespace
