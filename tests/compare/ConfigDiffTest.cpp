// The comparison of two configurations: each kind of field listed under the window's own captions,
// in the order of its pages, what the scope leaves out, and never a code.

#include "compare/ConfigDiff.h"
#include "config/Codes.h"
#include "tests/config/ConfigControlsFixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace Compare {
void PrintTo(const Difference& d, std::ostream* os) {
    *os << '{' << d.page.toStdString() << " | " << d.item.toStdString() << " | " << d.window.toStdString()
        << " | " << d.other.toStdString() << '}';
}
} // namespace Compare

namespace {

using Compare::Difference;
using Rows = std::vector<Difference>;

const QString kGeneral = QStringLiteral("Общие свойства");
const QString kLoops = QStringLiteral("Свойства ШС");
const QString kPartitions = QStringLiteral("Глобальные разделы");
const QString kUsers = QStringLiteral("Пользователи");
const QString kCodeDiffers = QStringLiteral("код отличается");

// The window's side: every kind of loop, non-default codes; no fire loop uses a bit without a row.
const CollectedConfig kWindow = collectedOf(sampleConfig());

struct Case {
    const char* name;
    std::function<void(CollectedConfig&, Compare::Scope&)> change; // of the other side
    Rows expected;
};

TEST(ConfigDiff, EachKindOfFieldIsListedUnderTheWindowsCaptions) {
    const Case cases[] = {
        {"same", [](CollectedConfig&, Compare::Scope&) {}, {}},
        {"a box of byte 1",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[0] ^= 0x08; },
         {{kGeneral, "Дверь на ШС1 [4]", "нет", "да"}}},
        {"a box ticked for a clear bit",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[0] ^= 0x04; },
         {{kGeneral, "Световое оповещение - строб лампа [3]", "нет", "да"}}},
        {"the exit delay",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[0] = (c.parameters[0] & 0x1F) | 0x40; },
         {{kGeneral, "Задержка на выход [6-8]", "160 сек.", "64 сек."}}},
        {"a box of byte 2",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[1] ^= 0x80; },
         {{kGeneral, "Разрешен сброс круглосуточных ШС без кода [16]", "нет", "да"}}},
        {"a security loop's type",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[6] ^= 0x01; },
         {{kLoops, "ШС3 · Тип [7-8]", "Тревожный", "Охранный"}}},
        {"security against fire: each side under its own layout",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[8] = 0x80; },
         {{kLoops, "ШС4 · Тип [7-8]", "Охранный", "Дымовой пожарный"},
          {kLoops, "ШС4 · Номер пары (пожарный)  [1-3]", "—", "1"},
          {kLoops, "ШС4 · Время реакции [7]", "60 мс", "—"}}},
        {"a relay",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[5] ^= 0x80; },
         {{kLoops, "ШС2 · Реле СО  [16]", "+", "—"}}},
        {"a pair number",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[2] = 0x82; },
         {{kLoops, "ШС1 · Номер пары (пожарный)  [1-3]", "6", "3"}}},
        {"a reaction time",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[6] ^= 0x40; },
         {{kLoops, "ШС3 · Время реакции [7]", "600 мс", "60 мс"}}},
        {"a fire loop's bit without a row",
         [](CollectedConfig& c, Compare::Scope&) { c.parameters[2] |= 0x20; },
         {{kLoops, "ШС1 · байты свойств", "85 50", "A5 50"}}},
        {"a description",
         [](CollectedConfig& c, Compare::Scope&) { c.loopDescriptions[2] = QStringLiteral("Кладовая"); },
         {{kLoops, "ШС3 · Описание", "Чёрный ход", "Кладовая"}}},
        {"a description missing",
         [](CollectedConfig& c, Compare::Scope&) { c.loopDescriptions[0].clear(); },
         {{kLoops, "ШС1 · Описание", "Кухня", "—"}}},
        {"a description that could not be read",
         [](CollectedConfig&, Compare::Scope& s) { s.unreadDescriptions = 0x10; },
         {{kLoops, "ШС5 · Описание", "—", "не прочитано"}}},
        {"a global number",
         [](CollectedConfig& c, Compare::Scope&) { c.globalPartitions[1].globalNumber = 7; },
         {{kPartitions, "Раздел 2 · Глобальный номер", "60", "7"}}},
        {"a partition's loop",
         [](CollectedConfig& c, Compare::Scope&) { c.globalPartitions[1].loopMask ^= 0x08; },
         {{kPartitions, "Раздел 2 · ШС4", "—", "+"}}},
        {"a partition's code",
         [](CollectedConfig& c, Compare::Scope&) { c.globalPartitions[1].code = 0xBEEF; },
         {{kPartitions, "Раздел 2 · Код доступа", kCodeDiffers, kCodeDiffers}}},
        {"a user's loop",
         [](CollectedConfig& c, Compare::Scope&) { c.users[5].loopMask ^= 0x02; },
         {{kUsers, "Пользователь 5 · ШС2", "+", "—"}}},
        {"a user's code",
         [](CollectedConfig& c, Compare::Scope&) { c.users[5].code = 0xBEEF; },
         {{kUsers, "Пользователь 5 · Код", kCodeDiffers, kCodeDiffers}}},
        {"codes not known",
         [](CollectedConfig& c, Compare::Scope& s) {
             s.codes = false;
             c.users[5].code = 0xBEEF;
             c.globalPartitions[1].code = 0xBEEF;
         },
         {}},
        {"partitions page hidden",
         [](CollectedConfig& c, Compare::Scope& s) {
             s.partitions = false;
             c.globalPartitions[0] = {};
         },
         {}},
        {"no description row",
         [](CollectedConfig& c, Compare::Scope& s) {
             s.descriptions = false;
             s.unreadDescriptions = 0xFF;
             c.loopDescriptions[0].clear();
         },
         {}},
        {"pages in the window's order",
         [](CollectedConfig& c, Compare::Scope&) {
             c.users[0].loopMask ^= 0x80;
             c.globalPartitions[7].loopMask ^= 0x01;
             c.loopDescriptions[7].clear();
             c.parameters[16] ^= 0x02;
             c.parameters[1] ^= 0x01;
         },
         {{kGeneral, "Равные права пользователей  с равными списками [9]", "нет", "да"},
          {kLoops, "ШС8 · ШС без задержки [2]", "+", "—"},
          {kLoops, "ШС8 · Описание", "Z", "—"},
          {kPartitions, "Раздел 8 · ШС1", "—", "+"},
          {kUsers, "Пользователь 0 · ШС8", "—", "+"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CollectedConfig other = kWindow;
        Compare::Scope scope;
        c.change(other, scope);
        const Rows rows = Compare::differences(kWindow, other, scope);
        EXPECT_EQ(rows, c.expected);
        // Not a code of either side, not even in the copied text.
        const QString text = Compare::rowsText(rows);
        for (const CollectedConfig* side : {&kWindow, static_cast<const CollectedConfig*>(&other)}) {
            for (const UserEntry& user : side->users)
                EXPECT_FALSE(text.contains(formatCode(user.code))) << formatCode(user.code).toStdString();
            for (const PartitionEntry& partition : side->globalPartitions)
                EXPECT_FALSE(text.contains(formatCode(partition.code)));
        }
    }
}

// No bit of the parameter block can differ unseen: each one lands on its page, under its loop.
TEST(ConfigDiff, EveryParameterBitIsListed) {
    for (int byte = 0; byte < kParameterCount; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            CollectedConfig other = kWindow;
            other.parameters[byte] ^= uint8_t(1u << bit);
            const Rows rows = Compare::differences(kWindow, other, {});
            ASSERT_FALSE(rows.empty()) << "byte " << byte + 1 << " bit " << bit;
            const QString page = byte < 2 ? kGeneral : kLoops;
            const QString column = byte < 2 ? QString() : QStringLiteral("ШС%1 · ").arg(byte / 2);
            for (const Difference& row : rows) {
                EXPECT_EQ(row.page, page) << "byte " << byte + 1 << " bit " << bit;
                EXPECT_TRUE(row.item.startsWith(column)) << row.item.toStdString();
            }
        }
    }
}

TEST(ConfigDiff, CopiedRowsAreTabSeparatedLines) {
    const Rows rows{{kLoops, "ШС3 · Описание", "Окно\tзала", "—"},
                    {kUsers, "Пользователь 5 · Код", "a", "b\r\nc"}};
    EXPECT_EQ(Compare::rowsText(rows), QStringLiteral("Свойства ШС\tШС3 · Описание\tОкно зала\t—\n"
                                                      "Пользователи\tПользователь 5 · Код\ta\tb  c\n"));
    EXPECT_EQ(Compare::scopeNote({}), QString());
}

} // namespace
