#include "keys/KeyDescriptionsFile.h"

#include "base/Text1251.h"
#include "base/WholeFileWrite.h"
#include "keys/KeyTexts.h"

#include <QFile>

namespace KeyDescriptionsFile {

const QString kHeading = QStringLiteral("Задействованы следующие ключи:");
const QString kFileFilter = QStringLiteral("Текстовые файлы (*.txt)|*.txt");

namespace {

const QString kUserWord = QStringLiteral("польз.");
const QString kExpanderWord = QStringLiteral("расш.");
const QString kThreeExpandersWords = QStringLiteral("на три расш.");
const QString kKeyWord = QStringLiteral("ключ");

// A user number in a field of two characters, left-aligned.
QString userField(int user) {
    return QString::number(user).leftJustified(2, u' ');
}

// 1-based position of the first occurrence, 0 when there is none.
int positionOf(const QString& line, const QString& word) {
    return static_cast<int>(line.indexOf(word, 0, Qt::CaseSensitive)) + 1;
}

// The characters from 1-based position `from`, at most count of them (fewer at the end of the line).
QString piece(const QString& line, int from, int count) {
    const int start = from - 1;
    if (start < 0 || start >= line.size()) return {};
    return line.mid(start, count);
}

// A decimal number with leading spaces allowed and nothing after its digits; anything else is 0.
int numberOr0(const QString& text) {
    int i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    if (i == text.size()) return 0;
    int value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9') return 0;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

QString singleExpanderLine(int expander, int user, int key, const QString& description) {
    return kExpanderWord + QString::number(expander) + u' ' + kUserWord + userField(user) + u' ' + kKeyWord +
           QString::number(key) + QStringLiteral("  ") + description;
}

QString threeExpanderLine(int user, int key, const QString& description) {
    return kThreeExpandersWords + u' ' + kUserWord + userField(user) + u' ' + kKeyWord +
           QString::number(key) + QStringLiteral("  ") + description;
}

QStringList keyLines(const CellTextOf& cellText, const Descriptions& descriptions) {
    QStringList lines;
    for (int expander = 1; expander <= KeyLink::kExpanders; ++expander) {
        for (int user = 1; user <= KeyLink::kUsers; ++user) {
            for (int key = 1; key <= 2; ++key) {
                const QString text = cellText((key - 1) * 3 + expander, user);
                const QString& description =
                    descriptions[static_cast<size_t>(KeyLink::slotOf(key, expander, user))];
                if (text == KeyTexts::present())
                    lines << singleExpanderLine(expander, user, key, description);
                else if (text == KeyTexts::threeExpanders())
                    lines << threeExpanderLine(user, key, description);
            }
        }
    }
    return lines;
}

QByteArray fileBytes(const QStringList& lines) {
    QByteArray bytes = toCp1251(kHeading) + "\r\n";
    for (const QString& line : lines)
        bytes += toCp1251(line) + "\r\n";
    return bytes;
}

std::optional<ParsedLine> parseKeyDescriptionLine(const QString& line) {
    ParsedLine parsed;

    const int p = positionOf(line, kUserWord);
    if (p > 0) {
        // A one-digit user is followed by a space, which makes the two-character piece unreadable.
        parsed.user = numberOr0(piece(line, p + 6, 2));
        if (parsed.user == 0) parsed.user = numberOr0(piece(line, p + 6, 1));
    }

    const int q = positionOf(line, kExpanderWord);
    if (q > 0) parsed.expander = numberOr0(piece(line, q + 5, 1));
    if (line.contains(kThreeExpandersWords, Qt::CaseSensitive)) parsed.expander = 1;

    const int r = positionOf(line, kKeyWord);
    if (r > 0) parsed.key = numberOr0(piece(line, r + 4, 1));

    if (parsed.user < 1 || parsed.user > KeyLink::kUsers || parsed.expander < 1 ||
        parsed.expander > KeyLink::kExpanders || parsed.key < 1 || parsed.key > 2)
        return std::nullopt;

    parsed.slot = KeyLink::slotOf(parsed.key, parsed.expander, parsed.user);
    parsed.description = r + 7 - 1 < line.size() ? line.mid(r + 7 - 1) : QString();
    return parsed;
}

QString withTxtExtension(const QString& fileName) {
    const qsizetype nameStart = fileName.lastIndexOf(u'/') + 1;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString stem = dot >= nameStart ? fileName.left(dot) : fileName;
    return stem + QStringLiteral(".txt");
}

bool writeFile(const QString& fileName, const QByteArray& bytes) {
    return writeWholeFile(fileName, bytes);
}

bool readFile(const QString& fileName, Descriptions& descriptions) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    while (!file.atEnd()) {
        QByteArray bytes = file.readLine();
        if (file.error() != QFileDevice::NoError) return false;
        if (bytes.endsWith('\n')) bytes.chop(1);
        if (bytes.endsWith('\r')) bytes.chop(1);
        if (const auto parsed = parseKeyDescriptionLine(fromCp1251(bytes)))
            descriptions[static_cast<size_t>(parsed->slot)] = parsed->description;
    }
    return true;
}

} // namespace KeyDescriptionsFile
