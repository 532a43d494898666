#pragma once

// Marks the program as running for as long as it runs, where the system's installer needs to know:
// on Windows a named mutex ("Global\ConfigOrtex-running", seen from every session) that the
// installer and the uninstaller look for before they replace or remove the program's files. The
// mark goes with the process. Nothing on Linux, where a package replaces files in use without harm.
void markRunning();
