#include "site/Site.h"

#include "site/BackupComparison.h"
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
    // One site window for the main window, shown again by each comparison.
    const auto siteWindow = [host] {
        auto* window = host.controls.window->findChild<SiteWindow*>();
        return window ? window : new SiteWindow(host);
    };
    QObject::connect(withFolder, &QAction::triggered, host.expanderMenu, [host, siteWindow] {
        QString folder;
        if (std::optional<std::vector<SiteRow>> rows = compareWithFolder(host, folder))
            siteWindow()->showRows(folder, std::move(*rows));
    });
    QAction* folders = host.expanderMenu->addAction(QStringLiteral("Сравнить папки…"));
    folders->setObjectName(QStringLiteral("CompareFolders"));
    QObject::connect(folders, &QAction::triggered, host.expanderMenu, [siteWindow] {
        QString title;
        if (std::optional<std::vector<SiteRow>> rows = compareFolders(title))
            siteWindow()->showFolders(title, std::move(*rows));
    });
}

} // namespace Site
