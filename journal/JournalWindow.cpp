#include "journal/JournalWindow.h"

#include "base/Dialogs.h"
#include "journal/JournalModel.h"
#include "journal/Recorder.h"
#include "journal/RowText.h"
#include "journal/Writers.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

namespace Journal {
namespace {

// Each column is as wide as a sample of its texts: the view never measures its columns.
const char* const kWidthSamples[kColumns] = {"00:00:00.000 ",
                                             "00000.0 ",
                                             "Направление ",
                                             "Расширитель 63 ",
                                             "FA 26 01 00 FF FF FF FF FF FF FF FF FF 0",
                                             "Запрос расширителю 63: чтение параметров (0x55)",
                                             "нет ответа за 200 мс, принято 0 байт"};

// Room for the table's frame and scroll bar beside the columns, and for the window's own frame and
// title bar, which the system adds around it.
constexpr int kWindowMargin = 40 + 16;
constexpr int kFrameAllowance = 16;
constexpr int kTitleAllowance = 32;

QPointer<JournalWindow> theWindow;

// Draws a cell's text in one line, cut with "…" where it does not fit: much cheaper than the
// toolkit's own text layout, since a batch repaints the view while the line is quiet.
class RowDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& palette = option.palette;
        const QVariant background = index.data(Qt::BackgroundRole);
        if (selected)
            painter->fillRect(option.rect, palette.brush(QPalette::Highlight));
        else if (background.isValid())
            painter->fillRect(option.rect, background.value<QColor>());
        const QVariant foreground = index.data(Qt::ForegroundRole);
        painter->setPen(selected               ? palette.color(QPalette::HighlightedText)
                        : foreground.isValid() ? foreground.value<QColor>()
                                               : palette.color(QPalette::Text));
        const QRect area = option.rect.adjusted(kPadding, 0, -kPadding, 0);
        const QString text =
            option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, area.width());
        const QVariant align = index.data(Qt::TextAlignmentRole);
        painter->drawText(area, align.isValid() ? align.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter),
                          text);
    }

  private:
    static constexpr int kPadding = 3;
};

} // namespace

JournalWindow::JournalWindow(Recorder& recorder) : recorder_(recorder) {
    setObjectName(QStringLiteral("JournalWindow"));
    setWindowTitle(QStringLiteral("Журнал обмена"));
    setAttribute(Qt::WA_QuitOnClose, false);

    model_ = new JournalModel(recorder_, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("JournalTable"));
    table_->setModel(model_);
    table_->setItemDelegate(new RowDelegate(table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // A fixed row height and fixed column widths: 50 000 rows scroll without a row being measured.
    const int rowHeight = fontMetrics().height() + 4;
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(rowHeight);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    int width = 0;
    for (int c = 0; c < kColumns; ++c) {
        table_->setColumnWidth(c, fontMetrics().horizontalAdvance(QString::fromUtf8(kWidthSamples[c])) + 12);
        width += table_->columnWidth(c);
    }
    // The window fits the screen it opens on (a 1366 × 768 laptop at 125 % leaves 1093 × 614 points):
    // what does not fit is taken from the two widest columns, whose texts end in "…".
    const QRect room = screen()->availableGeometry();
    for (int c : {MeaningColumn, BytesColumn}) {
        const int excess = width + kWindowMargin - room.width();
        if (excess <= 0) break;
        const int cut = std::min(excess, table_->columnWidth(c) / 2);
        table_->setColumnWidth(c, table_->columnWidth(c) - cut);
        width -= cut;
    }

    pause_ = new QPushButton(QStringLiteral("Пауза"), this);
    pause_->setObjectName(QStringLiteral("JournalPause"));
    pause_->setCheckable(true);
    clear_ = new QPushButton(QStringLiteral("Очистить"), this);
    clear_->setObjectName(QStringLiteral("JournalClear"));
    faultsOnly_ = new QCheckBox(QStringLiteral("Только ошибки"), this);
    faultsOnly_->setObjectName(QStringLiteral("JournalFaultsOnly"));
    save_ = new QPushButton(QStringLiteral("Сохранить журнал…"), this);
    save_->setObjectName(QStringLiteral("JournalSave"));
    diagnosis_ = new QLabel(this);
    diagnosis_->setObjectName(QStringLiteral("JournalDiagnosis"));
    diagnosis_->setWordWrap(true);
    diagnosis_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pause_);
    buttons->addWidget(clear_);
    buttons->addWidget(faultsOnly_);
    buttons->addStretch();
    buttons->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(table_, 1);
    layout->addWidget(diagnosis_);

    connect(pause_, &QPushButton::toggled, this, [this](bool on) { model_->setPaused(on); });
    connect(clear_, &QPushButton::clicked, this, [this] { model_->clear(); });
    connect(faultsOnly_, &QCheckBox::toggled, this, [this](bool on) { model_->setFaultsOnly(on); });
    connect(save_, &QPushButton::clicked, this, [this] { saveClick(); });
    auto* copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, [this] { copySelection(); });
    table_->addAction(copy);

    // The view follows the newest row only while it is scrolled to the bottom.
    connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = table_->verticalScrollBar();
        atBottom_ = bar->value() >= bar->maximum();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (atBottom_) table_->scrollToBottom();
    });
    connect(model_, &JournalModel::batchDone, this, [this] { afterBatch(); });

    resize(std::min(width + 40, room.width() - kFrameAllowance),
           std::min(30 * rowHeight, room.height() - kFrameAllowance - kTitleAllowance));
    afterBatch();
}

void JournalWindow::afterBatch() {
    const QString text = recorder_.diagnosis().text();
    if (diagnosis_->text() != text) diagnosis_->setText(text);
}

void JournalWindow::saveClick() {
    // A name typed without either suffix is saved as text, under the name that says so.
    const QString path =
        saveFileNameWithSuffix(QStringLiteral("Журнал, текст (*.txt);;Захват Wireshark (*.pcap)|*.txt"),
                               dialogStartFolder(), {QStringLiteral(".txt"), QStringLiteral(".pcap")});
    if (path.isEmpty()) return;
    recorder_.settle();
    saveJournal(recorder_, path);
}

void JournalWindow::copySelection() {
    std::set<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    if (rows.empty()) return;
    QApplication::clipboard()->setText(model_->rowsText(std::vector<int>(rows.begin(), rows.end())));
}

JournalWindow* journalWindow() {
    return theWindow.data();
}

JournalWindow& showJournalWindow() {
    const bool made = !theWindow;
    if (made) {
        theWindow = new JournalWindow(recorder());
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, theWindow.data(), &QObject::deleteLater);
    }
    theWindow->show();
    // A new window opens on the newest rows, and so goes on following them; its scroll range is
    // known once the shown window has been laid out.
    if (made) QTimer::singleShot(0, theWindow.data(), [] { theWindow->table()->scrollToBottom(); });
    theWindow->raise();
    theWindow->activateWindow();
    return *theWindow;
}

void addJournalMenu(QMenuBar* menuBar) {
    QMenu* service = menuBar->addMenu(QStringLiteral("Сервис"));
    service->setObjectName(QStringLiteral("JournalMenu"));
    QAction* open = service->addAction(QStringLiteral("Журнал обмена"));
    open->setObjectName(QStringLiteral("JournalAction"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    QObject::connect(open, &QAction::triggered, open, [] { showJournalWindow(); });
}

} // namespace Journal
