#pragma once
#include "config/ExpanderConfig.h"
#include "config/MainControls.h"
#include "device/ExpanderSession.h"

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>

class LoopEditor;
class PartitionsEditor;
class UsersEditor;

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;

// The main window: port and expander choice, access code, the four pages that show and edit the
// expander's configuration, the progress bar of device operations and the main menu. Every control
// keeps its name, also as its object name. The device procedures live in `session`, the grid editors
// in `loopEditor`, `partitionsEditor` and `usersEditor`; the key programmer window attaches itself
// from outside (ProgramWindows).
class TForm1 : public QMainWindow {
    Q_OBJECT

  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    QMenuBar* MainMenu1 = nullptr;
    QMenu* FileMenu = nullptr;     // "Файл"
    QMenu* ExpanderMenu = nullptr; // "Расширитель"
    QAction* N3 = nullptr;         // "Открыть"
    QAction* N4 = nullptr;         // "Сохранить"
    QAction* N9 = nullptr;         // "Отчёт…"
    QAction* N5 = nullptr;         // "Выход"
    QAction* N6 = nullptr;         // "Запрограммировать"
    QAction* N7 = nullptr;         // "Прочитать"
    QAction* N8 = nullptr;         // "БКУ", never visible

    QLabel* Label2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QPushButton* Button1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBox14 = nullptr;
    QTimer* Timer1 = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // "Общие свойства"
    QWidget* TabSheet2 = nullptr; // "Свойства ШС"
    QWidget* TabSheet3 = nullptr; // "Глобальные разделы"
    QWidget* TabSheet4 = nullptr; // "Пользователи"

    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    QCheckBox* CheckBox7 = nullptr;
    QCheckBox* CheckBox8 = nullptr;
    QCheckBox* CheckBox9 = nullptr;
    QCheckBox* CheckBox10 = nullptr;
    QCheckBox* CheckBox11 = nullptr;
    QCheckBox* CheckBox12 = nullptr;
    QCheckBox* CheckBox13 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QLabel* Label5 = nullptr;

    QTableWidget* StringGrid1 = nullptr;
    QComboBox* ComboBox4 = nullptr;
    QTableWidget* StringGrid2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QTableWidget* StringGrid3 = nullptr;
    QLineEdit* Edit3 = nullptr;

    ExpanderConfig config;
    // Added to ProgressBar1 by every Timer1 tick while the bar is visible; the device procedures set it.
    uint8_t progressStep = 0;

    // Set by whoever joins the windows: the hand-over to the key programmer window (N8Click, and the
    // port selection when it finds the key-programming device) and the commit of an open user-code
    // edit (MainMenu1Change).
    std::function<void()> handOverToKeyProgrammer;
    std::function<void()> commitUserCodeEdit;

    MainControls controls() const;

    void FormCreate();
    void FormShow();
    void FormClose();
    void PageControl1Resize();
    void Timer1Timer();
    void Edit1Change();
    void CheckBox14Click();
    void N3Click();
    // Opens the configuration file as "Открыть" does once the file is chosen (a file named on the
    // command line).
    void openConfigFile(const QString& path);
    void N4Click();
    void N5Click();
    void N9Click();
    void ComboBox1Change();
    void ComboBox2Change();
    void Button1Click();
    void N6Click();
    void N7Click();
    void N8Click();
    void MainMenu1Change();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool buildControls();
    void buildPages();
    void buildMenu();
    void connectHandlers();
    void putFixedGridTexts();
    void assignHints();
    // The window's outer width as the column sizing counts it: the client width and the drawn frame.
    int outerWidth() const;
    // Closing the window and "Выход" end the program the same way.
    void endProgram();

    QString acceptedAccessCode_; // what a refused change of Edit1 returns to
    QString openedFile_;         // the configuration file last read by "Открыть", for the report
    bool filteringAccessCode_ = false;
    bool ending_ = false;
    // The controls exist before the session is made: it keeps its own copy of their pointers.
    bool controlsBuilt_ = false;

  public:
    ExpanderSession session;
    // The editors of the three grids (double-clicks, cell editors, painting, hints).
    std::unique_ptr<LoopEditor> loopEditor;
    std::unique_ptr<PartitionsEditor> partitionsEditor;
    std::unique_ptr<UsersEditor> usersEditor;
};
