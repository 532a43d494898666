#pragma once
#include <memory>

class QObject;
class TForm1;
class TTMwriteForm;

// The program's two windows, wired to each other: the main window hands the port over to the key
// programmer window when its access step finds the key-programming device, and the key programmer
// hands back with "МПК" or when its first table read finds the control unit.
struct ProgramWindows {
    enum class KeyWindow {
        Now,            // made with the main window
        AfterFirstPaint // made, hidden, just after the main window's first paint
    };
    explicit ProgramWindows(KeyWindow when = KeyWindow::Now);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    // The key programmer window, made now if it is not there yet.
    TTMwriteForm& keyWindow();

    std::unique_ptr<TForm1> main;       // shown at start
    std::unique_ptr<TTMwriteForm> keys; // hidden; empty until made

  private:
    std::unique_ptr<QObject> firstPaintWatch_;
    bool handingBack_ = false; // the main window's port selection runs for the key window
};
