#include "base/Text1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

// The toolkit's converter: Debian's Qt has the code page through ICU.

QString fromCp1251(const QByteArray& bytes) {
    QStringDecoder decoder("windows-1251");
    return decoder.decode(bytes);
}

QByteArray toCp1251(const QString& text) {
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

bool fitsCp1251(const QString& text) {
    QStringEncoder encoder("windows-1251");
    QByteArray bytes = encoder.encode(text);
    return !encoder.hasError();
}
