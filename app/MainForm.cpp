#include "app/MainForm.h"
#include "base/WindowFont.h"
#include "link/PortList.h"

#include "editors/LoopEditor.h"
#include "editors/PartitionsEditor.h"
#include "editors/UsersEditor.h"

#include "app/MainTexts.h"
#include "base/Clock.h"
#include "base/GridCells.h"
#include "base/Hints.h"
#include "base/IntegerText.h"
#include "compare/Comparison.h"
#include "config/ConfigFile.h"
#include "config/ConfigReport.h"
#include "config/LoopLayout.h"
#include "device/ExpanderFrames.h"
#include "journal/JournalWindow.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "site/Site.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

// The client area below the menu, as the layout is drawn.
constexpr QSize kClientSize(688, 404);
// Outer width 696 of the drawn window less its client width 688: the frame, both sides together.
constexpr int kDrawnFrameWidth = 696 - 688;
// A tab page's inner area when the page control has its drawn size of 688 x 338.
constexpr QSize kPageSize(680, 310);
constexpr int kProgressMaximum = 120;
constexpr int kHintDisplayMs = 45000;
// Edit1Change converts with this default and counts it as a failure, so this value is refused too.
constexpr int32_t kAccessCodeRefused = 100000000;

// Keeps children at their distances from the edges of their parent that they are anchored to, the
// distances being those of the drawn layout for a parent of the drawn size.
class EdgeAnchors : public QObject {
  public:
    EdgeAnchors(QWidget* parent, QSize drawnSize) : QObject(parent), parent_(parent), drawnSize_(drawnSize) {
        parent->installEventFilter(this);
    }

    void anchor(QWidget* child, Qt::Edges edges) { entries_.push_back({child, child->geometry(), edges}); }

    void apply() {
        const int dx = parent_->width() - drawnSize_.width();
        const int dy = parent_->height() - drawnSize_.height();
        for (const Entry& e : entries_) {
            QRect r = e.drawn;
            if (e.edges & Qt::RightEdge) {
                if (e.edges & Qt::LeftEdge)
                    r.setWidth(std::max(0, r.width() + dx));
                else
                    r.moveLeft(r.left() + dx);
            }
            if (e.edges & Qt::BottomEdge) {
                if (e.edges & Qt::TopEdge)
                    r.setHeight(std::max(0, r.height() + dy));
                else
                    r.moveTop(r.top() + dy);
            }
            e.child->setGeometry(r);
        }
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent_ && event->type() == QEvent::Resize) apply();
        return false;
    }

  private:
    struct Entry {
        QWidget* child;
        QRect drawn;
        Qt::Edges edges;
    };
    QWidget* parent_;
    QSize drawnSize_;
    std::vector<Entry> entries_;
};

constexpr Qt::Edges kAllEdges = Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge;

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* placedLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = named(new QLabel(text, parent), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// The look of the application's style, with the typed characters of a password field shown as "*".
class StarPasswordStyle : public QProxyStyle {
  public:
    StarPasswordStyle() : QProxyStyle(QApplication::style()->name()) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QCheckBox* placedCheckBox(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* box = named(new QCheckBox(text, parent), name);
    box->setGeometry(left, top, box->sizeHint().width(), 17);
    return box;
}

// A string grid: every row and column, the headers and captions included, is a cell row or column.
QTableWidget* makeGrid(QWidget* parent, const char* name, int columns, int rows, int rowHeight) {
    // The headers are hidden before the cells come: a shown header measures its captions each time
    // rows or columns are added.
    auto* grid = named(new QTableWidget(parent), name);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setMinimumSectionSize(1);
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid->setRowCount(rows);
    grid->setColumnCount(columns);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    return grid;
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), controlsBuilt_(buildControls()), session(controls(), config, progressStep) {
    session.onKeyDeviceFound = [this] { N8Click(); };
    loopEditor = std::make_unique<LoopEditor>(StringGrid1, ComboBox4, config, controls().config, this);
    partitionsEditor = std::make_unique<PartitionsEditor>(StringGrid2, Edit2, this);
    usersEditor = std::make_unique<UsersEditor>(StringGrid3, Edit3, config, this);
    commitUserCodeEdit = [this] { usersEditor->commitOpenEdit(); };
    connectHandlers();
    Compare::attach(
        {this, FileMenu, N3, ExpanderMenu, controls(), &config, &session, [this] { Button1Click(); }});
    Site::attach({ExpanderMenu, controls(), &session, &config});
    FormCreate();
    Timer1->start();
}

TForm1::~TForm1() = default;

bool TForm1::buildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Конфигуратор Ортекс V2.04"));
    setFont(windowFont());

    buildMenu();

    auto* client = named(new QWidget(this), "ClientArea");
    setCentralWidget(client);

    Label2 = placedLabel(client, "Label2", QStringLiteral("Порт"), 8, 8);
    ComboBox1 = named(new PortComboBox(client), "ComboBox1");
    ComboBox1->setGeometry(41, 7, 145, 21);
    Label3 = placedLabel(client, "Label3", QStringLiteral("Текущий расширитель"), 216, 11);
    ComboBox2 = named(new QComboBox(client), "ComboBox2");
    ComboBox2->setGeometry(340, 6, 145, 21);
    Button1 = named(new QPushButton(QStringLiteral("Записать в расширитель"), client), "Button1");
    Button1->setGeometry(512, 6, 137, 25);

    ProgressBar1 = named(new QProgressBar(client), "ProgressBar1");
    ProgressBar1->setGeometry(40, 40, 150, 17);
    ProgressBar1->setRange(0, kProgressMaximum);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();

    Label4 = placedLabel(client, "Label4", QStringLiteral("Код доступа"), 265, 42);
    Edit1 = named(new QLineEdit(client), "Edit1");
    Edit1->setGeometry(342, 40, 137, 21);
    Edit1->setMaxLength(8);
    Edit1->setEchoMode(QLineEdit::Password);
    auto* starStyle = new StarPasswordStyle; // a style sheet would do the same at many times the cost
    starStyle->setParent(this);
    Edit1->setStyle(starStyle);
    CheckBox14 = named(new QCheckBox(QStringLiteral("код по умолчанию"), client), "CheckBox14");
    CheckBox14->setGeometry(501, 43, 116, 17);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(100);

    PageControl1 = named(new QTabWidget(client), "PageControl1");
    PageControl1->setGeometry(0, 66, 688, 338);
    auto* clientAnchors = new EdgeAnchors(client, kClientSize);
    clientAnchors->anchor(PageControl1, kAllEdges);

    buildPages();

    client->setMinimumSize(kClientSize);
    const QSize least(kClientSize.width(), kClientSize.height() + MainMenu1->sizeHint().height());
    setMinimumSize(least);
    resize(least);
    move(208, 114);
    return true;
}

void TForm1::buildMenu() {
    MainMenu1 = named(menuBar(), "MainMenu1");
    FileMenu = named(MainMenu1->addMenu(QStringLiteral("Файл")), "FileMenu");
    N3 = named(FileMenu->addAction(QStringLiteral("Открыть")), "N3");
    N4 = named(FileMenu->addAction(QStringLiteral("Сохранить")), "N4");
    N9 = named(FileMenu->addAction(QStringLiteral("Отчёт…")), "N9");
    N5 = named(FileMenu->addAction(QStringLiteral("Выход")), "N5");
    ExpanderMenu = named(MainMenu1->addMenu(QStringLiteral("Расширитель")), "ExpanderMenu");
    N6 = named(ExpanderMenu->addAction(QStringLiteral("Запрограммировать")), "N6");
    N7 = named(ExpanderMenu->addAction(QStringLiteral("Прочитать")), "N7");
    N8 = named(MainMenu1->addAction(QStringLiteral("БКУ")), "N8");
    N8->setVisible(false);
    Journal::addJournalMenu(MainMenu1);
}

void TForm1::buildPages() {
    TabSheet1 = named(new QWidget, "TabSheet1");
    TabSheet2 = named(new QWidget, "TabSheet2");
    TabSheet3 = named(new QWidget, "TabSheet3");
    TabSheet4 = named(new QWidget, "TabSheet4");
    const QStringList& titles = pageTitles();
    PageControl1->addTab(TabSheet1, titles[0]);
    PageControl1->addTab(TabSheet2, titles[1]);
    PageControl1->addTab(TabSheet3, titles[2]);
    PageControl1->addTab(TabSheet4, titles[3]);
    for (QWidget* page : {TabSheet1, TabSheet2, TabSheet3, TabSheet4})
        page->resize(kPageSize);

    // General properties: the left column stays at the left edge, the right column keeps its
    // distance from the right edge.
    struct BoxPlace {
        QCheckBox** box;
        int number;
        int left;
        int top;
    };
    const BoxPlace places[] = {
        {&CheckBox1, 1, 11, 12},   {&CheckBox13, 13, 11, 43},  {&CheckBox8, 8, 12, 78},
        {&CheckBox3, 3, 11, 114},  {&CheckBox11, 11, 12, 150}, {&CheckBox5, 5, 12, 185},
        {&CheckBox4, 4, 11, 217},  {&CheckBox2, 2, 11, 249},   {&CheckBox10, 10, 12, 280},
        {&CheckBox9, 9, 350, 12},  {&CheckBox6, 6, 351, 47},   {&CheckBox12, 12, 351, 79},
        {&CheckBox7, 7, 352, 111},
    };
    auto* generalAnchors = new EdgeAnchors(TabSheet1, kPageSize);
    for (const BoxPlace& p : places) {
        const QByteArray name = "CheckBox" + QByteArray::number(p.number);
        *p.box = placedCheckBox(TabSheet1, name.constData(), generalPropertyCaption(p.number), p.left, p.top);
        if (p.left > 300) generalAnchors->anchor(*p.box, Qt::TopEdge | Qt::RightEdge);
    }
    Label1 = placedLabel(TabSheet1, "Label1", exitDelayCaption(), 358, 217);
    ComboBox3 = named(new QComboBox(TabSheet1), "ComboBox3");
    ComboBox3->setGeometry(499, 212, 70, 21);
    ComboBox3->addItems(exitDelayItems());
    ComboBox3->setCurrentIndex(0);
    generalAnchors->anchor(Label1, Qt::TopEdge | Qt::RightEdge);
    // A screen reader names each list and field by its caption.
    for (const auto& [label, field] : {std::pair<QLabel*, QWidget*>{Label2, ComboBox1}, {Label3, ComboBox2},
                                       {Label4, Edit1}, {Label1, ComboBox3}})
        label->setBuddy(field);
    generalAnchors->anchor(ComboBox3, Qt::TopEdge | Qt::RightEdge);
    Label5 = named(new QLabel(TabSheet1), "Label5");
    Label5->hide();

    // Loop properties: the grid fills the page; the cell editors lie hidden above the grids.
    StringGrid1 = makeGrid(TabSheet2, "StringGrid1", 9, 21, 18);
    StringGrid1->setGeometry(QRect(QPoint(0, 0), kPageSize));
    StringGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    StringGrid1->setColumnWidth(0, 164);
    for (int c = 1; c < 9; ++c)
        StringGrid1->setColumnWidth(c, 60);
    (new EdgeAnchors(TabSheet2, kPageSize))->anchor(StringGrid1, kAllEdges);
    ComboBox4 = named(new QComboBox(TabSheet2), "ComboBox4");
    ComboBox4->setGeometry(0, 0, 65, 21);
    ComboBox4->hide();

    StringGrid2 = makeGrid(TabSheet3, "StringGrid2", 9, 11, 24);
    StringGrid2->setGeometry(8, 8, 657, 281);
    StringGrid2->setColumnWidth(0, 121);
    for (int c = 1; c < 9; ++c)
        StringGrid2->setColumnWidth(c, 65);
    (new EdgeAnchors(TabSheet3, kPageSize))->anchor(StringGrid2, kAllEdges);
    Edit2 = named(new QLineEdit(TabSheet3), "Edit2");
    Edit2->setGeometry(0, 0, 68, 26);
    Edit2->hide();

    StringGrid3 = makeGrid(TabSheet4, "StringGrid3", 32, 10, 24);
    StringGrid3->setGeometry(0, 0, 680, 257);
    StringGrid3->setColumnWidth(0, 27);
    for (int c = 1; c < 31; ++c)
        StringGrid3->setColumnWidth(c, 20);
    StringGrid3->setColumnWidth(31, 18);
    (new EdgeAnchors(TabSheet4, kPageSize))->anchor(StringGrid3, kAllEdges);
    Edit3 = named(new QLineEdit(TabSheet4), "Edit3");
    Edit3->setGeometry(0, 0, 41, 21);
    Edit3->setMaxLength(4);
    Edit3->hide();

    PageControl1->setCurrentWidget(TabSheet4);
}

void TForm1::connectHandlers() {
    // The lists run their procedures only when the user picks an item; a selection made by the
    // program itself runs nothing.
    connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
    connect(ComboBox2, &QComboBox::activated, this, [this] { ComboBox2Change(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    // Also when the program ticks the box itself (an empty access code at the start of a run).
    connect(CheckBox14, &QCheckBox::toggled, this, [this] { CheckBox14Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(N3, &QAction::triggered, this, [this] { N3Click(); });
    connect(N4, &QAction::triggered, this, [this] { N4Click(); });
    connect(N5, &QAction::triggered, this, [this] { N5Click(); });
    connect(N9, &QAction::triggered, this, [this] { N9Click(); });
    connect(N6, &QAction::triggered, this, [this] { N6Click(); });
    connect(N7, &QAction::triggered, this, [this] { N7Click(); });
    connect(N8, &QAction::triggered, this, [this] { N8Click(); });
    connect(FileMenu, &QMenu::aboutToShow, this, [this] { MainMenu1Change(); });
    connect(ExpanderMenu, &QMenu::aboutToShow, this, [this] { MainMenu1Change(); });
    PageControl1->installEventFilter(this);

    QPointer<QLabel> trace = Label5;
    Link::setTraceSink([trace](const QString& text) {
        if (trace) trace->setText(text);
    });
}

MainControls TForm1::controls() const {
    MainControls c;
    c.config.checkBoxes = {CheckBox1, CheckBox2, CheckBox3,  CheckBox4,  CheckBox5,  CheckBox6, CheckBox7,
                           CheckBox8, CheckBox9, CheckBox10, CheckBox11, CheckBox12, CheckBox13};
    c.config.exitDelay = ComboBox3;
    c.config.loopGrid = StringGrid1;
    c.config.partitionsGrid = StringGrid2;
    c.config.usersGrid = StringGrid3;
    c.window = const_cast<TForm1*>(this);
    c.ports = ComboBox1;
    c.expanders = ComboBox2;
    c.progress = ProgressBar1;
    c.accessCode = Edit1;
    c.defaultCode = CheckBox14;
    c.pages = PageControl1;
    c.globalPartitionsPage = TabSheet3;
    c.trace = Label5;
    return c;
}

void TForm1::FormCreate() {
    config.loadedFromFile = false;
    Access::resetFlags();
    for (UserEntry& user : config.users)
        user.code = kEmptyCode;
    putFixedGridTexts();
    assignHints();
    installHintTime();
    fillPortList(ComboBox1);
}

void TForm1::putFixedGridTexts() {
    const QStringList& userRows = userRowCaptions();
    for (int u = 0; u < kUserCount; ++u)
        setCellText(StringGrid3, u + 1, 0, userColumnHeader(u));
    for (int r = 0; r < userRows.size(); ++r)
        setCellText(StringGrid3, 0, r + 1, userRows[r]);

    const QStringList& partitionRows = partitionRowCaptions();
    for (int p = 1; p <= kPartitionCount; ++p)
        setCellText(StringGrid2, p, 0, partitionColumnHeader(p));
    for (int r = 0; r < partitionRows.size(); ++r)
        setCellText(StringGrid2, 0, r + 1, partitionRows[r]);

    const QStringList& loopRows = loopRowCaptions();
    for (int n = 1; n <= kLoopCount; ++n)
        setCellText(StringGrid1, n, 0, loopColumnHeader(n));
    for (int r = 0; r < loopRows.size(); ++r)
        setCellText(StringGrid1, 0, r + 1, loopRows[r]);
}

void TForm1::assignHints() {
    for (const MainTexts::ControlHint& hint : MainTexts::controlHints()) {
        if (auto* control = findChild<QWidget*>(QLatin1String(hint.control))) control->setToolTip(hint.text);
    }
}

void TForm1::FormShow() {
    setHintDisplayMs(kHintDisplayMs);
}

void TForm1::FormClose() {
    endProgram();
}

void TForm1::N5Click() {
    endProgram();
}

void TForm1::endProgram() {
    if (Link::portOpen()) Link::ClosePort();
    Clock::setTerminating(true);
    // Quitting closes the windows, which comes back here through closeEvent.
    if (ending_) return;
    ending_ = true;
    QCoreApplication::quit();
}

int TForm1::outerWidth() const {
    // The frame the layout was drawn with, not the one a window manager happens to draw: the column
    // widths of a window of the least size do not depend on the desktop.
    return width() + kDrawnFrameWidth;
}

void TForm1::PageControl1Resize() {
    const int w = outerWidth();
    const int loopColumn = std::max(0, (w - 210) / 8);
    const int partitionColumn = std::max(0, (w - 190) / 8);
    const int userColumn = std::max(0, (w - 78) / 31);

    StringGrid1->setColumnWidth(0, 160);
    for (int c = 1; c < StringGrid1->columnCount(); ++c)
        StringGrid1->setColumnWidth(c, loopColumn);
    ComboBox4->resize(loopColumn, ComboBox4->height());

    StringGrid2->setColumnWidth(0, 140);
    for (int c = 1; c < StringGrid2->columnCount(); ++c)
        StringGrid2->setColumnWidth(c, partitionColumn);
    Edit2->resize(partitionColumn, Edit2->height());

    StringGrid3->setColumnWidth(0, 35);
    for (int c = 1; c < StringGrid3->columnCount(); ++c)
        StringGrid3->setColumnWidth(c, userColumn);
}

void TForm1::Timer1Timer() {
    if (ProgressBar1->isHidden()) return;
    const int maximum = ProgressBar1->maximum();
    const int position = std::clamp(ProgressBar1->value() + progressStep, ProgressBar1->minimum(), maximum);
    ProgressBar1->setValue(position);
    if (position == maximum) ProgressBar1->hide();
}

void TForm1::Edit1Change() {
    if (filteringAccessCode_) return;
    const QString text = Edit1->text();
    if (text.isEmpty()) {
        // An erased field is a fresh start: a refused character must not bring back the digit
        // that was erased last, hidden behind the mask.
        acceptedAccessCode_.clear();
        return;
    }
    if (integerOr(text, kAccessCodeRefused) == kAccessCodeRefused) {
        filteringAccessCode_ = true;
        Edit1->setText(acceptedAccessCode_);
        Edit1->setCursorPosition(acceptedAccessCode_.size());
        filteringAccessCode_ = false;
        return;
    }
    acceptedAccessCode_ = text;
}

void TForm1::CheckBox14Click() {
    Edit1->setEnabled(!CheckBox14->isChecked());
}

void TForm1::N3Click() {
    // A cancelled or failed open changes nothing, the name of the file last opened included.
    const QString read = UnpackData(config, controls().config);
    if (!read.isEmpty()) openedFile_ = read;
}

void TForm1::openConfigFile(const QString& path) {
    const QString read = OpenConfigFile(config, controls().config, path);
    if (!read.isEmpty()) openedFile_ = read;
}

void TForm1::N4Click() {
    PackData(controls().config);
}

void TForm1::N9Click() {
    // The file's name while the configuration counts as opened from it (a read of the expander or a
    // clean programming run ends that), else the expander chosen in the list.
    const bool expanderChosen = ComboBox2->currentIndex() >= 0 && config.address <= kHighestAddress;
    ReportContext context;
    context.expander = reportExpanderText(config.loadedFromFile ? openedFile_ : QString(),
                                          expanderChosen ? config.address : -1);
    context.port = ComboBox1->currentIndex() >= 0 ? ComboBox1->currentText() : QString();
    context.madeAt = QDateTime::currentDateTime();
    context.exitDelayCaption = exitDelayCaption();
    context.withPartitions = PageControl1->isTabVisible(PageControl1->indexOf(TabSheet3));
    SaveReport(controls().config, context);
}

void TForm1::ComboBox1Change() {
    session.selectPort();
}

void TForm1::ComboBox2Change() {
    session.readExpander();
}

void TForm1::N7Click() {
    session.readExpander();
}

void TForm1::Button1Click() {
    session.programExpander();
}

void TForm1::N6Click() {
    session.programExpander();
}

void TForm1::N8Click() {
    if (handOverToKeyProgrammer) handOverToKeyProgrammer();
}

void TForm1::MainMenu1Change() {
    if (commitUserCodeEdit) commitUserCodeEdit();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PageControl1 && event->type() == QEvent::Resize) PageControl1Resize();
    return QMainWindow::eventFilter(watched, event);
}
