#pragma once
#include "config/ExpanderConfig.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

struct ConfigControls;

// The configuration file (".okf"): nine lines in code page 1251, each ended by CR LF. Line 1 holds
// the configuration as 290 hexadecimal digits, every code XOR a mask M stored in the same line;
// lines 2..9 hold the descriptions of loops 1..8.

constexpr int kConfigLineLength = 290;
// Files larger than this are refused as unreadable; real files are a few hundred bytes.
constexpr qint64 kMaxConfigFileSize = 64 * 1024 * 1024;

// Line 1 in upper-case hexadecimal digits, users 1..30 in the body and user 0 after M.
QByteArray encodeConfigLine(const CollectedConfig& config, uint16_t mask);
// The whole file: line 1 and the eight descriptions in code page 1251, each followed by CR LF.
// Line breaks inside a description cannot be stored and are written as spaces.
QByteArray encodeConfigFile(const CollectedConfig& config, uint16_t mask);

// Line 1 into parameters, users and partitions (descriptions untouched). Every field is read as
// hexadecimal; a field that is missing or does not read takes its default: 0 for bytes, masks,
// numbers and M, and M for a code field, so that such a code becomes 0.
void decodeConfigLine(const QString& line, CollectedConfig& config);
// The whole file as bytes: lines end with CR LF or LF alone; missing lines read as empty. Never
// fails: this is the one reader of file contents (also the entry point for fuzzing).
CollectedConfig decodeConfigFile(const QByteArray& bytes);

// True when line 1 can be a configuration's: not empty, not longer than kConfigLineLength, and only
// hexadecimal digits before its line end. Shorter lines are configurations whose missing fields
// take their defaults.
bool isConfigFile(const QByteArray& bytes);

// Everything the file holds replaces the record's fields; address, flags and the unused 32nd code
// stay.
void applyConfigFile(ExpanderConfig& config, const CollectedConfig& file);

// The file actually used for a chosen name: its extension replaced by ".okf", or added when the
// name has none.
QString configFileName(const QString& chosen);
// The filter of the open and save dialogs.
QString configFileFilter();

// Reads the file (at most kMaxConfigFileSize bytes); false when it cannot be opened or read.
bool readConfigFileBytes(const QString& path, QByteArray& bytes);
// Replaces the file as a whole (writeWholeFile): a failed save leaves the old contents.
bool writeConfigFileBytes(const QString& path, const QByteArray& bytes);

// A configuration read from the file the user chose.
struct ChosenConfigFile {
    QString path; // the file actually read: the chosen name with ".okf"
    CollectedConfig config;
};
// Reads the configuration file chosen (in the open dialog, or named on the command line). No choice or
// a name that does not exist gives nothing; a file that cannot be read shows "Ошибка чтения" nine
// times (line 1 and each description line), and one that is not a configuration says so; both give
// nothing.
std::optional<ChosenConfigFile> readChosenConfigFile(const QString& chosen);
// Asks for a configuration file and reads it (readChosenConfigFile).
std::optional<ChosenConfigFile> chooseConfigFile();

// Reads the configuration file chosen into the record, shows the record in the controls and marks it
// as loaded from a file. A file that readChosenConfigFile does not deliver changes nothing. Returns
// the path of the file read, empty when none was.
QString OpenConfigFile(ExpanderConfig& config, const ConfigControls& controls, const QString& chosen);
// Menu "Открыть": asks for a file and opens it as OpenConfigFile does.
QString UnpackData(ExpanderConfig& config, const ConfigControls& controls);
// Collects the controls (a pair number that is not an integer is shown, and nothing is written),
// asks chooseFile for the file to write (empty: nothing is written), and replaces that file with what
// encode makes of the collected configuration; a failed write shows "Ошибка записи".
void saveCollected(const ConfigControls& controls, const std::function<QString()>& chooseFile,
                   const std::function<QByteArray(const CollectedConfig&)>& encode);
// Menu "Сохранить": collects the controls, asks for a file name and writes the file. The record
// does not change.
void PackData(const ConfigControls& controls);
// The same dialog and file for a configuration that is not the window's.
void SaveConfigAs(const CollectedConfig& config);
// The file's bytes as "Сохранить" makes them: with a fresh mask for its codes.
QByteArray encodeConfigFileToSave(const CollectedConfig& config);
