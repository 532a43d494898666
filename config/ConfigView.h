#pragma once
#include "config/ExpanderConfig.h"
#include "config/MainControls.h"

#include <QString>
#include <stdexcept>

// Moving the configuration between the record and the main window's controls.

// The integer conversion error of collecting: "'%s' is not a valid integer value".
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& message);
    QString message() const { return message_; }

private:
    QString message_;
};
// Shows the error as the application's default error handler does.
void showConversionError(const ConversionError& error);

// Rows 1..19 of loop column n (1..8) of the loop grid from the stored bytes of loop n, laid out
// for the type code (0..3).
void FillLoopColumn(const ExpanderConfig& config, const ConfigControls& controls, int loop, int typeCode);
// The general property boxes and the exit delay from parameter bytes 1 and 2.
void ShowGeneralProperties(const ExpanderConfig& config, const ConfigControls& controls);
void ShowConfig(const ExpanderConfig& config, const ConfigControls& controls, bool withDescriptions);

// Collecting: each piece on its own (programming collects item by item as it goes) and the whole.
// Parameter collection throws ConversionError for a fire loop whose pair number is not an integer.
ParameterBlock CollectParameters(const ConfigControls& controls);
PartitionEntry CollectPartition(const ConfigControls& controls, int partition); // 1..8
UserEntry CollectUser(const ConfigControls& controls, int user);                // 0..30
QString CollectDescription(const ConfigControls& controls, int loop);           // 1..8, row 20
CollectedConfig CollectConfig(const ConfigControls& controls);
