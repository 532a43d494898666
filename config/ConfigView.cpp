#include "config/ConfigView.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/GridCells.h"
#include "base/IntegerText.h"
#include "config/Codes.h"
#include "config/LoopLayout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTableWidget>

ConversionError::ConversionError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message) {}

void showConversionError(const ConversionError& error) {
    dialogs().message(applicationTitle(), error.message(), MessageIcon::Error);
}

namespace {

uint8_t firstLoopByte(const ParameterBlock& parameters, int loop) {
    return parameters[2 * loop];
}
uint8_t secondLoopByte(const ParameterBlock& parameters, int loop) {
    return parameters[2 * loop + 1];
}

// Loop masks in a grid column: bit k - 1 in row firstRow + k - 1, k = 1..8.
void showLoopMask(QTableWidget* grid, int column, int firstRow, uint8_t mask) {
    for (int k = 0; k < kLoopCount; ++k)
        setCellText(grid, column, firstRow + k, flagText((mask >> k) & 1));
}

uint8_t collectLoopMask(const QTableWidget* grid, int column, int firstRow) {
    uint8_t mask = 0;
    for (int k = 0; k < kLoopCount; ++k)
        if (isFlagText(cellText(grid, column, firstRow + k))) mask |= uint8_t(1u << k);
    return mask;
}

} // namespace

void FillLoopColumn(const ExpanderConfig& config, const ConfigControls& controls, int loop, int typeCode) {
    const LoopColumnTexts texts = loopColumnTexts(firstLoopByte(config.parameters, loop),
                                                  secondLoopByte(config.parameters, loop), typeCode);
    for (int row = 1; row <= kLastPropertyRow; ++row)
        setCellText(controls.loopGrid, loop, row, texts[row - 1]);
}

void ShowGeneralProperties(const ExpanderConfig& config, const ConfigControls& controls) {
    const GeneralProperties properties = generalPropertiesOf(config.parameters[0], config.parameters[1]);
    for (size_t i = 0; i < controls.checkBoxes.size(); ++i)
        controls.checkBoxes[i]->setChecked(properties.boxes[i]);
    controls.exitDelay->setCurrentIndex(properties.exitDelay);
}

void ShowConfig(const ExpanderConfig& config, const ConfigControls& controls, bool withDescriptions) {
    ShowGeneralProperties(config, controls);
    for (int n = 1; n <= kLoopCount; ++n) {
        FillLoopColumn(config, controls, n, LoopTypeOf(firstLoopByte(config.parameters, n)));
        Clock::pumpEvents();
    }
    if (withDescriptions)
        for (int n = 1; n <= kLoopCount; ++n)
            setCellText(controls.loopGrid, n, kDescriptionRow, config.loopDescriptions[n - 1]);
    for (int u = 0; u < kUserCount; ++u) {
        const UserEntry& user = config.users[u];
        showLoopMask(controls.usersGrid, u + 1, 1, user.loopMask);
        setCellText(controls.usersGrid, u + 1, kUserCodeRow, formatCode(user.code));
    }
    for (int p = 1; p <= kPartitionCount; ++p) {
        const PartitionEntry& partition = config.globalPartitions[p - 1];
        setCellText(controls.partitionsGrid, p, kGlobalNumberRow, QString::number(partition.globalNumber));
        setCellText(controls.partitionsGrid, p, kPartitionCodeRow, formatCode(partition.code));
        showLoopMask(controls.partitionsGrid, p, kGlobalNumberRow + 1, partition.loopMask);
    }
    Clock::pumpEvents();
}

ParameterBlock CollectParameters(const ConfigControls& controls) {
    ParameterBlock parameters{};
    GeneralProperties general;
    for (size_t i = 0; i < controls.checkBoxes.size(); ++i)
        general.boxes[i] = controls.checkBoxes[i]->isChecked();
    general.exitDelay = controls.exitDelay->currentIndex();
    const std::array<uint8_t, 2> generalBytes = generalBytesOf(general);
    parameters[0] = generalBytes[0];
    parameters[1] = generalBytes[1];
    for (int n = 1; n <= kLoopCount; ++n) {
        LoopColumnTexts texts;
        for (int row = 1; row <= kLastPropertyRow; ++row)
            texts[row - 1] = cellText(controls.loopGrid, n, row);
        const LoopBytes bytes = loopBytesOf(texts);
        parameters[2 * n] = bytes.first;
        parameters[2 * n + 1] = bytes.second;
    }
    return parameters;
}

PartitionEntry CollectPartition(const ConfigControls& controls, int partition) {
    PartitionEntry entry;
    entry.loopMask = collectLoopMask(controls.partitionsGrid, partition, kGlobalNumberRow + 1);
    entry.code = ParseCode(cellText(controls.partitionsGrid, partition, kPartitionCodeRow));
    entry.globalNumber = static_cast<uint8_t>(
        integerOr(cellText(controls.partitionsGrid, partition, kGlobalNumberRow), 0) & 0xFF);
    return entry;
}

UserEntry CollectUser(const ConfigControls& controls, int user) {
    UserEntry entry;
    entry.loopMask = collectLoopMask(controls.usersGrid, user + 1, 1);
    entry.code = ParseCode(cellText(controls.usersGrid, user + 1, kUserCodeRow));
    return entry;
}

QString CollectDescription(const ConfigControls& controls, int loop) {
    return cellText(controls.loopGrid, loop, kDescriptionRow);
}

CollectedConfig CollectConfig(const ConfigControls& controls) {
    CollectedConfig collected;
    collected.parameters = CollectParameters(controls);
    for (int p = 1; p <= kPartitionCount; ++p)
        collected.globalPartitions[p - 1] = CollectPartition(controls, p);
    for (int u = 0; u < kUserCount; ++u)
        collected.users[u] = CollectUser(controls, u);
    for (int n = 1; n <= kLoopCount; ++n)
        collected.loopDescriptions[n - 1] = CollectDescription(controls, n);
    return collected;
}
