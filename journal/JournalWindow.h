#pragma once
#include <QWidget>

class QCheckBox;
class QLabel;
class QMenuBar;
class QPushButton;
class QTableView;

namespace Journal {

class JournalModel;
class Recorder;

// The window "Журнал обмена": the journal's table, its buttons and the diagnosis line. Not modal;
// one window serves both of the program's windows.
class JournalWindow : public QWidget {
  public:
    explicit JournalWindow(Recorder& recorder);

    JournalModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    QLabel* diagnosisLine() const { return diagnosis_; }
    QPushButton* pauseButton() const { return pause_; }
    QPushButton* clearButton() const { return clear_; }
    QCheckBox* faultsOnlyBox() const { return faultsOnly_; }
    QPushButton* saveButton() const { return save_; }

    // "Сохранить журнал…": asks for the file and writes the journal as text or as a capture.
    void saveClick();
    // Ctrl+C: the selected rows as tab-separated text.
    void copySelection();

  private:
    void afterBatch();

    Recorder& recorder_;
    JournalModel* model_;
    QTableView* table_;
    QLabel* diagnosis_;
    QPushButton* pause_;
    QPushButton* clear_;
    QCheckBox* faultsOnly_;
    QPushButton* save_;
    bool atBottom_ = true;
};

// The program's one journal window, made when it is first asked for, and shown and raised.
JournalWindow& showJournalWindow();
// The journal window if it has been made, else nullptr.
JournalWindow* journalWindow();
// Adds "Сервис" → "Журнал обмена" (Ctrl+J) as the last menu of a window's menu bar.
void addJournalMenu(QMenuBar* menuBar);

} // namespace Journal
