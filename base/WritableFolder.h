#pragma once
#include <QString>

// True when the user who runs the program may create files in the folder.
bool userMayWriteIn(const QString& folder);
