#pragma once
#include "site/FolderComparison.h"

namespace Site {

// "Расширитель" → "Сравнить папки…": asks for two folders of a site's files, the one from before
// and the one from after, and compares the files of each address as "Сравнить с файлом" compares
// them; no device is asked. Rows in address order, one for every file of either folder. Nothing when
// a dialog was cancelled; title names both folders.
std::optional<std::vector<SiteRow>> compareFolders(QString& title);

} // namespace Site
