// Building the key programmer window: its menu, its controls and the key grid.
#include "keys/TMprogrammerLayout.h"
#include "keys/TMprogrammer.h"

#include "base/Hints.h"
#include "base/Text1251.h"
#include "base/WindowFont.h"
#include "journal/JournalWindow.h"
#include "link/PortList.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QValidator>

#include <algorithm>

using namespace TMprogrammerLayout;

namespace {

constexpr int kGridRows = 31;
constexpr int kDefaultColumnWidth = 90;
constexpr int kRowHeight = 18;
constexpr int kTimerMs = 1000;

// The description field takes only characters that code page 1251 can hold; others (typed or
// pasted) are dropped, so that every description can be written to the file as it is.
class Cp1251Validator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        if (fitsCp1251(input)) return Acceptable;
        QString kept;
        int newPos = pos;
        for (qsizetype i = 0; i < input.size();) {
            const qsizetype width = input[i].isHighSurrogate() && i + 1 < input.size() ? 2 : 1;
            const QString character = input.mid(i, width);
            if (fitsCp1251(character))
                kept += character;
            else if (i < pos)
                newPos -= static_cast<int>(std::min<qsizetype>(width, pos - i));
            i += width;
        }
        input = kept;
        pos = std::clamp(newPos, 0, static_cast<int>(kept.size()));
        return Acceptable;
    }
};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(left, top);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TTMwriteForm::TTMwriteForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("TTMwriteForm"));
    setWindowTitle(QStringLiteral("Программирование ключей ТМ"));
    setFont(windowFont());
    buildMenu();
    buildLayout();
    buildGrid();
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(kMinWidth, kMinHeight);
    FormCreate();
    installHintTime();
}

void TTMwriteForm::buildMenu() {
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
    file->setObjectName(QStringLiteral("N1menu"));
    N1 = file->menuAction();
    N1->setObjectName(QStringLiteral("N1"));
    N2 = file->addAction(QStringLiteral("Загрузить описания"));
    N2->setObjectName(QStringLiteral("N2"));
    N3 = file->addAction(QStringLiteral("Сохранить описания"));
    N3->setObjectName(QStringLiteral("N3"));
    N4 = file->addAction(QStringLiteral("Выход"));
    N4->setObjectName(QStringLiteral("N4"));
    N5 = menuBar()->addAction(QStringLiteral("МПК"));
    N5->setObjectName(QStringLiteral("N5"));
    Journal::addJournalMenu(menuBar());

    connect(N2, &QAction::triggered, this, [this] { Button7Click(); });
    connect(N3, &QAction::triggered, this, [this] { Button6Click(); });
    connect(N4, &QAction::triggered, this, [this] { N4Click(); });
    connect(N5, &QAction::triggered, this, [this] { whenLineFree(&TTMwriteForm::N5Click); });
}

void TTMwriteForm::buildLayout() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client_);
    client_->installEventFilter(this);

    Label3 = makeLabel(client_, "Label3", QStringLiteral("Порт"), 21, 11);

    ComboBox1 = new PortComboBox(client_);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setGeometry(56, 6, 89, ComboBox1->sizeHint().height());
    connect(ComboBox1, &QComboBox::activated, this, [this] { whenLineFree(&TTMwriteForm::ComboBox1Change); });

    GroupBox1 = new QGroupBox(QStringLiteral("ключ доступа"), client_);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(10, 28, 177, 49);
    Button3 = makeButton(GroupBox1, "Button3", QStringLiteral("Записать"), QRect(6, 17, 75, 25));
    Button4 = makeButton(GroupBox1, "Button4", QStringLiteral("Удалить"), QRect(86, 16, 75, 25));
    connect(Button3, &QPushButton::clicked, this, [this] { whenLineFree(&TTMwriteForm::Button3Click); });
    connect(Button4, &QPushButton::clicked, this, [this] { whenLineFree(&TTMwriteForm::Button4Click); });

    Label5 = makeLabel(client_, "Label5", QStringLiteral("Описание"), 203, 55);

    Edit4 = new QLineEdit(client_);
    Edit4->setObjectName(QStringLiteral("Edit4"));
    Edit4->setGeometry(264, 51, 401, Edit4->sizeHint().height());
    Edit4->setValidator(new Cp1251Validator(Edit4));
    connect(Edit4, &QLineEdit::textEdited, this, [this](const QString& text) { Edit4Change(text); });
    // A screen reader names the port list and the description field by their captions.
    Label3->setBuddy(ComboBox1);
    Label5->setBuddy(Edit4);

    Button7 = makeButton(client_, "Button7", QStringLiteral("Загрузить описания"), QRect(408, 8, 121, 25));
    Button6 = makeButton(client_, "Button6", QStringLiteral("Сохранить описания"), QRect(544, 8, 121, 25));
    connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });

    Bevel2 = new QFrame(client_);
    Bevel2->setObjectName(QStringLiteral("Bevel2"));
    Bevel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel2->setGeometry(8, 80, 673, 293);

    StringGrid1 = new QTableWidget(client_);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(10, 85, 665, 282);

    Panel1 = new QFrame(client_);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setAutoFillBackground(true);
    Panel1->setGeometry(231, 120, 201, 97);
    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(11, 10, 181, 78);
    Label6 = new QLabel(kTouchKeyText, Panel1);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setGeometry(24, 14, 170, Label6->sizeHint().height());
    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, kProgressMax);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(24, 32, 150, 17);
    Button5 = makeButton(Panel1, "Button5", QStringLiteral("Отмена"), QRect(64, 56, 75, 25));
    connect(Button5, &QPushButton::clicked, this, [this] { whenLineFree(&TTMwriteForm::Button5Click); });
    Panel1->hide();
    Panel1->raise();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerMs);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TTMwriteForm::buildGrid() {
    QTableWidget* grid = StringGrid1;
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->horizontalHeader()->setDefaultSectionSize(kDefaultColumnWidth);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    // The cells come after the headers are hidden: a shown header measures its captions each time
    // rows or columns are added.
    grid->setColumnCount(kGridColumns);
    grid->setRowCount(kGridRows);
    grid->setShowGrid(true);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setTabKeyNavigation(false);
    grid->setWordWrap(false);

    // Row 0 and column 0 hold the headings: they look like buttons and can never become current.
    const QBrush face = palette().button();
    const QBrush ink = palette().buttonText();
    for (int row = 0; row < kGridRows; ++row) {
        for (int column = 0; column < kGridColumns; ++column) {
            auto* item = new QTableWidgetItem;
            if (row == 0 || column == 0) {
                item->setFlags(Qt::NoItemFlags);
                item->setBackground(face);
                item->setForeground(ink);
            } else {
                item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            }
            grid->setItem(row, column, item);
        }
    }

    connect(grid, &QTableWidget::currentCellChanged, this, [this](int row, int column, int, int) {
        if (!fillingCells_) StringGrid1SelectCell(column, row);
    });
    // A click on the cell that is already current shows its description again as well.
    connect(grid, &QTableWidget::cellPressed, this, [this](int row, int column) {
        if (row == StringGrid1->currentRow() && column == StringGrid1->currentColumn())
            StringGrid1SelectCell(column, row);
    });
    connect(grid, &QTableWidget::cellDoubleClicked, this, [this] { StringGrid1DblClick(); });
    grid->installEventFilter(this);

    fillingCells_ = true;
    grid->setCurrentCell(1, 1);
    fillingCells_ = false;
}
void TTMwriteForm::layoutClientArea() {
    // Button6 and Button7 keep their distance from the right edge; the frame and the grid stretch.
    const int dw = client_->width() - kClientWidth;
    const int dh = client_->height() - kClientHeight;
    Button7->move(408 + dw, 8);
    Button6->move(544 + dw, 8);
    Bevel2->setGeometry(8, 80, std::max(0, 673 + dw), std::max(0, 293 + dh));
    StringGrid1->setGeometry(10, 85, std::max(0, 665 + dw), std::max(0, 282 + dh));
}
