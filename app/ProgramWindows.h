#pragma once
#include <memory>

class TForm1;
class TTMwriteForm;

// The program's two windows, wired to each other: the main window hands the port over to the key
// programmer window when its access step finds the key-programming device, and the key programmer
// hands back with "МПК" or when its first table read finds the control unit.
struct ProgramWindows {
    ProgramWindows();
    ~ProgramWindows();
    std::unique_ptr<TForm1> main;       // shown at start
    std::unique_ptr<TTMwriteForm> keys; // created hidden
};
