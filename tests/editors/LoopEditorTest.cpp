#include "EditorsFixture.h"

#include <QAbstractItemView>
#include <QToolTip>

namespace {

const QString kSmoke = QStringLiteral("Дымовой пожарный");
const QString kHeat = QStringLiteral("Тепловой пожарный");
const QString kSecurity = QStringLiteral("Охранный");
const QString kAlarm = QStringLiteral("Тревожный");

// Loops: 1 smoke fire (pair 6), 2 alarm with fire bit clear and low bits 101, 3 alarm 600 ms,
// 4 security 60 ms, 5 heat fire (pair 3), 6..8 security.
ExpanderConfig loopConfig() {
    ExpanderConfig config;
    config.parameters = {0, 0, 0x85, 0x50, 0x05, 0x00, 0x41, 0x80, 0x00, 0x00, 0xC2, 0x81, 0, 0, 0, 0, 0, 0};
    config.loopDescriptions[1] = QStringLiteral("Кухня");
    return config;
}

QStringList columnTexts(const QTableWidget* grid, int column) {
    QStringList texts;
    for (int r = 0; r < grid->rowCount(); ++r)
        texts << cellText(grid, column, r);
    return texts;
}

QList<QStringList> gridTexts(const QTableWidget* grid) {
    QList<QStringList> texts;
    for (int c = 0; c < grid->columnCount(); ++c)
        texts << columnTexts(grid, c);
    return texts;
}

class LoopEditorTest : public ::testing::Test {
  protected:
    DialogRecorder dialogs;
    EditorsWindow w;
    QTableWidget* grid = w.loopGrid;

    void SetUp() override {
        w.show(loopConfig());
        w.showPage(w.loopPage, grid);
    }
    QString cell(int column, int row) const { return cellText(grid, column, row); }
    void TearDown() override { EXPECT_TRUE(dialogs.entries.empty()) << "the editor showed a message"; }
};

TEST_F(LoopEditorTest, CaptionDoubleClickTogglesEachLoopTheRowAppliesTo) {
    struct Case {
        int row;
        QStringList before; // loops 1..8
        QStringList after;
    };
    const QString p = QStringLiteral("+");
    const Case cases[] = {
        // "Реле ЗО [5]" applies to every loop; cells are toggled one by one.
        {2, {"", "", "", p, "", "", "", ""}, {p, p, p, "", p, p, p, p}},
        // "ШС без задержки [2]" only to security loops: fire loops 1 and 5 stay empty.
        {12, {"", p, "", "", "", "", "", ""}, {"", "", p, p, "", p, p, p}},
        // "Пересброс (пожарный)  [4]" only to fire loops.
        {9, {"", "", "", "", p, "", "", ""}, {p, "", "", "", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        for (int n = 1; n <= 8; ++n)
            setCellText(grid, n, c.row, c.before[n - 1]);
        doubleClickCell(grid, 0, c.row);
        for (int n = 1; n <= 8; ++n)
            EXPECT_EQ(cell(n, c.row), c.after[n - 1]) << "loop " << n;
    }
}

TEST_F(LoopEditorTest, DoubleClicksThatDoNothing) {
    struct Case {
        int column;
        int row;
        const char* why;
    };
    const Case cases[] = {
        {0, 1, "type caption"},
        {0, 8, "pair number caption"},
        {0, 16, "reaction time caption"},
        {0, 20, "description caption"},
        {4, 9, "fire row of a security loop"},
        {4, 8, "pair number of a security loop"},
        {1, 16, "reaction time of a fire loop"},
        {1, 12, "security row of a fire loop"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto before = gridTexts(grid);
        doubleClickCell(grid, c.column, c.row);
        EXPECT_EQ(gridTexts(grid), before);
        EXPECT_FALSE(w.list->isVisible());
        EXPECT_FALSE(w.loopEditor->editing());
    }
}

TEST_F(LoopEditorTest, TypeListOpensOverTheCellWithTheCellsTypeSelected) {
    setCellText(grid, 6, 1, QString()); // a type cell not filled yet
    struct Case {
        int loop;
        int selected;
    };
    for (const Case c : {Case{6, -1}, Case{1, 0}, Case{5, 1}, Case{4, 2}, Case{3, 3}}) {
        SCOPED_TRACE(c.loop);
        doubleClickCell(grid, c.loop, 1);
        ASSERT_TRUE(w.list->isVisible());
        QStringList items;
        for (int i = 0; i < w.list->count(); ++i)
            items << w.list->itemText(i);
        EXPECT_EQ(items, (QStringList{kSmoke, kHeat, kSecurity, kAlarm}));
        EXPECT_EQ(w.list->currentIndex(), c.selected);
        EXPECT_TRUE(w.list->hasFocus());
        const QRect cellRect(
            grid->viewport()->mapTo(w.loopPage, grid->visualRect(grid->model()->index(1, c.loop)).topLeft()),
            grid->visualRect(grid->model()->index(1, c.loop)).size());
        EXPECT_EQ(w.list->pos(), cellRect.topLeft() + QPoint(2, 1));
        // Clicking the grid takes the focus from the list, which hides it.
        clickCell(grid, 2, 3);
        EXPECT_FALSE(w.list->isVisible());
    }
    EXPECT_EQ(cell(6, 1), QString()); // opening and closing chose nothing
}

TEST_F(LoopEditorTest, ChoosingATypeRefillsTheColumnFromTheStoredBytes) {
    // Loop 2 is stored as 0x05 0x00: an alarm loop. The user ticks "Реле ЗО" (not stored) and
    // picks "Тепловой пожарный": the pair number comes from the low three bits plus one.
    setCellText(grid, 2, 2, QStringLiteral("+"));
    auto others = gridTexts(grid);
    others.removeAt(2);
    doubleClickCell(grid, 2, 1);
    ASSERT_EQ(w.list->currentIndex(), 3);
    pressKey(Qt::Key_Up); // "Охранный"
    EXPECT_EQ(cell(2, 1), kSecurity);
    EXPECT_EQ(cell(2, 16), QStringLiteral("60 мс"));
    pressKey(Qt::Key_Up); // "Тепловой пожарный"
    EXPECT_TRUE(w.list->isVisible()) << "the list stays open until it loses the focus";
    EXPECT_EQ(cell(2, 1), kHeat);
    EXPECT_EQ(cell(2, 8), QStringLiteral("6"));
    EXPECT_EQ(cell(2, 2), QString()) << "the stored value of row 2 is shown again";
    for (int r = 12; r <= 19; ++r)
        EXPECT_EQ(cell(2, r), QString()) << "row " << r;
    EXPECT_EQ(cell(2, 20), QStringLiteral("Кухня"));
    auto othersAfter = gridTexts(grid);
    othersAfter.removeAt(2);
    EXPECT_EQ(othersAfter, others) << "no other column changes";
    pressKey(Qt::Key_Escape);
    EXPECT_FALSE(w.list->isVisible());
    EXPECT_TRUE(grid->hasFocus());
}

TEST_F(LoopEditorTest, ReactionTimeChangesOnlyItsCell) {
    doubleClickCell(grid, 4, 16);
    ASSERT_TRUE(w.list->isVisible());
    EXPECT_EQ(w.list->count(), 2);
    EXPECT_EQ(w.list->itemText(0), QStringLiteral("60 мс"));
    EXPECT_EQ(w.list->itemText(1), QStringLiteral("600 мс"));
    EXPECT_EQ(w.list->currentIndex(), 0);
    const QPoint cellOnPage =
        grid->viewport()->mapTo(w.loopPage, grid->visualRect(grid->model()->index(16, 4)).topLeft());
    EXPECT_EQ(w.list->pos(), cellOnPage + QPoint(2, 2));
    auto expected = gridTexts(grid);
    expected[4][16] = QStringLiteral("600 мс");
    pressKey(Qt::Key_Down);
    EXPECT_EQ(gridTexts(grid), expected);
}

TEST_F(LoopEditorTest, DoubleClickIsIgnoredWhileTheListIsOpen) {
    doubleClickCell(grid, 4, 1);
    ASSERT_TRUE(w.list->isVisible());
    const auto before = gridTexts(grid);
    grid->setCurrentCell(3, 4); // a toggle row, as if the grid were clicked without taking the focus
    w.loopEditor->StringGrid1DblClick();
    EXPECT_EQ(gridTexts(grid), before);
}

TEST_F(LoopEditorTest, TogglesAndEnter) {
    doubleClickCell(grid, 1, 10); // fire row of a fire loop: stored "+"
    EXPECT_EQ(cell(1, 10), QString());
    doubleClickCell(grid, 4, 13);
    EXPECT_EQ(cell(4, 13), QStringLiteral("+"));
    // Enter does what the double-click does, and starts typing in rows 8 and 20.
    grid->setCurrentCell(13, 4);
    pressKey(Qt::Key_Return);
    EXPECT_EQ(cell(4, 13), QString());
    grid->setCurrentCell(8, 4);
    pressKey(Qt::Key_Return);
    EXPECT_TRUE(w.loopEditor->editing());
}

// Typing in place. Each case starts with the grid as loopConfig() shows it.
struct TypingCase {
    const char* name;
    int loop;
    int row;
    bool startByDoubleClick;
    std::function<void(EditorsWindow&)> keys;
    std::function<void(EditorsWindow&)> leave; // may be empty
    QString expected;
};

void PrintTo(const TypingCase& c, std::ostream* os) {
    *os << c.name;
}

class LoopTypingTest : public LoopEditorTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(LoopTypingTest, CellText) {
    const TypingCase& c = GetParam();
    grid->setCurrentCell(c.row, c.loop);
    if (c.startByDoubleClick) doubleClickCell(grid, c.loop, c.row);
    c.keys(w);
    if (c.leave) c.leave(w);
    EXPECT_EQ(cell(c.loop, c.row), c.expected);
    if (c.leave) EXPECT_FALSE(w.loopEditor->editing());
}

void type(const QString& text) {
    typeText(text);
}
auto typing(const char* text) {
    return [t = QString::fromUtf8(text)](EditorsWindow&) { type(t); };
}
void erase(EditorsWindow&) {
    pressKey(Qt::Key_End);
    pressKey(Qt::Key_Backspace);
}
void clickOtherCell(EditorsWindow& w) {
    clickCell(w.loopGrid, 6, 3);
}
void arrowDown(EditorsWindow&) {
    pressKey(Qt::Key_Down);
}
void tabAway(EditorsWindow&) {
    pressKey(Qt::Key_Tab);
}
void focusOtherControl(EditorsWindow& w) {
    w.otherControl->setFocus();
    QApplication::processEvents();
}

const QString k19 = QStringLiteral("Прихожая и коридор1");       // 19 characters
const QString k25 = QStringLiteral("Прихожая, коридор, холл 2"); // 25 characters

INSTANTIATE_TEST_SUITE_P(
    Cases, LoopTypingTest,
    ::testing::Values(
        TypingCase{"NineInAnEmptyPairNumberIsRefused", 4, 8, false, typing("9"), clickOtherCell, ""},
        TypingCase{"OneThenZeroLeavesOne", 4, 8, false, typing("10"), clickOtherCell, "1"},
        TypingCase{"TypingStartsEditingInASecurityLoopsPairNumber", 4, 8, false, typing("3"), nullptr, "3"},
        TypingCase{"TypedDigitReplacesThePairNumber", 1, 8, false, typing("7"), clickOtherCell, "7"},
        TypingCase{"ZeroIsRefused", 1, 8, true, typing("0"), clickOtherCell, "6"},
        TypingCase{"ErasedNumberComesBackOnClickingAnotherCell", 1, 8, true, erase, clickOtherCell, "6"},
        TypingCase{"ErasedNumberComesBackOnArrowKey", 1, 8, true, erase, arrowDown, "6"},
        TypingCase{"ErasedNumberComesBackOnTab", 1, 8, true, erase, tabAway, "6"},
        TypingCase{"ErasedNumberStaysWhenTheFocusLeavesTheGrid", 1, 8, true, erase, focusOtherControl, ""},
        TypingCase{"RefusedKeyAfterErasingKeepsTheNumberToRestore", 1, 8, true,
                   [](EditorsWindow& w) {
                       erase(w);
                       type(QStringLiteral("9"));
                   },
                   clickOtherCell, "6"},
        TypingCase{"NewNumberErasedAgainComesBackAsTheNewNumber", 1, 8, true,
                   [](EditorsWindow& w) {
                       erase(w);
                       type(QStringLiteral("3"));
                       erase(w);
                   },
                   clickOtherCell, "3"},
        TypingCase{"NineteenCharactersStay", 6, 20, true, [](EditorsWindow&) { type(k19); }, clickOtherCell,
                   k19},
        TypingCase{"TwentiethCharacterIsUndone", 6, 20, true, [](EditorsWindow&) { type(k19 + "X"); },
                   clickOtherCell, k19},
        TypingCase{"LongLoadedDescriptionCannotLoseOneCharacter", 7, 20, true,
                   [](EditorsWindow& w) {
                       setCellText(w.loopGrid, 7, 20, k25); // as if read while the cell was current
                       pressKey(Qt::Key_End);
                       pressKey(Qt::Key_Backspace);
                       pressKey(Qt::Key_Backspace);
                   },
                   clickOtherCell, k25},
        TypingCase{"CharactersOutsideCodePage1251AreRefused", 6, 20, true, typing("Ёж✓№€日x"), clickOtherCell,
                   QStringLiteral("Ёж№€x")},
        TypingCase{"TypingOutsideRows8And20DoesNothing", 1, 2, false, typing("+a"), nullptr, ""}),
    [](const ::testing::TestParamInfo<TypingCase>& info) { return std::string(info.param.name); });

TEST_F(LoopEditorTest, LongLoadedDescriptionIsAcceptedWhenShortenedTo19InOneEdit) {
    setCellText(grid, 7, 20, k25);
    doubleClickCell(grid, 7, 20);
    ASSERT_TRUE(w.loopEditor->editing());
    pressKey(Qt::Key_End);
    for (int i = 0; i < 6; ++i)
        pressKey(Qt::Key_Left, Qt::ShiftModifier);
    pressKey(Qt::Key_Backspace);
    EXPECT_EQ(cell(7, 20), k25.left(19)) << "the cell follows the accepted edit at once";
    EXPECT_EQ(w.loopEditor->textBeforeEdit(), k25);
}

TEST_F(LoopEditorTest, TypingInOtherRowsNeitherEditsNorMovesTheCurrentCell) {
    grid->setCurrentCell(2, 1);
    typeText(QStringLiteral("Р+"));
    EXPECT_EQ(grid->currentRow(), 2);
    EXPECT_EQ(grid->currentColumn(), 1);
    EXPECT_FALSE(w.loopEditor->editing());
}

TEST_F(LoopEditorTest, ASingleClickEndsEditing) {
    doubleClickCell(grid, 2, 20);
    ASSERT_TRUE(w.loopEditor->editing());
    clickCell(grid, 2, 0); // the header row cannot be selected, the click still ends editing
    EXPECT_FALSE(w.loopEditor->editing());
    EXPECT_EQ(grid->currentRow(), 20);
}

TEST(LoopEditorKeyboard, EnteringTheGridFromTheKeyboardStartsBelowTheHeader) {
    DialogRecorder dialogs;
    EditorsWindow w;
    w.otherControl->setFocus();
    w.showPage(w.loopPage, w.loopGrid); // no cell current yet
    pressKey(Qt::Key_Right);
    EXPECT_EQ(w.loopGrid->currentRow(), 1);
    EXPECT_EQ(w.loopGrid->currentColumn(), 1);
    pressKey(Qt::Key_Down);
    pressKey(Qt::Key_Return); // toggles "Реле ЗО [5]" of loop 1
    EXPECT_EQ(cellText(w.loopGrid, 1, 2), QStringLiteral("+"));
}

TEST_F(LoopEditorTest, HeaderRowCannotBecomeCurrent) {
    clickCell(grid, 3, 2);
    doubleClickCell(grid, 3, 0);
    EXPECT_EQ(grid->currentRow(), 2);
    EXPECT_EQ(cell(3, 2), QString()) << "a double-click on the header must not act on the current cell";
    pressKey(Qt::Key_Up);
    pressKey(Qt::Key_Up);
    EXPECT_EQ(grid->currentRow(), 1);
}

TEST_F(LoopEditorTest, WithoutTheDescriptionRowTheOtherRowsWorkAlike) {
    setLoopGridRows(grid, 20);
    clickCell(grid, 4, 19);
    pressKey(Qt::Key_Down);
    EXPECT_EQ(grid->currentRow(), 19);
    grid->setCurrentCell(20, 4);
    EXPECT_EQ(grid->currentRow(), 19);
    doubleClickCell(grid, 4, 19);
    EXPECT_EQ(cell(4, 19), QStringLiteral("+"));
    doubleClickCell(grid, 0, 12);
    EXPECT_EQ(cell(4, 12), QStringLiteral("+"));
    EXPECT_EQ(cell(1, 12), QString());
    grid->setCurrentCell(8, 4);
    typeText(QStringLiteral("2"));
    EXPECT_EQ(cell(4, 8), QStringLiteral("2"));
}

TEST_F(LoopEditorTest, RowHintsAtTheMouse) {
    struct Case {
        int column;
        int row;
        QString hint;
    };
    const Case cases[] = {
        {3, 1,
         QStringLiteral(
             "Охранный круглосуточный ШС\r\nне снимается с охраны, работает \r\nв режиме тревожной "
             "сигнализации")},
        {4, 1, QStringLiteral("Охранный ШС (снимается с охраны)")},
        {0, 1, QStringLiteral("Установите тип ШС")},
        {5, 7,
         QStringLiteral(
             "Если отмечено, реле ПЦН срабатывает при тревоге,\r\nвнимании, пожаре и неисправности ШС.")},
        {0, 8,
         QStringLiteral(
             "   Только для пожарных ШС.\r\nЕсли номер пары совпадает с номером ШС\r\nизвещение "
             "\"Пожар\" формируется при \r\nсрабатывании одного ШС.\r\nЕсли парными выбраны два "
             "разных ШС, при\r\nсрабатывании одного из них формируется\r\nизвещение \"Внимание\", при "
             "срабатывании\r\nобоих извещение \"Пожар\".")},
        {8, 14, QStringLiteral("Если отмечено, при снятии ШС с охраны с него снимается питание.")},
    };
    w.otherControl->setFocus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        moveMouse(grid, cellCenter(grid, c.column, c.row));
        EXPECT_EQ(grid->toolTip(), c.hint);
        EXPECT_TRUE(QToolTip::isVisible());
        EXPECT_EQ(QToolTip::text(), c.hint);
        EXPECT_TRUE(grid->hasFocus()) << "the grid takes the focus under the mouse";
    }
    const QString last = grid->toolTip();
    moveMouse(grid, cellCenter(grid, 2, 0));
    EXPECT_EQ(grid->toolTip(), last) << "the header row has no hint";
    setCellText(grid, 2, 1, QString());
    moveMouse(grid, cellCenter(grid, 2, 1));
    EXPECT_EQ(grid->toolTip(), QStringLiteral("Установите тип ШС"));
    doubleClickCell(grid, 4, 16);
    ASSERT_TRUE(w.list->isVisible());
    moveMouse(grid, cellCenter(grid, 4, 20));
    EXPECT_EQ(grid->toolTip(), QStringLiteral("Установите тип ШС")) << "no hints while the list is open";
    EXPECT_TRUE(w.list->hasFocus());
}

TEST_F(LoopEditorTest, MouseOverTheGridDoesNotTakeTheFocusFromItsEditor) {
    doubleClickCell(grid, 3, 20);
    ASSERT_TRUE(w.loopEditor->editing());
    moveMouse(grid, cellCenter(grid, 5, 5));
    EXPECT_TRUE(w.loopEditor->editing());
    typeText(QStringLiteral("Ab"));
    EXPECT_EQ(cell(3, 20), QStringLiteral("Ab"));
}

} // namespace
