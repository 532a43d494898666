#include "base/Text1251.h"

#include <windows.h>

// The system's own conversion: the toolkit has no converter for the code page without ICU.

namespace {

constexpr UINT kCodePage = 1251;
// What a character without a place in the code page becomes, as on the other systems.
constexpr char kNoPlace[] = "\x1A";

// The text in the code page, and whether every character had its own place there (a character
// without one is not written as a look-alike).
QByteArray encode(const QString& text, bool* fits) {
    if (fits) *fits = true;
    if (text.isEmpty()) return {};
    // A character beyond the first 65536 is two units to the system: one character without a place.
    QString units = text;
    for (qsizetype i = 0; i + 1 < units.size(); ++i) {
        if (units[i].isHighSurrogate() && units[i + 1].isLowSurrogate())
            units.replace(i, 2, QChar::ReplacementCharacter);
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(units.utf16());
    const int length = static_cast<int>(units.size());
    const int size =
        WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, kNoPlace, nullptr);
    QByteArray bytes(size, Qt::Uninitialized);
    BOOL substituted = FALSE;
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, length, bytes.data(), size, kNoPlace,
                        &substituted);
    if (fits) *fits = !substituted;
    return bytes;
}

} // namespace

QString fromCp1251(const QByteArray& bytes) {
    if (bytes.isEmpty()) return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(kCodePage, 0, bytes.constData(), length, nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(kCodePage, 0, bytes.constData(), length, reinterpret_cast<wchar_t*>(text.data()),
                        size);
    return text;
}

QByteArray toCp1251(const QString& text) {
    return encode(text, nullptr);
}

bool fitsCp1251(const QString& text) {
    bool fits = false;
    encode(text, &fits);
    return fits;
}
