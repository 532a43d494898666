#pragma once
#include "keys/KeyFrames.h"

#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <array>
#include <functional>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

// The key programmer window: the keys a key-programming device holds for the users of three
// expanders, writing a key with the touch-the-key panel, deleting keys, and a description for each
// key slot that is saved to and loaded from a text file.
class TTMwriteForm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TTMwriteForm(QWidget* parent = nullptr);
    ~TTMwriteForm() override;

    // --- interface with the main window -------------------------------------------------------------
    // Selects the port list item without running the port choice.
    void selectPortIndex(int index);
    void startTimer();
    // The port choice: opens the chosen port and refreshes the key table.
    void ComboBox1Change();
    // The device on the chosen port does not answer: no port selected, "Нет ответа".
    void reportNoAnswer();
    // Asked of the main window by "МПК": show yourself at topLeft and select this port index
    // (without running your port selection).
    std::function<void(QPoint topLeft, int portIndex)> showMainWindow;
    // The main window's port selection, run when the control unit answers on this window's port.
    std::function<void()> runMainPortSelection;

    // --- handlers -----------------------------------------------------------------------------------
    void RefreshKeyTable();
    void StringGrid1SelectCell(int column, int row);
    void Edit4Change(const QString& text);
    void StringGrid1DblClick();
    void StringGrid1KeyPress(int key);
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Timer1Timer();
    void Button6Click();
    void Button7Click();
    void N4Click();
    void N5Click();
    void FormResize();

    // The slot that "Записать" writes: the three-expander slot when a three-cell group is selected
    // (three is then set), otherwise the slot of the current cell; -1 when no key cell is current.
    int selectionSlot(bool* three = nullptr) const;

    // --- controls -----------------------------------------------------------------------------------
    QLabel* Label3 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button6 = nullptr;
    QFrame* Bevel2 = nullptr;
    QTableWidget* StringGrid1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Label6 = nullptr;
    QFrame* Bevel1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Button5 = nullptr;
    QTimer* Timer1 = nullptr;
    QAction* N1 = nullptr; // "Файл"
    QAction* N2 = nullptr; // "Загрузить описания"
    QAction* N3 = nullptr; // "Сохранить описания"
    QAction* N4 = nullptr; // "Выход"
    QAction* N5 = nullptr; // "МПК"

    std::array<QString, KeyLink::kSlots> KeyDescriptions;

    // Texts the window shows.
    static const QString kTouchKeyText;   // "ПОДНЕСИТЕ  КЛЮЧ  i-Button"
    static const QString kKeyWrittenText; // "      КЛЮЧ ЗАПИСАН"
    static const QString kReprogramQuestion; // "              Этот ключ уже запрограммирован,\r\n..."

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class BusyScope;

    void FormCreate();
    void buildLayout();
    void buildMenu();
    void buildGrid();
    void layoutClientArea();
    void confirmWritten();
    void switchToMainWindow();
    // Turns the timer on again after an exchange, unless the window has been hidden meanwhile.
    void resumeTimer();
    void showCurrentDescription();
    bool groupSelected() const;
    // Runs a handler that the user started once no exchange waits on the line; until then it is
    // tried again a little later, so that two exchanges never share the port.
    void whenLineFree(void (TTMwriteForm::*handler)());

    QWidget* client_ = nullptr;
    int busy_ = 0;              // depth of the handlers that exchange with the device
    bool fillingCells_ = false; // the grid's current cell is being set by the program
};
