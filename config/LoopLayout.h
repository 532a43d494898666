#pragma once
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

// The bit layouts of the parameter block as the main window shows them: the loop grid's rows, the
// general property boxes and the exit delay. Pure conversions between stored bytes and control
// values; the widgets are filled and read in ConfigView.

// Loop grid rows (StringGrid1, column n = loop n).
constexpr int kLoopTypeRow = 1;
constexpr int kPairNumberRow = 8;
constexpr int kReactionTimeRow = 16;
constexpr int kLastPropertyRow = 19;
constexpr int kDescriptionRow = 20;
// Global partitions grid (StringGrid2, column p = partition p): row 1 number, rows 2..9 loops 1..8.
constexpr int kGlobalNumberRow = 1;
constexpr int kPartitionCodeRow = 10;
// Users grid (StringGrid3, column u + 1 = user u): rows 1..8 loops 1..8.
constexpr int kUserCodeRow = 9;

// Loop type codes, also the order of the type list of the loop editor.
enum LoopType { SmokeFireLoop = 0, HeatFireLoop = 1, SecurityLoop = 2, AlarmLoop = 3 };

// Column 0 of the loop grid, rows 1..20 ([r - 1] = row r), from "Тип [7-8]" to "Описание".
const QStringList& loopRowCaptions();
// "Дымовой пожарный", "Тепловой пожарный", "Охранный", "Тревожный" in type-code order.
const QStringList& loopTypeNames();
// The eight items of ComboBox3, exit delay 0..7 (32 s steps).
const QStringList& exitDelayItems();
// Column 0 of the partitions grid, rows 1..10, and of the users grid, rows 1..9.
const QStringList& partitionRowCaptions();
const QStringList& userRowCaptions();
// Row 0 headers: "ШС"n of the loop grid, "Раздел"p of the partitions grid, the user number u.
QString loopColumnHeader(int loop);
QString partitionColumnHeader(int partition);
QString userColumnHeader(int user);
// A partition and a user named in a sentence or a list: "Раздел 2", "Пользователь 5".
QString partitionName(int partition);
QString userName(int user);

// The titles of the main window's four pages, in their order: "Общие свойства", "Свойства ШС",
// "Глобальные разделы", "Пользователи".
const QStringList& pageTitles();
// Caption of CheckBox1..CheckBox13 (box = 1..13); empty for any other number.
QString generalPropertyCaption(int box);
// Caption of the exit delay list (Label1).
QString exitDelayCaption();

// The reaction time texts of row 16.
QString slowReactionText(); // "600 мс"
QString fastReactionText(); // "60 мс"

// A flag cell: "+" when set, empty when clear; only exactly "+" reads as set.
inline QString flagText(bool set) {
    return set ? QStringLiteral("+") : QString();
}
inline bool isFlagText(const QString& text) {
    return text == u"+";
}

// The type code 0..3 of a stored first loop byte: bit 6 for a fire loop (bit 7 set), else 2 + bit 0.
int LoopTypeOf(uint8_t firstByte);

// Rows 1..19 of one loop column ([r - 1] = row r).
using LoopColumnTexts = std::array<QString, kLastPropertyRow>;

// What FillLoopColumn writes: the stored loop bytes laid out for the type code (0..3).
LoopColumnTexts loopColumnTexts(uint8_t firstByte, uint8_t secondByte, int typeCode);

struct LoopBytes {
    uint8_t first = 0;
    uint8_t second = 0;
    bool operator==(const LoopBytes&) const = default;
};
// What collecting computes from a column's texts. Any row-1 text other than the four type names is
// taken as "Тревожный". Throws ConversionError when a fire loop's pair number is not an integer.
LoopBytes loopBytesOf(const LoopColumnTexts& texts);

// The general property boxes CheckBox1..CheckBox13 ([i] = CheckBox(i + 1), true = ticked) and the
// exit delay index of ComboBox3. CheckBox3 and CheckBox12 are ticked when their bit is 0.
struct GeneralProperties {
    std::array<bool, 13> boxes{};
    int exitDelay = 0;
    bool operator==(const GeneralProperties&) const = default;
};
GeneralProperties generalPropertiesOf(uint8_t byte1, uint8_t byte2);
// Parameter bytes 1 and 2; the exit delay index is taken as (index × 32) mod 256.
std::array<uint8_t, 2> generalBytesOf(const GeneralProperties& properties);
