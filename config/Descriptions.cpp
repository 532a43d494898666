#include "config/Descriptions.h"

const QStringList& standardDescriptions() {
    static const QStringList names = {
        QStringLiteral("Прихожая"),      QStringLiteral("Чёрный ход"),     QStringLiteral("Подвал"),
        QStringLiteral("Ванная"),        QStringLiteral("Спальня"),        QStringLiteral("Детская"),
        QStringLiteral("Туалет"),        QStringLiteral("Коридор"),        QStringLiteral("Столовая"),
        QStringLiteral("Лестница"),      QStringLiteral("Запасной выход"), QStringLiteral("Пожарный выход"),
        QStringLiteral("Входная дверь"), QStringLiteral("Гараж"),          QStringLiteral("Дверь гаража"),
        QStringLiteral("Гостиная"),      QStringLiteral("Холл"),           QStringLiteral("Кухня"),
        QStringLiteral("Пристройка"),    QStringLiteral("Жилая комната"),  QStringLiteral("Мастерская"),
        QStringLiteral("Лоджия"),        QStringLiteral("Кабинет"),        QStringLiteral("Мансарда"),
        QStringLiteral("Кладовая"),      QStringLiteral("Участок"),
    };
    return names;
}

std::optional<uint8_t> DescriptionCodeOf(const QString& text) {
    if (text.isEmpty()) return kNoDescription;
    const QStringList& names = standardDescriptions();
    for (int i = 0; i < names.size(); ++i)
        if (text.compare(names[i], Qt::CaseInsensitive) == 0)
            return static_cast<uint8_t>(kFirstStandardDescription + i);
    return std::nullopt;
}

QString DescriptionTextOf(int code) {
    return isStandardDescription(code) ? standardDescriptions()[code - kFirstStandardDescription] : QString();
}
