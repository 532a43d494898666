#include "site/Site.h"

#include "site/SaveAll.h"

#include <QAction>
#include <QMenu>

namespace Site {

void attach(const Host& host) {
    QAction* saveAll = host.expanderMenu->addAction(QStringLiteral("Сохранить все расширители…"));
    saveAll->setObjectName(QStringLiteral("SaveAllExpanders"));
    QObject::connect(saveAll, &QAction::triggered, host.expanderMenu, [host] { saveAllExpanders(host); });
}

} // namespace Site
