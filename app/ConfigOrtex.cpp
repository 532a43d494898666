#include "app/BundledFonts.h"
#include "app/FileArgument.h"
#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "app/RunningMark.h"
#include "app/ToolkitTranslation.h"
#include "base/Dialogs.h"

#include <QApplication>

int main(int argc, char** argv) {
    markRunning();
    const QString file = fileArgument(argc, argv);
    // The toolkit sees only the program's name: it takes no options from the command line.
    int toolkitArgc = argc > 0 ? 1 : 0;
    QApplication app(toolkitArgc, argv);
    // The title goes into the application name, not its display name: the platform would append a
    // display name to every window caption.
    QApplication::setApplicationName(applicationTitle());
    installToolkitTranslation();
    loadBundledFonts();

    // The main window, shown, and the key programmer window, created hidden just after the main
    // window's first paint (the user cannot ask for it before).
    ProgramWindows windows(ProgramWindows::KeyWindow::AfterFirstPaint);
    windows.main->show();
    // Shown first, so that a message about the file appears over the window.
    if (!file.isEmpty()) windows.main->openConfigFile(file);

    return app.exec();
}
