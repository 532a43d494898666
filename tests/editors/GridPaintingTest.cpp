#include "EditorsFixture.h"

#include "editors/GridCellDelegate.h"

#include <QImage>
#include <QPalette>
#include <QScrollBar>
#include <QToolTip>

namespace {

// A dark palette: the grids must still show white cells with black text and button-face captions.
QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(40, 40, 40));
    palette.setColor(QPalette::WindowText, QColor(230, 230, 230));
    palette.setColor(QPalette::Base, QColor(25, 25, 25));
    palette.setColor(QPalette::AlternateBase, QColor(50, 50, 50));
    palette.setColor(QPalette::Text, QColor(230, 230, 230));
    palette.setColor(QPalette::Button, QColor(70, 60, 90));
    palette.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    palette.setColor(QPalette::Highlight, QColor(200, 30, 30));
    palette.setColor(QPalette::HighlightedText, QColor(255, 255, 0));
    return palette;
}

bool isDark(QRgb pixel) {
    return qGray(pixel) < 100;
}

// The part of the grid's picture that shows one cell, without its grid lines.
QImage cellImage(const QImage& picture, const QTableWidget* grid, int column, int row) {
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    const QPoint offset = grid->viewport()->mapTo(grid, QPoint(0, 0));
    return picture.copy(cell.translated(offset).adjusted(0, 0, -1, -1));
}

int darkPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += isDark(image.pixel(x, y));
    return count;
}

// The columns of the image that hold dark pixels: first and last.
std::pair<int, int> inkSpan(const QImage& image) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (isDark(image.pixel(x, y))) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

class GridPaintingTest : public ::testing::Test {
  protected:
    DialogRecorder dialogs;
    EditorsWindow w;

    void SetUp() override {
        ExpanderConfig config;
        config.parameters[2] = 0x85; // loop 1: smoke fire loop, pair number 6
        config.parameters[3] = 0x50;
        config.loopDescriptions[0] = QStringLiteral("Очень длинное описание шлейфа");
        w.show(config);
        w.window.setPalette(darkPalette());
    }
};

TEST_F(GridPaintingTest, NamedColoursOnADarkPalette) {
    QTableWidget* grid = w.loopGrid;
    w.showPage(w.loopPage, grid);
    grid->setCurrentCell(11, 1); // selected and focused: the colours stay
    const QImage picture = grid->grab().toImage();
    const QColor buttonFace = grid->palette().color(QPalette::Button);
    struct Case {
        int column;
        int row;
        QColor fill;
    };
    for (const Case& c : {Case{1, 11, Qt::white}, Case{3, 5, Qt::white}, Case{0, 0, buttonFace},
                          Case{0, 7, buttonFace}, Case{4, 0, buttonFace}}) {
        SCOPED_TRACE(c.row * 100 + c.column);
        const QImage cell = cellImage(picture, grid, c.column, c.row);
        // Near the right edge, away from the text and inside the focus frame.
        EXPECT_EQ(QColor(cell.pixel(cell.width() - 5, cell.height() / 2)), c.fill);
    }
    // Text is black on its white cell: the "+" of row 11 and the pair number.
    EXPECT_GT(darkPixels(cellImage(picture, grid, 1, 11)), 3);
    EXPECT_GT(darkPixels(cellImage(picture, grid, 1, 8)), 3);
    EXPECT_EQ(darkPixels(cellImage(picture, grid, 2, 11)), 0) << "an empty cell stays white";
    // Captions on the dark button face are drawn in a light colour, so they can be read.
    const QImage caption = cellImage(picture, grid, 0, 2);
    int light = 0;
    for (int y = 0; y < caption.height(); ++y)
        for (int x = 0; x < caption.width(); ++x)
            light += qGray(caption.pixel(x, y)) > 170;
    EXPECT_GT(light, 10);
}

TEST_F(GridPaintingTest, CaptionsAreBlackOnALightButtonFace) {
    w.window.setPalette(QPalette(QColor(230, 230, 230)));
    w.showPage(w.partitionsPage, w.partitionsGrid);
    const QImage caption = cellImage(w.partitionsGrid->grab().toImage(), w.partitionsGrid, 0, 1);
    int black = 0;
    for (int y = 0; y < caption.height(); ++y)
        for (int x = 0; x < caption.width(); ++x)
            black += caption.pixel(x, y) == qRgb(0, 0, 0);
    EXPECT_GT(black, 10);
}

TEST_F(GridPaintingTest, LoopCaptionsLeftAlignedAndDataCentred) {
    QTableWidget* grid = w.loopGrid;
    w.showPage(w.loopPage, grid);
    grid->scrollToBottom(); // the description row lies below the page
    const QImage picture = grid->grab().toImage();
    const QImage caption = cellImage(picture, grid, 0, 3);
    const auto [captionStart, captionEnd] = inkSpan(caption);
    EXPECT_GE(captionStart, 0);
    EXPECT_LE(captionStart, 2) << "no margin before a caption";
    const QImage header = cellImage(picture, grid, 2, 0);
    const auto [headerStart, headerEnd] = inkSpan(header);
    ASSERT_GE(headerStart, 0);
    EXPECT_LE(std::abs(headerStart - (header.width() - 1 - headerEnd)), 2) << "header centred";
    // A long description is cut with an ellipsis and stays inside its cell.
    const QImage description = cellImage(picture, grid, 1, 20);
    const auto [descriptionStart, descriptionEnd] = inkSpan(description);
    EXPECT_LE(descriptionStart, 3);
    EXPECT_GE(descriptionEnd, description.width() - 6);
    EXPECT_EQ(darkPixels(cellImage(picture, grid, 2, 20)), 0);
}

TEST_F(GridPaintingTest, LoopHeadingsStayInViewWhenScrolled) {
    QTableWidget* grid = w.loopGrid;
    w.showPage(w.loopPage, grid);
    const QRect top(grid->viewport()->mapTo(grid, QPoint(0, 0)), QSize(grid->viewport()->width(), 18));
    const QImage headings = grid->grab().toImage().copy(top);

    grid->setCurrentCell(20, 3);
    QApplication::processEvents();
    ASSERT_GT(grid->verticalScrollBar()->value(), 1);
    EXPECT_TRUE(grid->grab().toImage().copy(top) == headings) << "ШС1..ШС8 are drawn at the top";

    // The headings cover the top row: they have no hint, a click on them selects nothing, and a row
    // reached from the keyboard is shown below them.
    QWidget* onTop = grid->childAt(top.center());
    ASSERT_NE(onTop, nullptr);
    grid->setToolTip(QStringLiteral("the hint of the last cell"));
    QToolTip::hideText();
    QHelpEvent rest(QEvent::ToolTip, onTop->mapFrom(grid, top.center()), grid->mapToGlobal(top.center()));
    QApplication::sendEvent(onTop, &rest);
    EXPECT_FALSE(QToolTip::isVisible());
    QTest::mouseClick(onTop, Qt::LeftButton, {}, onTop->mapFrom(grid, top.center()));
    EXPECT_EQ(grid->currentRow(), 20);
    for (int row = 20; row > 2; --row)
        pressKey(Qt::Key_Up);
    ASSERT_EQ(grid->currentRow(), 2);
    EXPECT_GE(grid->rowViewportPosition(2), 18);
}

TEST_F(GridPaintingTest, CodeRowsAreMasked) {
    struct Case {
        QTableWidget* grid;
        int column;
        int row;
        QString text;
        QString shown;
    };
    const Case cases[] = {
        {w.partitionsGrid, 3, 10, QStringLiteral("001B"), QStringLiteral("****")},
        {w.partitionsGrid, 3, 1, QStringLiteral("12"), QStringLiteral("12")},
        {w.partitionsGrid, 0, 10, QStringLiteral("Код доступа"), QStringLiteral("Код доступа")},
        {w.partitionsGrid, 4, 10, QString(), QString()},
        {w.usersGrid, 5, 9, QStringLiteral("a1"), QStringLiteral("**")},
        {w.usersGrid, 0, 9, QStringLiteral("Код"), QStringLiteral("Код")},
        {w.loopGrid, 3, 9, QStringLiteral("+"), QStringLiteral("+")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        setCellText(c.grid, c.column, c.row, c.text);
        auto* delegate = dynamic_cast<GridCellDelegate*>(c.grid->itemDelegate());
        ASSERT_NE(delegate, nullptr);
        EXPECT_EQ(delegate->shownText(c.grid->model()->index(c.row, c.column)), c.shown);
    }
    // The picture shows the asterisks, not the code.
    w.showPage(w.usersPage, w.usersGrid);
    setCellText(w.usersGrid, 6, 9, QStringLiteral("a1"));
    setCellText(w.usersGrid, 7, 9, QStringLiteral("**"));
    const QImage picture = w.usersGrid->grab().toImage();
    EXPECT_EQ(cellImage(picture, w.usersGrid, 6, 9), cellImage(picture, w.usersGrid, 7, 9));
}

// Pictures of each grid with an edit in progress, for a person to look at.
TEST_F(GridPaintingTest, RenderScreens) {
    const QString folder = buildFolder() + QStringLiteral("/screens");
    ASSERT_TRUE(QDir().mkpath(folder));
    w.window.setPalette(QPalette());

    w.showPage(w.loopPage, w.loopGrid);
    w.loopGrid->scrollToBottom();
    doubleClickCell(w.loopGrid, 2, 20);
    typeText(QStringLiteral("Склад №2"));
    moveMouse(w.loopGrid, cellCenter(w.loopGrid, 0, 15));
    EXPECT_TRUE(w.window.grab().save(folder + QStringLiteral("/editors-loop-typing.png")));
    w.loopGrid->scrollToTop();
    clickCell(w.loopGrid, 3, 3);
    doubleClickCell(w.loopGrid, 3, 1);
    EXPECT_TRUE(w.window.grab().save(folder + QStringLiteral("/editors-loop-list.png")));

    w.window.setPalette(darkPalette());
    w.showPage(w.partitionsPage, w.partitionsGrid);
    for (int p = 1; p <= 8; ++p)
        setCellText(w.partitionsGrid, p, 10, QStringLiteral("0%1%1").arg(p).left(4).leftJustified(4, u'0'));
    doubleClickCell(w.partitionsGrid, 0, 5);
    doubleClickCell(w.partitionsGrid, 4, 10);
    QTest::keyClick(w.edit2, Qt::Key_A, Qt::ControlModifier);
    typeText(QStringLiteral("1b"));
    EXPECT_TRUE(w.window.grab().save(folder + QStringLiteral("/editors-partitions-dark.png")));
    pressKey(Qt::Key_Return);

    w.window.setPalette(QPalette());
    w.showPage(w.usersPage, w.usersGrid);
    doubleClickCell(w.usersGrid, 9, 0);
    doubleClickCell(w.usersGrid, 12, 9);
    typeText(QStringLiteral("a1"));
    EXPECT_TRUE(w.window.grab().save(folder + QStringLiteral("/editors-users.png")));
    pressKey(Qt::Key_Return);

    // Last: the open type list is a window of its own.
    w.showPage(w.loopPage, w.loopGrid);
    doubleClickCell(w.loopGrid, 3, 1);
    w.list->showPopup();
    EXPECT_TRUE(
        w.list->view()->window()->grab().save(folder + QStringLiteral("/editors-loop-open-list.png")));
    w.list->hidePopup();
}

} // namespace
