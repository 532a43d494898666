#include "app/ProgramWindows.h"

#include "app/MainForm.h"
#include "keys/TMprogrammer.h"

#include <QComboBox>

ProgramWindows::ProgramWindows() : main(std::make_unique<TForm1>()), keys(std::make_unique<TTMwriteForm>()) {
    TForm1* mainForm = main.get();
    TTMwriteForm* keyForm = keys.get();

    mainForm->handOverToKeyProgrammer = [mainForm, keyForm] {
        keyForm->selectPortIndex(mainForm->ComboBox1->currentIndex());
        keyForm->move(mainForm->pos());
        keyForm->startTimer();
        mainForm->hide();
        keyForm->show();
        keyForm->ComboBox1Change();
    };
    keyForm->showMainWindow = [mainForm](QPoint topLeft, int portIndex) {
        mainForm->show();
        mainForm->move(topLeft);
        // Selecting from code does not run the main window's port selection.
        mainForm->ComboBox1->setCurrentIndex(portIndex);
    };
    keyForm->runMainPortSelection = [mainForm] { mainForm->ComboBox1Change(); };
}

ProgramWindows::~ProgramWindows() = default;
