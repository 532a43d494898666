#include "base/WritableFolder.h"

#include <QFileInfo>

bool userMayWriteIn(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable(); // the system's own access check
}
