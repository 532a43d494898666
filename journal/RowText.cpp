#include "journal/RowText.h"

#include "base/Text1251.h"
#include "journal/Recorder.h"

#include <QDateTime>

#include <algorithm>

namespace Journal {
namespace {

QString hex2(int b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString mark(uint8_t mask) {
    QStringList loops;
    for (int n = 1; n <= 8; ++n)
        if (mask & (1 << (n - 1))) loops << QString::number(n);
    return loops.isEmpty() ? QStringLiteral("нет") : loops.join(QLatin1Char(','));
}

QString expanderCommand(uint8_t command, uint8_t block) {
    switch (command) {
    case 0x55:
        return QStringLiteral("чтение параметров (0x55)");
    case 0x56:
        return QStringLiteral("запись параметров (0x56)");
    case 0x59:
        return QStringLiteral("запись глобального раздела (0x59)");
    case 0x5A:
        return QStringLiteral("чтение глобальных разделов (0x5A)");
    case 0x5C:
        return QStringLiteral("запись пользователя (0x5C)");
    case 0x5D:
        return block ? QStringLiteral("чтение кодов пользователей, блок %1 (0x5D)").arg(block)
                     : QStringLiteral("чтение пользователей (0x5D)");
    default:
        return QStringLiteral("команда 0x%1").arg(hex2(command));
    }
}

QString text1251(const uint8_t* bytes, int count) {
    return fromCp1251(QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), count));
}

QString controlRequest(const Row& row) {
    const uint8_t* f = row.bytes.data();
    const int n = f[1];
    const uint8_t command = f[2];
    switch (command) {
    case 0:
        return QStringLiteral("Доступ: код скрыт");
    case 1: {
        const uint8_t sub = f[4];
        QString text = QStringLiteral("Запрос расширителю %1: ").arg(f[3] >> 1);
        if (n == 12 && sub == 0x59)
            return text + QStringLiteral("запись глобального раздела %1: номер %2, ШС %3, код скрыт")
                              .arg(f[9] + 1)
                              .arg(f[5])
                              .arg(mark(f[6]));
        if (n == 12 && sub == 0x5C)
            return text +
                   QStringLiteral("запись пользователя %1: ШС %2, код скрыт").arg(f[5]).arg(mark(f[6]));
        return text + expanderCommand(sub, n == 7 ? f[5] : 0);
    }
    case 2:
        return n == 3 ? QStringLiteral("Выборка ответа расширителя") : QStringLiteral("Команда 2");
    case 3: {
        const int slot = f[5] * 256 + f[6];
        if (f[3] == 255) return QStringLiteral("Запись описания: ячейка %1 без описания").arg(slot);
        if (f[3] > 150)
            return QStringLiteral("Запись описания: ячейка %1, стандартное описание %2").arg(slot).arg(f[3]);
        const int length = std::clamp(f[4] - 1, 0, std::max(0, row.count - 9));
        return QStringLiteral("Запись описания: ячейка %1, дескриптор %2 «%3»")
            .arg(slot)
            .arg(f[3])
            .arg(text1251(f + 7, length));
    }
    case 4:
        return QStringLiteral("Чтение текста дескриптора %1").arg(f[3]);
    case 5:
        return QStringLiteral("Чтение таблицы дескрипторов, блок %1").arg(f[3]);
    case 6:
        return QStringLiteral("Чтение таблицы расширителей, блок %1").arg(f[3]);
    default:
        return QStringLiteral("Команда %1").arg(command);
    }
}

QString keyRequest(const Row& row) {
    const uint8_t* f = row.bytes.data();
    if (f[2] == 2) {
        switch (f[3]) {
        case 0:
            return QStringLiteral("Чтение таблицы ключей 1");
        case 1:
            return QStringLiteral("Чтение таблицы ключей 2");
        case 2:
            return QStringLiteral("Чтение таблицы ключей на три расширителя");
        default:
            return QStringLiteral("Чтение таблицы %1").arg(f[3]);
        }
    }
    const int slot = f[3];
    if (slot == 0xFF) return QStringLiteral("Отмена записи ключа");
    if (f[4] == 0xFF) return QStringLiteral("Удаление ключа из ячейки %1").arg(slot);
    if (f[4] == 0xFE) return QStringLiteral("Отказ от перепрограммирования ключа ячейки %1").arg(f[5]);
    if (slot >= 180) return QStringLiteral("Запись ключа в ячейку %1").arg(slot);
    const int key = slot / 90 + 1;
    const int user = slot % 30 + 1;
    if (f[4] == 0)
        return QStringLiteral("Запись ключа %1 пользователя %2 на три расширителя").arg(key).arg(user);
    return QStringLiteral("Запись ключа %1 пользователя %2 расширителя %3").arg(key).arg(user).arg(f[4]);
}

QString accessStatus(int status) {
    switch (status) {
    case 0:
        return QStringLiteral("Статус 0: подключение по местной линии");
    case 7:
        return QStringLiteral("Статус 7: неверный код доступа");
    case 8:
        return QStringLiteral("Статус 8: доступ разрешён");
    case 9:
        return QStringLiteral("Статус 9: прибор занят, запрос повторяется");
    default:
        return QStringLiteral("Статус %1").arg(status);
    }
}

QString controlReply(const Row& row) {
    const uint8_t* f = row.bytes.data();
    const int status = f[2];
    const int data = row.count - 6;
    if (row.count >= 3 && f[1] == 38 && status == 5)
        return QStringLiteral("Сигнатура БКУ (длина 38, статус 5)");
    if (row.count < 4) return QStringLiteral("Длина %1").arg(f[1]);
    if ((row.asked & 0x80) == 0) {
        switch (row.asked) {
        case 0:
            return accessStatus(status);
        case 1:
            return QStringLiteral("Запрос принят, статус %1").arg(status);
        case 2: {
            if (status != 1) return QStringLiteral("Ответа расширителя ещё нет, статус %1").arg(status);
            QString text = QStringLiteral("Ответ расширителя на 0x%1").arg(hex2(f[3]));
            if (row.anyMasked()) return text + QStringLiteral(": коды скрыты");
            if (f[3] == 0x59 || f[3] == 0x5C)
                return text + QStringLiteral(": %1, ШС %2").arg(f[4]).arg(mark(f[5]));
            return text + QStringLiteral(", данных %1 байт").arg(std::max(0, data));
        }
        case 3:
            return status == 1 ? QStringLiteral("Описание записано")
                               : QStringLiteral("Статус %1").arg(status);
        case 4: {
            if (status != 1 && status != 0) return QStringLiteral("Статус %1").arg(status);
            int length = 0;
            while (length < data && f[4 + length] != 0)
                ++length;
            return QStringLiteral("Текст «%1»").arg(text1251(f + 4, length));
        }
        case 5:
        case 6:
            return QStringLiteral("Статус %1, блок %2, данных %3 байт")
                .arg(status)
                .arg(f[3])
                .arg(std::max(0, data));
        default:
            break;
        }
    }
    return QStringLiteral("Статус %1, эхо %2, данных %3 байт").arg(status).arg(f[3]).arg(std::max(0, data));
}

QString keyReply(const Row& row) {
    const uint8_t* f = row.bytes.data();
    if (row.count < 3) return QStringLiteral("Длина %1").arg(f[1]);
    const int status = f[2];
    if (row.requestSeq == 0 && row.count > 11) {
        const int slot = f[11];
        return slot == 0xFF ? QStringLiteral("Касание ключа: ключ нигде не записан")
                            : QStringLiteral("Касание ключа: записан в ячейке %1").arg(slot);
    }
    if (status != 5) return QStringLiteral("Статус %1: не принято").arg(status);
    if ((row.asked & 0x7F) == 2) {
        int keys = 0;
        for (int i = 3; i < row.count - 1; ++i)
            keys += __builtin_popcount(f[i]);
        return QStringLiteral("Статус 5: таблица, записано ключей %1").arg(keys);
    }
    return QStringLiteral("Статус 5: принято");
}

QString meaning(const Row& row) {
    switch (row.kind) {
    case Kind::Request:
        if (row.verdict == Verdict::NotAFrame) return QStringLiteral("Байты вне кадра");
        return row.device == Device::KeyDevice ? keyRequest(row) : controlRequest(row);
    case Kind::Reply:
        if (row.verdict == Verdict::Stale) return QStringLiteral("Ответ на прежний запрос или его копия");
        if (row.masked(0)) return QStringLiteral("Байты скрыты: в них может быть код");
        if (row.count < 2) return QStringLiteral("Стартовый байт");
        return (row.asked & 0x80) || (row.requestSeq == 0 && row.window == Window::Keys) ? keyReply(row)
                                                                                         : controlReply(row);
    case Kind::Discarded:
        return row.purge ? QStringLiteral("Отброшено при очистке приёма")
                         : QStringLiteral("Отброшено до стартового байта");
    case Kind::NoAnswer:
        return row.count ? QStringLiteral("Ответ оборвался") : QStringLiteral("Ответа нет");
    case Kind::Opened:
        return QStringLiteral("Порт %1 открыт").arg(text1251(row.bytes.data(), row.count)).simplified();
    case Kind::Closed:
        return QStringLiteral("Порт %1 закрыт").arg(text1251(row.bytes.data(), row.count)).simplified();
    case Kind::Lost:
        return QStringLiteral("Порт %1 пропал: устройство отключено")
            .arg(text1251(row.bytes.data(), row.count))
            .simplified();
    }
    return {};
}

QString result(const Row& row) {
    switch (row.verdict) {
    case Verdict::Ok:
        return QStringLiteral("ок");
    case Verdict::Event:
    case Verdict::Unchecked:
        return {};
    case Verdict::BadChecksum:
        return row.device == Device::KeyDevice ? QStringLiteral("неверный контрольный байт")
                   : QStringLiteral("неверная КС");
    case Verdict::BadLength:
        return QStringLiteral("неверная длина");
    case Verdict::Incomplete:
        return QStringLiteral("кадр не полон");
    case Verdict::Refused:
        return QStringLiteral("статус %1 не принят").arg(row.bytes[2]);
    case Verdict::NoAnswer:
        return QStringLiteral("нет ответа за %1 мс, принято %2 байт")
            .arg(row.deltaUs / 1000)
            .arg(row.received);
    case Verdict::Discarded:
        return row.received ? QStringLiteral("отброшено %1 байт").arg(row.count + row.received)
                            : QStringLiteral("отброшено");
    case Verdict::NotAFrame:
        return QStringLiteral("не кадр");
    case Verdict::LineLost:
        return QStringLiteral("порт потерян");
    case Verdict::Stale:
        return QStringLiteral("не ответ на этот запрос: отброшено");
    }
    return {};
}

QString deviceText(const Row& row) {
    switch (row.device) {
    case Device::None:
        return {};
    case Device::ControlUnit:
        return QStringLiteral("ППК");
    case Device::Expander:
        return QStringLiteral("Расширитель %1").arg(row.expander);
    case Device::KeyDevice:
        return QStringLiteral("БКУ");
    }
    return {};
}

QString directionText(const Row& row) {
    switch (row.kind) {
    case Kind::Request:
        return QStringLiteral("→");
    case Kind::Reply:
    case Kind::Discarded:
        return QStringLiteral("←");
    default:
        return QStringLiteral("·");
    }
}

bool portEvent(const Row& row) {
    return row.kind == Kind::Opened || row.kind == Kind::Closed || row.kind == Kind::Lost;
}

} // namespace

QStringList columnHeadings() {
    return {QStringLiteral("Время"),      QStringLiteral("Δ, мс"), QStringLiteral("Направление"),
            QStringLiteral("Устройство"), QStringLiteral("Байты"), QStringLiteral("Значение"),
            QStringLiteral("Итог")};
}

QString bytesText(const Row& row) {
    QString text;
    text.reserve(row.count * 3);
    for (int i = 0; i < row.count; ++i) {
        if (i) text += QLatin1Char(' ');
        text += row.masked(i) ? QStringLiteral("**") : hex2(row.bytes[i]);
    }
    if (row.kind == Kind::Discarded && row.received) text += QStringLiteral(" …");
    return text;
}

QString isoTime(const Recorder& recorder, const Row& row) {
    const int64_t us = recorder.wallMicros(row.timeUs);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(us / 1000);
    const QString iso = local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
    return iso.left(19) + QStringLiteral(".%1").arg(us % 1000000, 6, 10, QLatin1Char('0')) + iso.mid(19);
}

QString cellText(const Recorder& recorder, const Row& row, int column) {
    switch (column) {
    case TimeColumn:
        return QDateTime::fromMSecsSinceEpoch(recorder.wallMicros(row.timeUs) / 1000)
            .toString(QStringLiteral("HH:mm:ss.zzz"));
    case DeltaColumn:
        return QString::number(static_cast<double>(row.deltaUs) / 1000.0, 'f', 1);
    case DirectionColumn:
        return directionText(row);
    case DeviceColumn:
        return deviceText(row);
    case BytesColumn:
        return portEvent(row) ? QString() : bytesText(row);
    case MeaningColumn:
        return meaning(row);
    case ResultColumn:
        return result(row);
    default:
        return {};
    }
}

QString rowLine(const Recorder& recorder, const Row& row, bool isoTimes) {
    QStringList cells;
    for (int c = 0; c < kColumns; ++c)
        cells << (c == TimeColumn && isoTimes ? isoTime(recorder, row) : cellText(recorder, row, c));
    return cells.join(QLatin1Char('\t'));
}

} // namespace Journal
