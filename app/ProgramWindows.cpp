#include "app/ProgramWindows.h"

#include "app/MainForm.h"
#include "journal/Recorder.h"
#include "keys/TMprogrammer.h"
#include "link/PortList.h"

#include <QComboBox>
#include <QEvent>
#include <QTimer>
#include <functional>

namespace {

// Runs its work once, from the event loop, after the first paint of the watched window: the paint
// and its flush to the screen come first.
class AfterFirstPaint : public QObject {
  public:
    AfterFirstPaint(QObject* window, std::function<void()> work) : window_(window), work_(std::move(work)) {
        window_->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Paint && work_) {
            window_->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                if (auto work = std::exchange(work_, nullptr)) work();
            });
        }
        return false;
    }

  private:
    QObject* window_;
    std::function<void()> work_;
};

// The journal records the line from the start, before either window can open a port.
std::unique_ptr<TForm1> recordedMainWindow() {
    Journal::startRecording();
    return std::make_unique<TForm1>();
}

} // namespace

ProgramWindows::ProgramWindows(KeyWindow when) : main(recordedMainWindow()) {
    TForm1* mainForm = main.get();
    // Each list is brought up to date when it drops down, so the two can differ: the hand-over gives
    // the other window this window's list first, and the same index then means the same port.
    mainForm->handOverToKeyProgrammer = [this, mainForm] {
        TTMwriteForm* keyForm = &keyWindow();
        copyPortList(mainForm->ComboBox1, keyForm->ComboBox1);
        keyForm->selectPortIndex(mainForm->ComboBox1->currentIndex());
        keyForm->move(mainForm->pos());
        keyForm->startTimer();
        mainForm->hide();
        keyForm->show();
        // The key window gave this port back and the main window's access step hands it over again:
        // neither window can serve the device (a key-programming device that answers the access step
        // but no table read, after a control unit granted access), so it stays here, unanswered,
        // instead of going back and forth without end.
        if (handingBack_)
            keyForm->reportNoAnswer();
        else
            keyForm->ComboBox1Change();
    };
    if (when == KeyWindow::Now)
        keyWindow();
    else
        firstPaintWatch_ = std::make_unique<AfterFirstPaint>(mainForm, [this] { keyWindow(); });
}

ProgramWindows::~ProgramWindows() = default;

TTMwriteForm& ProgramWindows::keyWindow() {
    if (keys) return *keys;
    keys = std::make_unique<TTMwriteForm>();
    TForm1* mainForm = main.get();
    TTMwriteForm* keyForm = keys.get();
    keys->showMainWindow = [mainForm, keyForm](QPoint topLeft, int portIndex) {
        copyPortList(keyForm->ComboBox1, mainForm->ComboBox1);
        mainForm->show();
        mainForm->move(topLeft);
        // Selecting from code does not run the main window's port selection.
        mainForm->ComboBox1->setCurrentIndex(portIndex);
    };
    keys->runMainPortSelection = [this, mainForm] {
        handingBack_ = true;
        mainForm->ComboBox1Change();
        handingBack_ = false;
    };
    return *keys;
}
