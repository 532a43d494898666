#include "site/Site.h"

#include "site/FolderComparison.h"
#include "site/SaveAll.h"
#include "site/SiteWindow.h"

#include <QAction>
#include <QMenu>

namespace Site {

void attach(const Host& host) {
    QAction* saveAll = host.expanderMenu->addAction(QStringLiteral("Сохранить все расширители…"));
    saveAll->setObjectName(QStringLiteral("SaveAllExpanders"));
    QObject::connect(saveAll, &QAction::triggered, host.expanderMenu, [host] { saveAllExpanders(host); });
    QAction* withFolder = host.expanderMenu->addAction(QStringLiteral("Сравнить с папкой…"));
    withFolder->setObjectName(QStringLiteral("CompareWithFolder"));
    QObject::connect(withFolder, &QAction::triggered, host.expanderMenu, [host] {
        QString folder;
        std::optional<std::vector<SiteRow>> rows = compareWithFolder(host, folder);
        if (!rows) return;
        // One site window for the main window, shown again by each comparison.
        auto* window = host.controls.window->findChild<SiteWindow*>();
        if (!window) window = new SiteWindow(host);
        window->showRows(folder, std::move(*rows));
        window->show();
        window->raise();
        window->activateWindow();
    });
}

} // namespace Site
