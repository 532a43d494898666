#pragma once
#include <QString>

class QTranslator;

// The toolkit's own texts in Russian: the buttons of message boxes ("Да", "Нет"), the file dialogs
// and the context menus of edit fields, from the toolkit's translations folder (qtbase_ru). The
// program's own texts are Russian already and do not depend on it.
QString toolkitTranslationsFolder();
// Loads qtbase_ru from folder and installs it in the application; the translator belongs to the
// application. Where the file is missing nothing is installed, the toolkit keeps its English texts,
// and the result is nullptr.
QTranslator* installToolkitTranslation(const QString& folder = toolkitTranslationsFolder());
