#include "config/LoopLayout.h"

#include "base/IntegerText.h"
#include "config/ConfigView.h"

namespace {

bool bit(uint8_t byte, int n) {
    return (byte >> n) & 1;
}

uint8_t bitIf(bool set, int n) {
    return set ? uint8_t(1u << n) : uint8_t(0);
}

QStringList loopNumbered(const QString& prefix) {
    QStringList out;
    for (int n = 1; n <= 8; ++n)
        out << prefix + QString::number(n);
    return out;
}

} // namespace

const QStringList& loopRowCaptions() {
    static const QStringList captions = {
        QStringLiteral("Тип [7-8]"),
        QStringLiteral("Реле ЗО [5]"),
        QStringLiteral("Реле СО  [16]"),
        QStringLiteral("Реле ПЦН1 [9]"),
        QStringLiteral("Реле ПЦН2 [10]"),
        QStringLiteral("Реле ПЦН3 [11]"),
        QStringLiteral("Реле ПЦН4 [12]"),
        QStringLiteral("Номер пары (пожарный)  [1-3]"),
        QStringLiteral("Пересброс (пожарный)  [4]"),
        QStringLiteral("Неисправность на ПЦН4  [13]"),
        QStringLiteral("Контрольный ШС  [15]"),
        QStringLiteral("ШС без задержки [2]"),
        QStringLiteral("ЦН разомкнут [3]"),
        QStringLiteral("Отключение при снятии [4]"),
        QStringLiteral("Контроль неисправности [6]"),
        QStringLiteral("Время реакции [7]"),
        QStringLiteral("Тихая тревога [13]"),
        QStringLiteral("Обход неисправности [14]"),
        QStringLiteral("Управление замком [15]"),
        QStringLiteral("Описание"),
    };
    return captions;
}

const QStringList& loopTypeNames() {
    static const QStringList names = {
        QStringLiteral("Дымовой пожарный"),
        QStringLiteral("Тепловой пожарный"),
        QStringLiteral("Охранный"),
        QStringLiteral("Тревожный"),
    };
    return names;
}

const QStringList& exitDelayItems() {
    static const QStringList items = {
        QStringLiteral("0 сек."),   QStringLiteral("32 сек."),  QStringLiteral("64 сек."),
        QStringLiteral("96 сек."),  QStringLiteral("128 сек"),  QStringLiteral("160 сек."),
        QStringLiteral("192 сек."), QStringLiteral("224 сек."),
    };
    return items;
}

const QStringList& partitionRowCaptions() {
    static const QStringList captions = QStringList{QStringLiteral("Глобальный номер")} +
                                        loopNumbered(QStringLiteral("ШС")) +
                                        QStringList{QStringLiteral("Код доступа")};
    return captions;
}

const QStringList& userRowCaptions() {
    static const QStringList captions =
        loopNumbered(QStringLiteral("ШС")) + QStringList{QStringLiteral("Код")};
    return captions;
}

QString loopColumnHeader(int loop) {
    return QStringLiteral("ШС") + QString::number(loop);
}
QString partitionColumnHeader(int partition) {
    return QStringLiteral("Раздел") + QString::number(partition);
}
QString userColumnHeader(int user) {
    return QString::number(user);
}

QString partitionName(int partition) {
    return QStringLiteral("Раздел ") + QString::number(partition);
}
QString userName(int user) {
    return QStringLiteral("Пользователь ") + QString::number(user);
}

const QStringList& pageTitles() {
    static const QStringList titles = {
        QStringLiteral("Общие свойства"),
        QStringLiteral("Свойства ШС"),
        QStringLiteral("Глобальные разделы"),
        QStringLiteral("Пользователи"),
    };
    return titles;
}

QString generalPropertyCaption(int box) {
    static const QString captions[] = {
        QStringLiteral("Независимое  взятие общих ШС разных пользователей [1]"),
        QStringLiteral("Перевзятие через 10 мин для охранных ШС [2]"),
        QStringLiteral("Световое оповещение - строб лампа [3]"),
        QStringLiteral("Дверь на ШС1 [4]"),
        QStringLiteral("ПЦН3 режим вывода состояния ШС (взяты все ШС, снят любой) [5]"),
        QStringLiteral("Равные права пользователей  с равными списками [9]"),
        QStringLiteral("Сигнал ЗО при Взятии\\Снятии [10]"),
        QStringLiteral("Разрешено изменение кодов пользователей [11]"),
        QStringLiteral("Независимое снятие общих ШС разных пользователей [12]"),
        QStringLiteral("Запрет режима \"дверь\" (дистанционное взятие\\снятие)   [13]"),
        QStringLiteral("Длительность работы строб лампы ограничена 16 мин [14]"),
        QStringLiteral("ПЦН 4 системный [15]"),
        QStringLiteral("Разрешен сброс круглосуточных ШС без кода [16]"),
    };
    return box >= 1 && box <= 13 ? captions[box - 1] : QString();
}

QString exitDelayCaption() {
    return QStringLiteral("Задержка на выход [6-8]");
}

QString slowReactionText() {
    return QStringLiteral("600 мс");
}
QString fastReactionText() {
    return QStringLiteral("60 мс");
}

int LoopTypeOf(uint8_t firstByte) {
    if (bit(firstByte, 7)) return bit(firstByte, 6) ? HeatFireLoop : SmokeFireLoop;
    return bit(firstByte, 0) ? AlarmLoop : SecurityLoop;
}

LoopColumnTexts loopColumnTexts(uint8_t b1, uint8_t b2, int typeCode) {
    LoopColumnTexts rows;
    auto row = [&rows](int r) -> QString& { return rows[r - 1]; };
    row(2) = flagText(bit(b1, 4));
    row(3) = flagText(bit(b2, 7));
    row(4) = flagText(bit(b2, 0));
    row(5) = flagText(bit(b2, 1));
    row(6) = flagText(bit(b2, 2));
    row(7) = flagText(bit(b2, 3));
    if (typeCode == SecurityLoop || typeCode == AlarmLoop) {
        row(1) = loopTypeNames()[typeCode];
        row(12) = flagText(bit(b1, 1));
        row(13) = flagText(bit(b1, 2));
        row(14) = flagText(bit(b1, 3));
        row(15) = flagText(bit(b1, 5));
        row(16) = bit(b1, 6) ? slowReactionText() : fastReactionText();
        row(17) = flagText(bit(b2, 4));
        row(18) = flagText(bit(b2, 5));
        row(19) = flagText(bit(b2, 6));
    } else if (typeCode == SmokeFireLoop || typeCode == HeatFireLoop) {
        row(1) = loopTypeNames()[typeCode];
        row(8) = QString::number((b1 & 7) + 1);
        row(9) = flagText(bit(b1, 3));
        row(10) = flagText(bit(b2, 4));
        row(11) = flagText(bit(b2, 6));
    }
    return rows;
}

LoopBytes loopBytesOf(const LoopColumnTexts& rows) {
    auto row = [&rows](int r) -> const QString& { return rows[r - 1]; };
    auto flag = [&row](int r) { return isFlagText(row(r)); };
    const QString& type = row(kLoopTypeRow);
    uint8_t b1;
    uint8_t b2 = 0;
    if (type == loopTypeNames()[SmokeFireLoop] || type == loopTypeNames()[HeatFireLoop]) {
        const std::optional<int32_t> pair = parseInteger(row(kPairNumberRow));
        if (!pair)
            throw ConversionError(
                QStringLiteral("'%1' is not a valid integer value").arg(row(kPairNumberRow)));
        // Pair 1..8 lands in bits 0-2 with bit 7 (fire) set, and bit 6 set for a heat loop. Other
        // numbers wrap into the byte as they come, unsigned so that no value can overflow.
        const uint32_t base = type == loopTypeNames()[SmokeFireLoop] ? 127u : 191u;
        b1 = uint8_t((uint32_t(*pair) + base) & 0xFF);
        b1 |= bitIf(flag(9), 3);
        b2 |= bitIf(flag(10), 4) | bitIf(flag(11), 6);
    } else {
        b1 = type == loopTypeNames()[SecurityLoop] ? 0 : 1;
        b1 |= bitIf(flag(12), 1) | bitIf(flag(13), 2) | bitIf(flag(14), 3) | bitIf(flag(15), 5) |
              bitIf(row(kReactionTimeRow) == slowReactionText(), 6);
        b2 |= bitIf(flag(17), 4) | bitIf(flag(18), 5) | bitIf(flag(19), 6);
    }
    b1 |= bitIf(flag(2), 4);
    b2 |= bitIf(flag(3), 7) | bitIf(flag(4), 0) | bitIf(flag(5), 1) | bitIf(flag(6), 2) | bitIf(flag(7), 3);
    return {b1, b2};
}

GeneralProperties generalPropertiesOf(uint8_t byte1, uint8_t byte2) {
    GeneralProperties p;
    for (int i = 0; i < 5; ++i) // CheckBox1..CheckBox5: byte 1 bits 0..4
        p.boxes[i] = bit(byte1, i);
    for (int i = 0; i < 8; ++i) // CheckBox6..CheckBox13: byte 2 bits 0..7
        p.boxes[5 + i] = bit(byte2, i);
    p.boxes[2] = !p.boxes[2];   // CheckBox3 ticked: strobe lamp, bit clear
    p.boxes[11] = !p.boxes[11]; // CheckBox12 ticked: ПЦН4 reports only faults, bit clear
    p.exitDelay = byte1 >> 5;
    return p;
}

std::array<uint8_t, 2> generalBytesOf(const GeneralProperties& p) {
    uint8_t byte1 = uint8_t((uint32_t(p.exitDelay) * 32u) & 0xFF);
    uint8_t byte2 = 0;
    for (int i = 0; i < 5; ++i)
        byte1 |= bitIf(i == 2 ? !p.boxes[i] : p.boxes[i], i);
    for (int i = 0; i < 8; ++i)
        byte2 |= bitIf(5 + i == 11 ? !p.boxes[5 + i] : p.boxes[5 + i], i);
    return {byte1, byte2};
}
