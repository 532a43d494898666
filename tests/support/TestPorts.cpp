#include "TestPorts.h"

#include <QDir>
#include <QTemporaryDir>

QString EmptyPortFolder() {
    static const QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/ortex-no-ports-XXXXXX"));
    return folder.path();
}
