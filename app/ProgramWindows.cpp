#include "app/ProgramWindows.h"

#include "app/MainForm.h"
#include "keys/TMprogrammer.h"
#include "link/PortList.h"

#include <QComboBox>

ProgramWindows::ProgramWindows() : main(std::make_unique<TForm1>()), keys(std::make_unique<TTMwriteForm>()) {
    TForm1* mainForm = main.get();
    TTMwriteForm* keyForm = keys.get();

    // Each list is brought up to date when it drops down, so the two can differ: the hand-over gives
    // the other window this window's list first, and the same index then means the same port.
    mainForm->handOverToKeyProgrammer = [mainForm, keyForm] {
        copyPortList(mainForm->ComboBox1, keyForm->ComboBox1);
        keyForm->selectPortIndex(mainForm->ComboBox1->currentIndex());
        keyForm->move(mainForm->pos());
        keyForm->startTimer();
        mainForm->hide();
        keyForm->show();
        keyForm->ComboBox1Change();
    };
    keyForm->showMainWindow = [mainForm, keyForm](QPoint topLeft, int portIndex) {
        copyPortList(keyForm->ComboBox1, mainForm->ComboBox1);
        mainForm->show();
        mainForm->move(topLeft);
        // Selecting from code does not run the main window's port selection.
        mainForm->ComboBox1->setCurrentIndex(portIndex);
    };
    keyForm->runMainPortSelection = [mainForm] { mainForm->ComboBox1Change(); };
}

ProgramWindows::~ProgramWindows() = default;
