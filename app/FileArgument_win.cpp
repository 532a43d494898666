#include "app/FileArgument.h"

#include <windows.h>
#include <shellapi.h>

// Windows passes the name in UTF-16; the narrow argv keeps only what the ANSI code page can spell.
QString fileArgument(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const QString file = wide && count == 2 ? QString::fromWCharArray(wide[1]) : QString();
    LocalFree(wide);
    return file;
}
