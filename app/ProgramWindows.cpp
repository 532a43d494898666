#include "app/ProgramWindows.h"

#include "app/MainForm.h"
#include "keys/TMprogrammer.h"

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

} // namespace

ProgramWindows::ProgramWindows(KeyWindow when) : main(std::make_unique<TForm1>()) {
    TForm1* mainForm = main.get();
    mainForm->handOverToKeyProgrammer = [this, mainForm] {
        TTMwriteForm* keyForm = &keyWindow();
        keyForm->selectPortIndex(mainForm->ComboBox1->currentIndex());
        keyForm->move(mainForm->pos());
        keyForm->startTimer();
        mainForm->hide();
        keyForm->show();
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
    keys->showMainWindow = [mainForm](QPoint topLeft, int portIndex) {
        mainForm->show();
        mainForm->move(topLeft);
        // Selecting from code does not run the main window's port selection.
        mainForm->ComboBox1->setCurrentIndex(portIndex);
    };
    keys->runMainPortSelection = [mainForm] { mainForm->ComboBox1Change(); };
    return *keys;
}
