#include "base/WritableFolder.h"

#include <QFileInfo>
#include <QTemporaryFile>

bool userMayWriteIn(const QString& folder) {
    // A folder's attributes do not show who may write in it (Program Files never lets an ordinary
    // user, nor an administrator without elevation): the one sure answer is a file made there. It
    // goes again at once.
    if (!QFileInfo(folder).isDir()) return false;
    QTemporaryFile probe(folder + QStringLiteral("/.write-check-XXXXXX"));
    return probe.open();
}
