#include "app/MainForm.h"
#include "app/ProgramWindows.h"
#include "app/ToolkitTranslation.h"
#include "base/Dialogs.h"

#include <QApplication>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

// The one argument that a double-click on an .okf file gives: the configuration file to open.
QString fileArgument([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
#ifdef Q_OS_WIN
    // Windows passes it in UTF-16; the narrow argv keeps only what the ANSI code page can spell.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const QString file = wide && count == 2 ? QString::fromWCharArray(wide[1]) : QString();
    LocalFree(wide);
    return file;
#else
    return argc == 2 ? QString::fromLocal8Bit(argv[1]) : QString();
#endif
}

} // namespace

int main(int argc, char** argv) {
    const QString file = fileArgument(argc, argv);
    // The toolkit sees only the program's name: it takes no options from the command line.
    int toolkitArgc = argc > 0 ? 1 : 0;
    QApplication app(toolkitArgc, argv);
    // The title goes into the application name, not its display name: the platform would append a
    // display name to every window caption.
    QApplication::setApplicationName(applicationTitle());
    installToolkitTranslation();

    // The main window, shown, and the key programmer window, created hidden just after the main
    // window's first paint (the user cannot ask for it before).
    ProgramWindows windows(ProgramWindows::KeyWindow::AfterFirstPaint);
    windows.main->show();
    // Shown first, so that a message about the file appears over the window.
    if (!file.isEmpty()) windows.main->openConfigFile(file);

    return app.exec();
}
