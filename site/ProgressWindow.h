#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace Site {

// The one progress window of a run over the site: which expander ("Расширитель 5: 3 из 7"), a bar,
// and "Отмена". It blocks the other windows while it is shown but not the run: the run goes on
// between its exchanges and asks cancelled() before each expander.
class ProgressWindow : public QDialog {
    Q_OBJECT

  public:
    ProgressWindow(QWidget* parent, const QString& title, int count);

    // The expander about to be read, the index-th (from 1) of the run: the bar stands half-way
    // through its share.
    void step(int address, int index);
    // The index-th expander is done: the bar fills its share, and is full after the last.
    void stepDone(int index);
    bool cancelled() const { return cancelled_; }

    QLabel* line() const { return line_; }
    QProgressBar* bar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }

  protected:
    void reject() override; // Esc and the window's close button cancel as "Отмена" does

  private:
    int count_;
    bool cancelled_ = false;
    QLabel* line_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

} // namespace Site
