#include "app/FileArgument.h"

QString fileArgument(int argc, char** argv) {
    return argc == 2 ? QString::fromLocal8Bit(argv[1]) : QString();
}
