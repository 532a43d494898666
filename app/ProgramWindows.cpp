#include "app/ProgramWindows.h"

#include "app/MainForm.h"
#include "keys/TMprogrammer.h"
#include "link/PortList.h"

#include <QComboBox>
#include <memory>

ProgramWindows::ProgramWindows() : main(std::make_unique<TForm1>()), keys(std::make_unique<TTMwriteForm>()) {
    TForm1* mainForm = main.get();
    TTMwriteForm* keyForm = keys.get();
    const auto handingBack = std::make_shared<bool>(false);

    // Each list is brought up to date when it drops down, so the two can differ: the hand-over gives
    // the other window this window's list first, and the same index then means the same port.
    mainForm->handOverToKeyProgrammer = [mainForm, keyForm, handingBack] {
        copyPortList(mainForm->ComboBox1, keyForm->ComboBox1);
        keyForm->selectPortIndex(mainForm->ComboBox1->currentIndex());
        keyForm->move(mainForm->pos());
        keyForm->startTimer();
        mainForm->hide();
        keyForm->show();
        // The key window gave this port back and the main window's access step hands it over again:
        // neither window can serve the device (a key-programming device that answers the access step
        // but no table read, after a control unit granted access), so it stays here, unanswered,
        // instead of going back and forth without end.
        if (*handingBack)
            keyForm->reportNoAnswer();
        else
            keyForm->ComboBox1Change();
    };
    keyForm->showMainWindow = [mainForm, keyForm](QPoint topLeft, int portIndex) {
        copyPortList(keyForm->ComboBox1, mainForm->ComboBox1);
        mainForm->show();
        mainForm->move(topLeft);
        // Selecting from code does not run the main window's port selection.
        mainForm->ComboBox1->setCurrentIndex(portIndex);
    };
    keyForm->runMainPortSelection = [mainForm, handingBack] {
        *handingBack = true;
        mainForm->ComboBox1Change();
        *handingBack = false;
    };
}

ProgramWindows::~ProgramWindows() = default;
