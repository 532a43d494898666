#pragma once
#include <QString>

// The one argument that a double-click on an .okf file gives the program: the configuration file to
// open. Empty when the program was started with none (or with more than one).
QString fileArgument(int argc, char** argv);
