#pragma once
#include <QString>

// The texts of the key grid's cells after a table refresh.
namespace KeyTexts {
inline QString present() {
    return QStringLiteral("Есть");
}
inline QString absent() {
    return QStringLiteral("Нет");
}
inline QString threeExpanders() {
    return QStringLiteral("На три расш.");
}
} // namespace KeyTexts
