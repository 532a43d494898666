#include "keys/TMprogrammer.h"
#include "keys/TMprogrammerLayout.h"
#include "link/PortList.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/GridCells.h"
#include "base/Hints.h"
#include "base/Text1251.h"
#include "keys/KeyDescriptionsFile.h"
#include "keys/KeyLink.h"
#include "keys/KeyTexts.h"
#include "link/Access.h"
#include "link/Link.h"
#include "link/PortNames.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>

using namespace KeyLink;
using namespace TMprogrammerLayout;

const QString TTMwriteForm::kTouchKeyText = QStringLiteral("ПОДНЕСИТЕ  КЛЮЧ  i-Button");
const QString TTMwriteForm::kKeyWrittenText = QStringLiteral("      КЛЮЧ ЗАПИСАН");
const QString TTMwriteForm::kReprogramQuestion =
    QStringLiteral("              Этот ключ уже запрограммирован,\r\n"
                   "перепрограммировать его для текущего пользователя?");

namespace {

constexpr int kHintMs = 10000;
constexpr int kWrittenProgress = 7; // "КЛЮЧ ЗАПИСАН" stays three ticks, then the write is closed
// How soon a click that came while an exchange waited is tried again.
constexpr int kDeferMs = 10;

const QString kGridHint = QStringLiteral("Выберите ключ для просмотра описания или программирования,\r\n"
                                         "для программирования ключа на три расширителя\r\n"
                                         "дважды кликните мышью");
const QString kPortHint = QStringLiteral("Выберите последовательный порт компьютера");
const QString kLoadHint = QStringLiteral("Нажмите, чтобы загрузить описания ключей");
const QString kSaveHint = QStringLiteral("Нажмите, чтобы сохранить список запрограммированых\r\n"
                                         "ключей и описания к ним в текстовый файл");

} // namespace

// Marks a handler that exchanges with the device; the timer and the user's clicks wait for it.
class TTMwriteForm::BusyScope {
  public:
    explicit BusyScope(TTMwriteForm& form) : form_(form) { ++form_.busy_; }
    ~BusyScope() { --form_.busy_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    TTMwriteForm& form_;
};

TTMwriteForm::~TTMwriteForm() = default;

void TTMwriteForm::FormCreate() {
    fillPortList(ComboBox1);

    for (int user = 1; user <= kUsers; ++user)
        setCellText(StringGrid1, 0, user, QStringLiteral("пользователь") + QString::number(user));
    for (int column = 1; column <= 6; ++column) {
        const int expander = (column - 1) % 3 + 1;
        const int key = column <= 3 ? 1 : 2;
        setCellText(StringGrid1, column, 0,
                    QStringLiteral("расш.") + QString::number(expander) + QStringLiteral("  ключ") +
                        QString::number(key));
    }

    StringGrid1->setToolTip(kGridHint);
    StringGrid1->viewport()->setToolTip(kGridHint);
    ComboBox1->setToolTip(kPortHint);
    Button6->setToolTip(kSaveHint);
    Button7->setToolTip(kLoadHint);
}

// --- interface with the main window ------------------------------------------------------------------

void TTMwriteForm::selectPortIndex(int index) {
    ComboBox1->setCurrentIndex(index);
}

void TTMwriteForm::reportNoAnswer() {
    ComboBox1->setCurrentIndex(-1);
    showPlainMessage(QStringLiteral("Нет ответа"));
}

void TTMwriteForm::startTimer() {
    Timer1->start();
}

void TTMwriteForm::resumeTimer() {
    // The refresh that ends an exchange may have handed the port back to the main window: a hidden
    // window must not listen on the port the main window now uses.
    if (isVisible()) Timer1->start();
}

void TTMwriteForm::whenLineFree(void (TTMwriteForm::*handler)()) {
    // A click that waited while this window handed the port back belongs to a window the user no
    // longer sees; run now, it would talk to whatever device the main window has chosen since.
    if (Clock::terminating() || !isVisible()) return;
    if (busy_ > 0 || Link::exchangeActive()) {
        QTimer::singleShot(kDeferMs, this, [this, handler] { whenLineFree(handler); });
        return;
    }
    (this->*handler)();
}

void TTMwriteForm::ComboBox1Change() {
    if (ComboBox1->currentIndex() < 0 || ComboBox1->currentText().isEmpty()) return;
    BusyScope busy(*this);
    if (Link::OpenPort(ComboBox1->currentText())) {
        StringGrid1->setFocus();
        RefreshKeyTable();
    } else {
        ComboBox1->setCurrentIndex(-1);
    }
}

void TTMwriteForm::switchToMainWindow() {
    if (showMainWindow) showMainWindow(pos(), ComboBox1->currentIndex());
    Timer1->stop();
    hide();
    Clock::pumpEvents();
}

void TTMwriteForm::N5Click() {
    switchToMainWindow();
}

// --- the key table ---------------------------------------------------------------------------------

void TTMwriteForm::RefreshKeyTable() {
    BusyScope busy(*this);
    // Bits beyond the bytes that arrived read as clear: a short reply never shows keys left in the
    // buffer by an earlier one.
    const auto bit = [](int b) { return 2 + b / 8 < storedBytes() && tableBit(frameBuffer(), b); };

    if (SendKeyCommand(kReadTable, kTableKey1, 0, 0, 0, kTableTries)) {
        for (int b = 0; b < kSingleTableBits; ++b)
            setCellText(StringGrid1, b / kUsers + 1, b % kUsers + 1,
                        bit(b) ? KeyTexts::present() : KeyTexts::absent());
    } else {
        if (Clock::terminating()) return;
        // A control unit answers this port: a reply of length 6 with status 7, or the control unit
        // has already granted the main window's access.
        if ((R(0) == 6 && R(1) == 7) || Access::status8Flag()) {
            switchToMainWindow();
            if (runMainPortSelection) runMainPortSelection();
            return;
        }
    }

    if (SendKeyCommand(kReadTable, kTableKey2, 0, 0, 0, kTableTries)) {
        for (int b = 0; b < kSingleTableBits; ++b)
            setCellText(StringGrid1, b / kUsers + 4, b % kUsers + 1,
                        bit(b) ? KeyTexts::present() : KeyTexts::absent());
    }

    if (SendKeyCommand(kReadTable, kTableThreeExpanders, 0, 0, 0, kTableTries)) {
        for (int b = 0; b < kThreeTableBits; ++b)
            if (bit(b))
                setCellText(StringGrid1, (b / kUsers) * 3 + 1, b % kUsers + 1, KeyTexts::threeExpanders());
    } else {
        if (Clock::terminating()) return;
        reportNoAnswer();
    }

    if (isVisible()) StringGrid1->setFocus();
}

// --- the grid and the description field ------------------------------------------------------------

void TTMwriteForm::StringGrid1SelectCell(int column, int row) {
    if (isKeyCell(column, row))
        Edit4->setText(KeyDescriptions[static_cast<size_t>(slotOfCell(column, row))]); // not an edit
}

void TTMwriteForm::showCurrentDescription() {
    StringGrid1SelectCell(StringGrid1->currentColumn(), StringGrid1->currentRow());
}

void TTMwriteForm::Edit4Change(const QString& text) {
    const int column = StringGrid1->currentColumn();
    const int row = StringGrid1->currentRow();
    if (isKeyCell(column, row)) KeyDescriptions[static_cast<size_t>(slotOfCell(column, row))] = text;
}

bool TTMwriteForm::groupSelected() const {
    return StringGrid1->selectionModel()->selectedIndexes().size() > 1;
}

void TTMwriteForm::StringGrid1DblClick() {
    const int column = StringGrid1->currentColumn();
    const int row = StringGrid1->currentRow();
    if (!isKeyCell(column, row)) return;
    const int first = column <= 3 ? 1 : 4;
    QAbstractItemModel* model = StringGrid1->model();
    const QModelIndex last = model->index(row, first + 2);
    // The current cell moves to the end of the group without refreshing the description field.
    fillingCells_ = true;
    StringGrid1->selectionModel()->setCurrentIndex(last, QItemSelectionModel::NoUpdate);
    StringGrid1->selectionModel()->select(QItemSelection(model->index(row, first), last),
                                          QItemSelectionModel::ClearAndSelect);
    fillingCells_ = false;
}

void TTMwriteForm::StringGrid1KeyPress(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) StringGrid1DblClick();
}

int TTMwriteForm::selectionSlot(bool* three) const {
    const int column = StringGrid1->currentColumn();
    const int row = StringGrid1->currentRow();
    if (three) *three = false;
    if (!isKeyCell(column, row)) return -1;
    if (groupSelected()) {
        if (three) *three = true;
        return (column <= 3 ? 0 : 90) + (row - 1);
    }
    return slotOfCell(column, row);
}

// --- writing, deleting, cancelling -------------------------------------------------------------------

void TTMwriteForm::Button3Click() {
    bool three = false;
    const int slot = selectionSlot(&three);
    if (slot < 0) return;
    BusyScope busy(*this);
    const uint8_t expander = three ? 0 : static_cast<uint8_t>((StringGrid1->currentColumn() - 1) % 3 + 1);
    if (SendKeyCommand(kWriteKey, static_cast<uint8_t>(slot), expander, 0, 0, kCommandTries)) {
        ProgressBar1->setValue(0);
        Button5->show();
        ProgressBar1->show();
        Label6->setText(kTouchKeyText);
        Panel1->show();
        Panel1->raise();
    } else {
        Label6->setText(kTouchKeyText);
    }
}

void TTMwriteForm::Button4Click() {
    BusyScope busy(*this);
    Timer1->stop();
    const int column = StringGrid1->currentColumn();
    const int row = StringGrid1->currentRow();
    if (isKeyCell(column, row) && SendKeyCommand(kWriteKey, static_cast<uint8_t>(slotOfCell(column, row)),
                                                 kNoSlot, 0, 0, kCommandTries)) {
        Panel1->hide();
        RefreshKeyTable();
    }
    resumeTimer();
}

void TTMwriteForm::Button5Click() {
    BusyScope busy(*this);
    Timer1->stop();
    if (SendKeyCommand(kWriteKey, kNoSlot, 0, 0, 0, kCommandTries)) Panel1->hide();
    resumeTimer();
}

void TTMwriteForm::confirmWritten() {
    Panel1->show();
    Panel1->raise();
    ProgressBar1->hide();
    ProgressBar1->setValue(kWrittenProgress);
    Button5->hide();
    Label6->setText(kKeyWrittenText);
}

void TTMwriteForm::Timer1Timer() {
    // Never listens while another exchange waits for its reply.
    if (!Link::portOpen() || busy_ > 0 || Link::exchangeActive()) return;
    BusyScope busy(*this);

    if (!Panel1->isHidden()) {
        ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, kProgressMax));
        if (ProgressBar1->value() >= kProgressMax) Button5Click();
    }

    // A key report carries the slot byte: a frame too short for it reports no key.
    if (!ReceiveKeyReply() || storedBytes() <= kReportSlotByte) return;
    Timer1->stop();

    if (!Panel1->isHidden()) {
        const uint8_t reported = R(kReportSlotByte);
        if (reported == kNoSlot) {
            confirmWritten();
        } else {
            Panel1->hide();
            const int slot = selectionSlot();
            if (reported == slot) {
                confirmWritten();
            } else if (dialogs().question(QString(), kReprogramQuestion, MessageIcon::None, true)) {
                confirmWritten();
            } else {
                const bool threeCell =
                    reported < kSlots && cellText(StringGrid1, columnOfSlot(reported), rowOfSlot(reported)) ==
                                             KeyTexts::threeExpanders();
                SendKeyCommand(kWriteKey, static_cast<uint8_t>(slot), kDecline, reported, threeCell ? 0 : 1,
                               kDeclineTries);
                RefreshKeyTable();
                resumeTimer();
                return;
            }
        }
    }
    RefreshKeyTable();
    resumeTimer();
}

// --- the descriptions file -----------------------------------------------------------------------------

void TTMwriteForm::Button6Click() {
    QString name = dialogs().saveFileName(KeyDescriptionsFile::kFileFilter, dialogStartFolder());
    if (!name.isEmpty()) {
        name = KeyDescriptionsFile::withTxtExtension(name);
        const QStringList lines = KeyDescriptionsFile::keyLines(
            [this](int column, int row) { return cellText(StringGrid1, column, row); }, KeyDescriptions);
        if (!KeyDescriptionsFile::writeFile(name, KeyDescriptionsFile::fileBytes(lines))) {
            showBareMessage(QStringLiteral("Ошибка записи"));
            return;
        }
    }
    if (isVisible()) StringGrid1->setFocus();
}

void TTMwriteForm::Button7Click() {
    const QString name = dialogs().openFileName(KeyDescriptionsFile::kFileFilter, dialogStartFolder());
    if (!name.isEmpty() && QFileInfo::exists(name)) {
        if (!KeyDescriptionsFile::readFile(name, KeyDescriptions)) {
            showBareMessage(QStringLiteral("Ошибка чтения"));
            return;
        }
    }
    showCurrentDescription();
    if (isVisible()) StringGrid1->setFocus();
}

// --- the window ---------------------------------------------------------------------------------------

void TTMwriteForm::N4Click() {
    close();
}

void TTMwriteForm::FormResize() {
    const int width = std::max(0, (frameGeometry().width() - 60) / 7);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(width);
    for (int column = 0; column < kGridColumns; ++column)
        StringGrid1->setColumnWidth(column, width);
}

void TTMwriteForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The smallest size is that of the whole window, frame included, which is known once shown.
    const QSize frame = frameGeometry().size() - size();
    setMinimumSize(std::max(1, kMinWidth - frame.width()), std::max(1, kMinHeight - frame.height()));
    setHintDisplayMs(kHintMs);
}

void TTMwriteForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TTMwriteForm::closeEvent(QCloseEvent* event) {
    // Closing this window ends the program.
    Link::ClosePort();
    Clock::setTerminating(true);
    QCoreApplication::quit();
    event->accept();
}

bool TTMwriteForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        layoutClientArea();
    } else if (watched == StringGrid1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            StringGrid1KeyPress(key);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
