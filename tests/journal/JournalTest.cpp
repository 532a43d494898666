// The exchange journal: the rows it makes of the line's bytes, the codes it never keeps, the
// diagnosis that simulated faults produce, the table model's batches and the saved files.
#include "CodeTraffic.h"
#include "DialogRecorder.h"
#include "LockstepClock.h"
#include "TestPorts.h"
#include "base/Clock.h"
#include "journal/JournalModel.h"
#include "journal/JournalWindow.h"
#include "journal/Recorder.h"
#include "journal/RowText.h"
#include "journal/Writers.h"
#include "link/Access.h"
#include "link/LineTap.h"
#include "link/Link.h"
#include "link/PortNames.h"
#include "sim/ControlUnitSim.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Journal::Recorder;
using Unit = sim::ControlUnitSim;

Bytes request(uint8_t command, uint8_t a1, uint8_t a2, uint8_t a3 = 0, uint8_t a4 = 0) {
    const QByteArray f = Link::requestFrame(command, a1, a2, a3, a4);
    return Bytes(f.begin(), f.end());
}
Bytes frame(const Bytes& payload) {
    const QByteArray f = Link::buildFrame(
        QByteArray(reinterpret_cast<const char*>(payload.data()), static_cast<qsizetype>(payload.size())));
    return Bytes(f.begin(), f.end());
}
Bytes reply(uint8_t status, uint8_t echo, const Bytes& data = {}) {
    return Unit::replyFrame(status, echo, data);
}
// The key device's reply: FA, N, status, data, check byte (low byte of the sum from N on).
Bytes keyReply(uint8_t status, const Bytes& data) {
    Bytes f{0xFA, static_cast<uint8_t>(data.size() + 3), status};
    for (uint8_t b : data)
        f.push_back(b);
    int sum = 0;
    for (size_t i = 1; i < f.size(); ++i)
        sum += f[i];
    f.push_back(static_cast<uint8_t>(sum));
    return f;
}
const Bytes kFetch{0xAF, 0x03, 0x02, 0x05, 0x00};
const Bytes kKeyTable1{0xAF, 0x07, 0x02, 0x00, 0x00, 0x00, 0x00, 0x09, 0x00};

// What a row shows, but its time: Δ | direction | device | bytes | meaning | result.
QString shown(const Recorder& r, const Journal::Row& row) {
    QStringList cells;
    for (int c = Journal::DeltaColumn; c < Journal::kColumns; ++c)
        cells << Journal::cellText(r, row, c);
    return cells.join(QStringLiteral(" | "));
}
QStringList shownRows(const Recorder& r) {
    QStringList rows;
    for (uint64_t seq = r.firstSeq(); seq < r.endSeq(); ++seq)
        rows << shown(r, r.row(seq));
    return rows;
}

// One step of the line: bytes sent, received or found by a purge, at a time in milliseconds.
struct Step {
    enum { Sent, Received, Purged } what;
    int atMs;
    Bytes bytes;
};

TEST(JournalRows, DecodeBothDevicesAndHideEveryCode) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        QStringList rows;
    };
    const Bytes userWrite = frame({1, 11, 0x5C, 3, 0x0F, 0x21, 0x43, 3, 0, 0});
    const Bytes codes = reply(1, 0x5D, Bytes(16, 0x12));
    const Bytes signature = keyReply(5, Bytes(35, 0)); // the key device's answer to the access step
    const Case cases[] = {
        {"access granted",
         {{Step::Sent, 0, request(0, 0x21, 0x43, 0x65, 0x87)}, {Step::Received, 3, reply(8, 0)}},
         {"0.0 | → | ППК | AF 07 00 ** ** ** ** ** ** | Доступ: код скрыт | ок",
          "3.0 | ← | ППК | FA 06 08 00 0E 00 | Статус 8: доступ разрешён | ок"}},
        {"wrong code refused",
         {{Step::Sent, 0, request(0, 0x21, 0x43)}, {Step::Received, 3, reply(7, 0)}},
         {"0.0 | → | ППК | AF 05 00 ** ** ** ** | Доступ: код скрыт | ок",
          "3.0 | ← | ППК | FA 06 07 00 0D 00 | Статус 7: неверный код доступа | статус 7 не принят"}},
        {"relayed read and its fetch belong to the expander",
         {{Step::Sent, 0, request(1, 11, 0x55)},
          {Step::Received, 2, reply(1, 1)},
          {Step::Sent, 200, kFetch},
          {Step::Received, 252, reply(3, 0)},
          {Step::Sent, 400, kFetch},
          {Step::Received, 452, reply(1, 0x55, Bytes(18, 0))}},
         {"0.0 | → | Расширитель 5 | AF 05 01 0B 55 66 00 | Запрос расширителю 5: чтение параметров (0x55) | "
          "ок",
          "2.0 | ← | Расширитель 5 | FA 06 01 01 08 00 | Запрос принят, статус 1 | ок",
          "198.0 | → | Расширитель 5 | AF 03 02 05 00 | Выборка ответа расширителя | ок",
          "52.0 | ← | Расширитель 5 | FA 06 03 00 09 00 | Ответа расширителя ещё нет, статус 3 | статус 3 не "
          "принят",
          "148.0 | → | Расширитель 5 | AF 03 02 05 00 | Выборка ответа расширителя | ок",
          "52.0 | ← | Расширитель 5 | FA 18 01 55 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 6E "
          "00 | "
          "Ответ расширителя на 0x55, данных 18 байт | ок"}},
        {"a user written and the users' codes read",
         {{Step::Sent, 0, userWrite},
          {Step::Sent, 1, request(1, 11, 0x5D, 2, 0)},
          {Step::Received, 3, reply(1, 1)},
          {Step::Sent, 500, kFetch},
          {Step::Received, 552, codes}},
         {"0.0 | → | Расширитель 5 | AF 0C 01 0B 5C 03 0F ** ** 03 00 00 ** ** | "
          "Запрос расширителю 5: запись пользователя 3: ШС 1,2,3,4, код скрыт | ",
          "1.0 | → | Расширитель 5 | AF 07 01 0B 5D 02 00 72 00 | "
          "Запрос расширителю 5: чтение кодов пользователей, блок 2 (0x5D) | ок",
          "2.0 | ← | Расширитель 5 | FA 06 01 01 08 00 | Запрос принят, статус 1 | ок",
          "497.0 | → | Расширитель 5 | AF 03 02 05 00 | Выборка ответа расширителя | ок",
          "52.0 | ← | Расширитель 5 | FA 16 01 5D" + QString(" **").repeated(18) +
              " | Ответ расширителя на 0x5D: коды скрыты | ок"}},
        {"noise, a bad checksum and a frame cut short",
         {{Step::Sent, 0, request(6, 0, 0)},
          {Step::Received, 5, {0x00, 0x13, 0xFA, 0x06, 0x01, 0x00, 0x07, 0x01}},
          {Step::Sent, 205, request(6, 0, 0)},
          {Step::Received, 210, {0xFA, 0x26, 0x01}},
          {Step::Purged, 600, {0x00, 0x33}}},
         {"0.0 | → | ППК | AF 05 06 00 00 0B 00 | Чтение таблицы расширителей, блок 0 | ок",
          // None of these is a frame known to carry no code: nothing of them shows.
          "5.0 | ← | ППК | ** ** | Отброшено до стартового байта | отброшено",
          "5.0 | ← | ППК | ** ** ** ** ** ** | Байты скрыты: в них может быть код | неверная КС",
          "200.0 | → | ППК | AF 05 06 00 00 0B 00 | Чтение таблицы расширителей, блок 0 | ок",
          "395.0 | · | ППК | ** ** ** | Ответ оборвался | нет ответа за 395 мс, принято 3 байт",
          "0.0 | ← | ППК | ** ** | Отброшено при очистке приёма | отброшено"}},
        {"the key device: a table, a refusal, a report and its signature to the access step",
         {{Step::Sent, 0, kKeyTable1},
          {Step::Received, 4, keyReply(5, Bytes(35, 0x03))},
          {Step::Sent, 10, {0xAF, 0x07, 0x03, 0x02, 0x01, 0x00, 0x00, 0x0D, 0x00}},
          {Step::Received, 14, keyReply(4, {})},
          {Step::Received, 900, keyReply(5, Bytes{0, 0, 0, 0, 0, 0, 0, 0, 42, 0})},
          {Step::Sent, 1000, request(0, 0x21, 0x43)},
          {Step::Received, 1004, Bytes(signature.begin(), signature.end() - 1)}, // read as 38 bytes
          {Step::Purged, 1010, {signature.back()}}},
         {"0.0 | → | БКУ | AF 07 02 00 00 00 00 09 00 | Чтение таблицы ключей 1 | ок",
          "4.0 | ← | БКУ | FA 26 05" + QString(" 03").repeated(35) +
              " 94 | Статус 5: таблица, записано ключей 70 | ок",
          "6.0 | → | БКУ | AF 07 03 02 01 00 00 0D 00 | Запись ключа 1 пользователя 3 расширителя 1 | ок",
          "4.0 | ← | БКУ | FA 03 04 07 | Статус 4: не принято | статус 4 не принят",
          "886.0 | ← | БКУ | FA 0D 05 00 00 00 00 00 00 00 00 2A 00 3C | Касание ключа: записан в ячейке 42 "
          "| ",
          "100.0 | → | ППК | AF 05 00 ** ** ** ** | Доступ: код скрыт | ок",
          "4.0 | ← | БКУ | FA 26 05" + QString(" 00").repeated(35) +
              " 2B | Сигнатура БКУ (длина 38, статус 5) | ок"}},
        {"a late copy of an answer that carries a code, in the exchange after",
         {{Step::Sent, 0, userWrite},
          {Step::Sent, 300, kFetch},
          {Step::Received, 352, reply(1, 0x5C, {5, 0, 0xE7, 0xB5})},
          {Step::Sent, 360, request(1, 11, 0x55)},
          {Step::Received, 361, reply(1, 0x5C, {5, 0, 0xE7, 0xB5})},
          {Step::Received, 363, reply(1, 1)}},
         {"0.0 | → | Расширитель 5 | AF 0C 01 0B 5C 03 0F ** ** 03 00 00 ** ** | "
          "Запрос расширителю 5: запись пользователя 3: ШС 1,2,3,4, код скрыт | ",
          "300.0 | → | Расширитель 5 | AF 03 02 05 00 | Выборка ответа расширителя | ок",
          "52.0 | ← | Расширитель 5 | FA 0A 01 5C ** ** ** ** ** ** | Ответ расширителя на 0x5C: коды скрыты | ок",
          "8.0 | → | Расширитель 5 | AF 05 01 0B 55 66 00 | Запрос расширителю 5: чтение параметров (0x55) | ок",
          // Whole frames of a shape their exchange does not get: what identifies them, no more.
          "1.0 | ← | Расширитель 5 | FA 0A 01 5C" + QString(" **").repeated(6) + " | Запрос принят, статус 1 | ок",
          "2.0 | ← | Расширитель 5 | FA 06 01 01 ** ** | Запрос принят, статус 1 | "}},
        {"each operation starts afresh: the local line's probe after a users' read",
         {{Step::Sent, 0, request(1, 11, 0x5D, 4, 0)},
          {Step::Received, 2, reply(1, 1)},
          {Step::Sent, 500, kFetch},
          {Step::Received, 552, codes},
          {Step::Sent, 1000, request(0, 0x21, 0x43)},
          {Step::Received, 1003, reply(0, 0)},
          {Step::Sent, 1010, kFetch},
          {Step::Received, 1062, reply(1, 0x55, Bytes(18, 0))}},
         {"0.0 | → | Расширитель 5 | AF 07 01 0B 5D 04 00 74 00 | "
          "Запрос расширителю 5: чтение кодов пользователей, блок 4 (0x5D) | ок",
          "2.0 | ← | Расширитель 5 | FA 06 01 01 08 00 | Запрос принят, статус 1 | ок",
          "498.0 | → | Расширитель 5 | AF 03 02 05 00 | Выборка ответа расширителя | ок",
          "52.0 | ← | Расширитель 5 | FA 16 01 5D" + QString(" **").repeated(18) +
              " | Ответ расширителя на 0x5D: коды скрыты | ок",
          "448.0 | → | ППК | AF 05 00 ** ** ** ** | Доступ: код скрыт | ок",
          "3.0 | ← | ППК | FA 06 00 00 06 00 | Статус 0: подключение по местной линии | ок",
          "7.0 | → | ППК | AF 03 02 05 00 | Выборка ответа расширителя | ок",
          "52.0 | ← | ППК | FA 18 01 55" + QString(" 00").repeated(18) +
              " 6E 00 | Ответ расширителя на 0x55, данных 18 байт | ок"}},
    };
    for (const Case& c : cases) {
        Recorder r;
        for (const Step& s : c.steps) {
            const int64_t us = int64_t{s.atMs} * 1000;
            const int n = static_cast<int>(s.bytes.size());
            if (s.what == Step::Sent) r.sentAt(us, s.bytes.data(), n);
            if (s.what == Step::Received) r.receivedAt(us, s.bytes.data(), n);
            if (s.what == Step::Purged) r.purgedAt(us, s.bytes.data(), n);
        }
        r.settle(int64_t{5000} * 1000);
        EXPECT_EQ(shownRows(r).join(QLatin1Char('\n')).toStdString(),
                  c.rows.join(QLatin1Char('\n')).toStdString())
            << c.name;
    }
}

// A simulated control unit on COM1, recorded by a journal of the test's own.
class JournalLine : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::setTerminating(false);
        Access::resetFlags();
        Link::installTap(&journal);
        ASSERT_TRUE(folder.isValid());
        setPortFolder(folder.path());
        unit.setAccessCode("12345678");
        Unit::Expander e;
        e.configured = true;
        unit.setExpander(5, e);
        ASSERT_TRUE(unit.start());
        ASSERT_TRUE(unit.linkAs((folder.path() + QStringLiteral("/ttyS0")).toStdString()));
        ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM1")));
    }
    void TearDown() override {
        Link::ClosePort();
        Link::installTap(nullptr);
        unit.stop();
        setPortFolder(EmptyPortFolder());
    }
    bool access(const char* typed) {
        const auto code = Access::codeBytes(QString::fromLatin1(typed), false, false);
        return Link::SendRequest(0, code[0], code[1], code[2], code[3]);
    }
    QString diagnosis() {
        journal.settle(journal.nowUs() + 2'000'000);
        return journal.diagnosis().text();
    }

    LockstepClock clock; // the unit answers on the program's time, however busy the machine
    Recorder journal;
    QTemporaryDir folder;
    Unit unit;
    DialogRecorder dialogs;
};

TEST_F(JournalLine, DiagnosisNamesTheFaultOfTheLastFailedExchange) {
    struct Case {
        const char* name;
        Unit::Fault fault;
        QString line;
    };
    Unit::Fault silent;
    silent.silent = true;
    silent.times = -1;
    Unit::Fault noise;
    noise.noiseBefore = {0x11, 0x22};
    noise.badChecksum = true;
    noise.times = -1;
    Unit::Fault refused;
    refused.status = 4;
    refused.times = -1;
    const Case cases[] = {
        {"silent", silent,
         "Прибор не ответил: не пришло ни одного байта. Проверьте кабель, питание прибора и выбранный порт."},
        {"noise", noise,
         "Приходят байты, но не кадры протокола: проверьте скорость адаптера (57600 бод) и помехи на линии."},
        {"refused", refused, "Прибор отвечает, но отклоняет запрос: статус 4."},
    };
    for (const Case& c : cases) {
        journal.clear();
        EXPECT_EQ(diagnosis(), QString()) << c.name;
        unit.addFault(c.fault);
        EXPECT_FALSE(access("12345678")) << c.name;
        unit.clearFaults();
        EXPECT_EQ(diagnosis(), c.line) << c.name;
        // A later exchange that succeeds leaves the line as it was.
        EXPECT_TRUE(access("12345678")) << c.name;
        EXPECT_EQ(diagnosis(), c.line) << c.name;
    }
}

// The port's events: opened, and lost when the device goes away under an exchange or while idle
// (recorded when the port reports it, not when the link next looks at the line).
TEST_F(JournalLine, RecordsThePortOpenedAndLost) {
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"under an exchange", [this] { EXPECT_FALSE(access("12345678")); }},
        {"while idle", [] { QTest::qWait(50); }},
    };
    for (const auto& [when, notice] : cases) {
        if (!Link::portOpen()) {
            ASSERT_TRUE(unit.start());
            ASSERT_TRUE(unit.linkAs((folder.path() + QStringLiteral("/ttyS0")).toStdString()));
            ASSERT_TRUE(Link::OpenPort(QStringLiteral("COM1")));
        }
        journal.clear();
        unit.stop();
        notice();
        QStringList kinds; // what the journal shows before anyone asks the link about the port
        for (uint64_t seq = journal.firstSeq(); seq < journal.endSeq(); ++seq)
            kinds << Journal::cellText(journal, journal.row(seq), Journal::MeaningColumn) + " | " +
                         Journal::cellText(journal, journal.row(seq), Journal::ResultColumn);
        EXPECT_TRUE(kinds.contains("Порт COM1 пропал: устройство отключено | порт потерян"))
            << when << "\n"
            << kinds.join(QLatin1Char('\n')).toStdString();
        EXPECT_FALSE(kinds.contains("Порт COM1 закрыт | ")) << when;
        EXPECT_FALSE(Link::portOpen()) << when;
    }
}

// The view's model takes rows in batches: one insertion per batch, old rows removed first, never a
// reset; "Только ошибки" keeps the faults and the requests they answer.
TEST(JournalModel, TakesRowsInBatches) {
    Recorder r;
    Journal::JournalModel model(r);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    const Bytes ask = request(6, 0, 0);
    const Bytes ok = reply(1, 0, Bytes(32, 0));
    const Bytes refused = reply(4, 0);
    int64_t us = 0;
    const int exchanges = static_cast<int>(Recorder::kCapacity / 2) + 100;
    for (int i = 0; i < exchanges; ++i) {
        r.sentAt(us += 1000, ask.data(), static_cast<int>(ask.size()));
        const Bytes& answer = i % 1000 == 999 ? refused : ok;
        r.receivedAt(us += 1000, answer.data(), static_cast<int>(answer.size()));
        if (i == exchanges / 2) model.pull();
    }
    model.pull();
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(model.rowCount(), static_cast<int>(Recorder::kCapacity));
    EXPECT_EQ(model.seqOf(0), r.firstSeq());

    model.setFaultsOnly(true);
    ASSERT_EQ(model.rowCount(), 2 * (exchanges / 1000));
    EXPECT_EQ(model.data(model.index(0, Journal::BytesColumn), Qt::DisplayRole).toString(),
              "AF 05 06 00 00 0B 00");
    EXPECT_EQ(model.data(model.index(1, Journal::ResultColumn), Qt::DisplayRole).toString(),
              "статус 4 не принят");
    EXPECT_LE(Recorder::fullRingBytes(), size_t{16} << 20);

    // Noise instead of a reply (an adapter at the wrong speed), then the time-out: the request is
    // shown before both.
    const Bytes noise{0x13, 0x77, 0x00};
    r.sentAt(us += 1000, ask.data(), static_cast<int>(ask.size()));
    r.receivedAt(us += 1000, noise.data(), static_cast<int>(noise.size()));
    r.settle(us += 2'000'000);
    model.pull();
    const int rows = model.rowCount();
    ASSERT_GE(rows, 3);
    EXPECT_EQ(model.data(model.index(rows - 3, Journal::BytesColumn), Qt::DisplayRole).toString(),
              "AF 05 06 00 00 0B 00");
    EXPECT_EQ(model.data(model.index(rows - 2, Journal::BytesColumn), Qt::DisplayRole).toString(),
              "** ** **");
}

// "Сохранить журнал…": the suffix chooses the form; a name typed without one is saved as text under
// a name that says so.
TEST(JournalWindow, SavesUnderTheNameThatSaysItsForm) {
    Recorder r;
    const Bytes ask = request(6, 0, 0);
    r.sentAt(1000, ask.data(), static_cast<int>(ask.size()));
    Journal::JournalWindow window(r);
    QTemporaryDir folder;
    DialogRecorder dialogs;
    const std::pair<const char*, const char*> cases[] = {
        {"journal", "journal.txt"}, {"journal.pcap", "journal.pcap"}, {"notes.TXT", "notes.TXT"}};
    for (const auto& [typed, written] : cases) {
        dialogs.fileNames = {folder.filePath(typed)};
        window.saveClick();
        QFile file(folder.filePath(written));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << typed;
        const bool capture = QByteArray(written).endsWith(".pcap");
        EXPECT_EQ(file.read(4) == QByteArray::fromHex("d4c3b2a1"), capture) << typed; // the capture's magic
    }
}

// The window follows the newest row only from the bottom, freezes on "Пауза" while recording goes
// on, and copies the selected rows with Ctrl+C.
TEST(JournalWindow, FollowsFromTheBottomPausesAndCopies) {
    Recorder r;
    Journal::JournalWindow window(r);
    window.show();
    // It opens within the screen, frame and title bar included (here 800 × 600, narrower than a
    // 1366 × 768 laptop at 125 %).
    const QRect room = window.screen()->availableGeometry();
    EXPECT_LE(window.width() + 16, room.width());
    EXPECT_LE(window.height() + 48, room.height());
    const Bytes ask = request(6, 0, 0);
    int64_t us = 0;
    const auto exchanges = [&](int count) {
        for (int i = 0; i < count; ++i) {
            r.sentAt(us += 1000, ask.data(), static_cast<int>(ask.size()));
            r.settle(us += 2'000'000);
        }
        window.model()->pull();
        QCoreApplication::processEvents();
    };
    QTableView* table = window.table();
    const auto lastVisible = [table] { return table->rowAt(table->viewport()->height() - 2); };
    exchanges(100);
    EXPECT_EQ(lastVisible(), window.model()->rowCount() - 1);
    EXPECT_EQ(window.diagnosisLine()->text(), Journal::Diagnosis{Journal::Diagnosis::NoBytes}.text());

    table->scrollToTop();
    exchanges(100);
    EXPECT_EQ(table->rowAt(0), 0);
    EXPECT_EQ(window.model()->rowCount(), 400);

    window.pauseButton()->click();
    exchanges(10);
    EXPECT_EQ(window.model()->rowCount(), 400);
    window.pauseButton()->click();
    EXPECT_EQ(window.model()->rowCount(), 420);

    table->selectRow(2);
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              Journal::rowLine(r, r.row(window.model()->seqOf(2)), false) + "\n");
    window.clearButton()->click();
    EXPECT_EQ(window.model()->rowCount(), 0);
    EXPECT_EQ(window.diagnosisLine()->text(), QString());
}

// A user's write whose echo (carrying the code) is fetched late and comes twice: the copy arrives in
// the exchanges after, and no byte of the code reaches any row, cell, saved file or buffer.
TEST_F(JournalLine, ALateRepeatedEchoOfACodeStaysHiddenInTheExchangesAfter) {
    ASSERT_TRUE(access("12345678"));
    Unit::Fault lateTwice;
    lateTwice.command = Command::Fetch;
    lateTwice.expanderCommand = 0x5C;
    lateTwice.delayMs = 270;
    lateTwice.twice = true;
    lateTwice.repeatAfterMs = 60; // after the next request has gone out
    unit.addFault(lateTwice);
    Link::SendFrame(QByteArray::fromHex("010b5c030fe7b5030000")); // user 3, code bytes E7 B5
    EXPECT_TRUE(Link::FetchReply(0x5C));
    EXPECT_EQ(Link::R(5), 0xE7);
    EXPECT_TRUE(Link::SendRequest(1, 11, 0x55, 0, 0));
    Link::WaitMs(200);
    EXPECT_TRUE(Link::FetchReply(0x55));
    Link::ClosePort();
    EXPECT_EQ(codetraffic::leak(journal), QString());
}

// Both saved files: the text row by row as the view shows it, the capture read back by tshark with
// the program's dissector; neither holds a code's bytes.
TEST_F(JournalLine, SavedTextAndCaptureMatchTheJournalWithoutCodes) {
    EXPECT_TRUE(access("87654321")); // answered with status 7: a wrong code
    EXPECT_EQ(Link::R(1), 7);
    EXPECT_TRUE(access("12345678"));
    EXPECT_TRUE(Link::SendRequest(1, 11, 0x55, 0, 0));
    Link::WaitMs(20);
    EXPECT_TRUE(Link::FetchReply(0x55));
    Link::SendFrame(QByteArray::fromHex("010b5c030f2143030000")); // user 3 with its code
    EXPECT_TRUE(Link::FetchReply(0x5C));
    Link::ClosePort();
    // The key device's signature to the access step, then its table read and its reply, as the key
    // window exchanges them.
    const Bytes access = request(0, 0x21, 0x43);
    const Bytes signature = keyReply(5, Bytes(35, 0));
    journal.sentAt(journal.nowUs(), access.data(), static_cast<int>(access.size()));
    journal.receivedAt(journal.nowUs(), signature.data(), static_cast<int>(signature.size()));
    const Bytes table = keyReply(5, Bytes(35, 0x01));
    journal.sentAt(journal.nowUs(), kKeyTable1.data(), static_cast<int>(kKeyTable1.size()));
    journal.receivedAt(journal.nowUs(), table.data(), static_cast<int>(table.size()));

    const QString text = folder.path() + QStringLiteral("/journal.txt");
    const QString capture = folder.path() + QStringLiteral("/journal.pcap");
    ASSERT_TRUE(Journal::saveJournal(journal, text));
    ASSERT_TRUE(Journal::saveJournal(journal, capture));
    EXPECT_FALSE(Journal::saveJournal(journal, folder.path() + QStringLiteral("/missing/journal.pcap")));
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Ошибка записи")});
    QFile textFile(text), captureFile(capture);
    ASSERT_TRUE(textFile.open(QIODevice::ReadOnly) && captureFile.open(QIODevice::ReadOnly));
    const QByteArray textBytes = textFile.readAll();
    const QByteArray captureBytes = captureFile.readAll();
    const QStringList lines = QString::fromUtf8(textBytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(journal.endSeq() - journal.firstSeq() + 1));
    EXPECT_EQ(lines[0], Journal::columnHeadings().join(QLatin1Char('\t')));
    EXPECT_EQ(
        lines[2].section(QLatin1Char('\t'), 1),
        Journal::rowLine(journal, journal.row(journal.firstSeq() + 1), true).section(QLatin1Char('\t'), 1));
    EXPECT_TRUE(
        QDateTime::fromString(lines[2].section(QLatin1Char('\t'), 0, 0), Qt::ISODateWithMs).isValid());
    for (const char* typed : {"87654321", "12345678"}) {
        const Bytes code = Unit::codeBytesOf(typed);
        const QByteArray codeBytes(reinterpret_cast<const char*>(code.data()), 4);
        EXPECT_FALSE(captureBytes.contains(codeBytes)) << typed;
        EXPECT_FALSE(textBytes.contains(Journal::bytesText([&] {
                                            Journal::Row row;
                                            row.count = 4;
                                            std::copy(code.begin(), code.end(), row.bytes.begin());
                                            return row;
                                        }())
                                            .toLatin1()))
            << typed;
    }

    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty()) GTEST_SKIP() << "tshark is not installed: the capture is not read back";
    QProcess run;
    run.start(tshark, {"-r", capture,
                       "-X", "lua_script:" ORTEX_DISSECTOR,
                       "-d", "rtacser.data,ortex",
                       "-T", "fields",
                       "-E", "separator=,",
                       "-e", "rtacser.eventtype",
                       "-e", "ortex.device",
                       "-e", "ortex.command",
                       "-e", "ortex.status",
                       "-e", "ortex.checksum_ok"});
    ASSERT_TRUE(run.waitForFinished(60000));
    const QStringList read =
        QString::fromUtf8(run.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList expected;
    for (uint64_t seq = journal.firstSeq(); seq < journal.endSeq(); ++seq) {
        const Journal::Row& row = journal.row(seq);
        if (row.count == 0 || row.kind == Journal::Kind::Opened || row.kind == Journal::Kind::Closed)
            continue;
        const bool sent = row.kind == Journal::Kind::Request;
        const QString code = sent ? QString::number(row.bytes[2]) : QString();
        const QString status = sent ? QString() : QString::number(row.bytes[2]);
        const QString check = row.anyMasked()                                ? QString()
                              : row.verdict == Journal::Verdict::BadChecksum ? QStringLiteral("0")
                                                                             : QStringLiteral("1");
        const QString device = row.device == Journal::Device::KeyDevice ? "key-device" : "control-unit";
        expected << QStringLiteral("0x0%1,%2,%3,%4,%5").arg(sent ? 1 : 2).arg(device, code, status, check);
    }
    EXPECT_EQ(read.join(QLatin1Char('\n')).toStdString(), expected.join(QLatin1Char('\n')).toStdString())
        << run.readAllStandardError().toStdString();
}

} // namespace
