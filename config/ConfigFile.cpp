#include "config/ConfigFile.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/IntegerText.h"
#include "base/Text1251.h"
#include "base/WholeFileWrite.h"
#include "config/ConfigView.h"
#include "config/MainControls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>

namespace {

// Positions (counted from 1) and widths of the fields of line 1.
constexpr int kParametersAt = 1;       // 18 × 2
constexpr int kUserMasksAt = 37;       // users 1..30, 30 × 2
constexpr int kUserCodesAt = 97;       // users 1..30, 30 × 4
constexpr int kPartitionMasksAt = 217; // 8 × 2
constexpr int kGlobalNumbersAt = 233;  // 8 × 2
constexpr int kPartitionCodesAt = 249; // 8 × 4
constexpr int kMaskAt = 281;           // 4
constexpr int kUserZeroMaskAt = 285;   // 2
constexpr int kUserZeroCodeAt = 287;   // 4

void appendHex(QByteArray& out, unsigned value, int width) {
    out += QByteArray::number(value, 16).toUpper().rightJustified(width, '0');
}

// One field of line 1: the hexadecimal number at its place, or the fallback when the text there
// (shorter or empty at the end of a short line) is not one.
uint32_t field(const QString& line, int position, int width, uint32_t fallback) {
    const std::optional<int32_t> value = parseHexText(line.mid(position - 1, width));
    return value ? static_cast<uint32_t>(*value) : fallback;
}

// Lines of a text file: ended by LF, a CR before the LF belongs to the line end; the last line may
// lack its end. Only the first `count` lines are split off.
QList<QByteArray> splitLines(const QByteArray& bytes, int count) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (lines.size() < count && start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        else if (end > start && bytes[end - 1] == '\r')
            --end;
        lines << bytes.mid(start, end - start);
        start = next;
    }
    return lines;
}

QString storableDescription(QString text) {
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

} // namespace

QByteArray encodeConfigLine(const CollectedConfig& config, uint16_t mask) {
    QByteArray line;
    line.reserve(kConfigLineLength);
    for (uint8_t byte : config.parameters)
        appendHex(line, byte, 2);
    for (int u = 1; u < kUserCount; ++u)
        appendHex(line, config.users[u].loopMask, 2);
    for (int u = 1; u < kUserCount; ++u)
        appendHex(line, config.users[u].code ^ mask, 4);
    for (const PartitionEntry& p : config.globalPartitions)
        appendHex(line, p.loopMask, 2);
    for (const PartitionEntry& p : config.globalPartitions)
        appendHex(line, p.globalNumber, 2);
    for (const PartitionEntry& p : config.globalPartitions)
        appendHex(line, p.code ^ mask, 4);
    appendHex(line, mask, 4);
    appendHex(line, config.users[0].loopMask, 2);
    appendHex(line, config.users[0].code ^ mask, 4);
    return line;
}

QByteArray encodeConfigFile(const CollectedConfig& config, uint16_t mask) {
    QByteArray bytes = encodeConfigLine(config, mask) + "\r\n";
    for (const QString& description : config.loopDescriptions)
        bytes += toCp1251(storableDescription(description)) + "\r\n";
    return bytes;
}

void decodeConfigLine(const QString& line, CollectedConfig& config) {
    const uint16_t mask = static_cast<uint16_t>(field(line, kMaskAt, 4, 0));
    auto byteAt = [&line](int position) { return static_cast<uint8_t>(field(line, position, 2, 0)); };
    auto codeAt = [&line, mask](int position) {
        return static_cast<uint16_t>(field(line, position, 4, mask) ^ mask);
    };
    for (int k = 0; k < kParameterCount; ++k)
        config.parameters[k] = byteAt(kParametersAt + 2 * k);
    for (int u = 1; u < kUserCount; ++u) {
        config.users[u].loopMask = byteAt(kUserMasksAt + 2 * (u - 1));
        config.users[u].code = codeAt(kUserCodesAt + 4 * (u - 1));
    }
    for (int p = 0; p < kPartitionCount; ++p) {
        config.globalPartitions[p].loopMask = byteAt(kPartitionMasksAt + 2 * p);
        config.globalPartitions[p].globalNumber = byteAt(kGlobalNumbersAt + 2 * p);
        config.globalPartitions[p].code = codeAt(kPartitionCodesAt + 4 * p);
    }
    config.users[0].loopMask = byteAt(kUserZeroMaskAt);
    config.users[0].code = codeAt(kUserZeroCodeAt);
}

CollectedConfig decodeConfigFile(const QByteArray& bytes) {
    const QList<QByteArray> lines = splitLines(bytes, 1 + kLoopCount);
    CollectedConfig config;
    decodeConfigLine(lines.isEmpty() ? QString() : fromCp1251(lines[0]), config);
    for (int n = 1; n <= kLoopCount; ++n)
        config.loopDescriptions[n - 1] = n < lines.size() ? fromCp1251(lines[n]) : QString();
    return config;
}

bool isConfigFile(const QByteArray& bytes) {
    const QList<QByteArray> lines = splitLines(bytes, 1);
    QByteArray line = lines.isEmpty() ? QByteArray() : lines[0];
    // A last line ended by CR alone: the CR is its line end. Spaces and tabs after the digits are
    // what an editor may leave there; the line is read by position, so they change nothing.
    if (line.endsWith('\r')) line.chop(1);
    while (line.endsWith(' ') || line.endsWith('\t'))
        line.chop(1);
    if (line.isEmpty() || line.size() > kConfigLineLength) return false;
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

void applyConfigFile(ExpanderConfig& config, const CollectedConfig& file) {
    config.parameters = file.parameters;
    config.loopDescriptions = file.loopDescriptions;
    config.users = file.users;
    config.globalPartitions = file.globalPartitions;
}

QString configFileName(const QString& chosen) {
    // The system's own separators too (Windows: a backslash; elsewhere it is part of a name).
    const qsizetype nameStart = QDir::fromNativeSeparators(chosen).lastIndexOf(u'/') + 1;
    const qsizetype dot = chosen.lastIndexOf(u'.');
    const QString stem = dot >= nameStart ? chosen.left(dot) : chosen;
    return stem + QStringLiteral(".okf");
}

QString configFileFilter() {
    return QStringLiteral("Файлы конфигурации расширителя (*.okf)|*.okf");
}

bool readConfigFileBytes(const QString& path, QByteArray& bytes) {
    // Only regular files: opening a pipe or a device could wait for ever or never end.
    if (!QFileInfo(path).isFile()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QByteArray data = file.read(kMaxConfigFileSize + 1);
    if (file.error() != QFileDevice::NoError || data.size() > kMaxConfigFileSize) return false;
    bytes = std::move(data);
    return true;
}

bool writeConfigFileBytes(const QString& path, const QByteArray& bytes) {
    return writeWholeFile(path, bytes);
}

std::optional<ChosenConfigFile> readChosenConfigFile(const QString& chosen) {
    if (chosen.isEmpty() || !QFileInfo::exists(chosen)) return std::nullopt;
    const QString name = configFileName(chosen);
    QByteArray bytes;
    if (!readConfigFileBytes(name, bytes)) {
        // Once for line 1 and once for each description line, none of which could be read.
        for (int line = 1; line <= 1 + kLoopCount; ++line)
            showBareMessage(QStringLiteral("Ошибка чтения"));
        return std::nullopt;
    }
    if (!isConfigFile(bytes)) {
        // Read as a configuration, any other file would become one of defaults and fragments,
        // ready to be programmed into the expander.
        showBareMessage(QStringLiteral("Файл не является файлом конфигурации расширителя"));
        return std::nullopt;
    }
    return ChosenConfigFile{name, decodeConfigFile(bytes)};
}

std::optional<ChosenConfigFile> chooseConfigFile() {
    return readChosenConfigFile(dialogs().openFileName(configFileFilter(), dialogStartFolder()));
}

namespace {

QString showConfigFile(ExpanderConfig& config, const ConfigControls& controls,
                       const std::optional<ChosenConfigFile>& file) {
    // Until a configuration has been read, the record, the controls (with the edits they hold) and
    // the loaded-from-file mark stay as they are.
    if (!file) return QString();
    applyConfigFile(config, file->config);
    ShowConfig(config, controls, true);
    config.loadedFromFile = true;
    return file->path;
}

} // namespace

QString OpenConfigFile(ExpanderConfig& config, const ConfigControls& controls, const QString& chosen) {
    return showConfigFile(config, controls, readChosenConfigFile(chosen));
}

QString UnpackData(ExpanderConfig& config, const ConfigControls& controls) {
    return showConfigFile(config, controls, chooseConfigFile());
}

void saveCollected(const ConfigControls& controls, const std::function<QString()>& chooseFile,
                   const std::function<QByteArray(const CollectedConfig&)>& encode) {
    CollectedConfig collected;
    try {
        collected = CollectConfig(controls);
    } catch (const ConversionError& error) {
        showConversionError(error);
        return;
    }
    const QString file = chooseFile();
    if (file.isEmpty()) return;
    if (!writeConfigFileBytes(file, encode(collected))) showBareMessage(QStringLiteral("Ошибка записи"));
}

namespace {

uint16_t freshMask() {
    return static_cast<uint16_t>(Clock::ticks() & 0xFFFF);
}

QString chooseFileToSave() {
    const QString chosen = dialogs().saveFileName(configFileFilter(), dialogStartFolder());
    return chosen.isEmpty() ? chosen : configFileName(chosen);
}

} // namespace

void PackData(const ConfigControls& controls) {
    const uint16_t mask = freshMask();
    saveCollected(controls, chooseFileToSave,
                  [mask](const CollectedConfig& collected) { return encodeConfigFile(collected, mask); });
}

QByteArray encodeConfigFileToSave(const CollectedConfig& config) {
    return encodeConfigFile(config, freshMask());
}

void SaveConfigAs(const CollectedConfig& config) {
    const uint16_t mask = freshMask();
    const QString file = chooseFileToSave();
    if (file.isEmpty()) return;
    if (!writeConfigFileBytes(file, encodeConfigFile(config, mask)))
        showBareMessage(QStringLiteral("Ошибка записи"));
}
