#pragma once
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTabWidget;
class QTableWidget;
class QWidget;

// The controls of the main window that show and edit the configuration (the working copy).
struct ConfigControls {
    std::array<QCheckBox*, 13> checkBoxes{}; // [i] = CheckBox(i + 1)
    QComboBox* exitDelay = nullptr;          // ComboBox3
    QTableWidget* loopGrid = nullptr;        // StringGrid1
    QTableWidget* partitionsGrid = nullptr;  // StringGrid2
    QTableWidget* usersGrid = nullptr;       // StringGrid3
};

// The rest of the main window that the device procedures use.
struct MainControls {
    ConfigControls config;
    QWidget* window = nullptr;               // TForm1
    QComboBox* ports = nullptr;              // ComboBox1
    QComboBox* expanders = nullptr;          // ComboBox2
    QProgressBar* progress = nullptr;        // ProgressBar1
    QLineEdit* accessCode = nullptr;         // Edit1
    QCheckBox* defaultCode = nullptr;        // CheckBox14
    QTabWidget* pages = nullptr;             // PageControl1
    QWidget* globalPartitionsPage = nullptr; // TabSheet3
    QLabel* trace = nullptr;                 // Label5
};
