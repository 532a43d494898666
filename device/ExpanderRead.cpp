// Reading an expander: parameters, loop descriptions, users (and their codes over the local line)
// and global partitions, each item with its own failure message.

#include "device/ExpanderSession.h"

#include "base/Clock.h"
#include "base/GridCells.h"
#include "config/Codes.h"
#include "config/ConfigView.h"
#include "config/Descriptions.h"
#include "config/LoopLayout.h"
#include "device/ExpanderFrames.h"
#include "link/Access.h"
#include "link/Link.h"

#include <QComboBox>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>

namespace {

constexpr uint8_t kAccessProgressStep = 8;
constexpr uint8_t kReadProgressStep = 1;
constexpr unsigned kParametersPauseMs = 200;
constexpr unsigned kUsersPauseMs = 500;
constexpr unsigned kLocalLineUsersExtraMs = 1000;
constexpr unsigned kCodePagePauseMs = 500;
constexpr unsigned kPartitionsPauseMs = 300;
constexpr int kCodePages = 4;
constexpr int kCodesPerPage = 8;
constexpr uint8_t kCodePageLength = 22;

uint8_t relayAddress(int address) {
    return lineAddress(static_cast<uint8_t>(address));
}

} // namespace

void ExpanderSession::readExpander() {
    if (!mayStart()) return;
    BusyScope busy(busy_);
    runRead();
}

void ExpanderSession::runRead() {
    progressStep_ = kAccessProgressStep;
    if (controls_.window && controls_.window->isVisible()) controls_.pages->setFocus();

    QComboBox* expanders = controls_.expanders;
    if (expanders->currentIndex() < 0) return;
    const std::optional<int> chosen = expanderAddressOf(expanders->currentText());
    if (!chosen) return;
    const int address = *chosen;

    setListsEnabled(false);
    if (!Access::CheckAccess(controls_)) {
        expanders->setCurrentIndex(rememberedIndex_);
        setListsEnabled(true);
        return;
    }

    progressStep_ = kReadProgressStep;
    controls_.progress->show();
    config_.address = static_cast<uint8_t>(address);
    rememberedIndex_ = expanders->currentIndex();

    if (!readParameters(address)) return;
    if (hasDescriptionRow(controls_.config.loopGrid)) readDescriptions(address);
    if (!readUsers(address)) return;
    if (Access::localLineMode() && !readUserCodes(address)) return;
    if (!readPartitions(address)) return;

    controls_.progress->hide();
    config_.loadedFromFile = false;
    setListsEnabled(true);
    Clock::pumpEvents();
}

void ExpanderSession::stopRead(const QString& text, bool hideProgress) {
    // A program that terminates has its exchanges fail at once: the read ends without a message
    // and leaves the lists as they are.
    if (Clock::terminating()) return;
    setListsEnabled(true);
    if (hideProgress) controls_.progress->hide();
    report(text);
}

bool ExpanderSession::readParameters(int address) {
    if (!Link::SendRequest(Command::Relay, relayAddress(address), ExpanderCommand::ReadParameters, 0, 0)) {
        stopRead(QStringLiteral("Ошибка запроса параметров"));
        return false;
    }
    Link::WaitMs(kParametersPauseMs);
    if (Clock::terminating()) return false;
    if (!Link::FetchReply(ExpanderCommand::ReadParameters)) {
        stopRead(QStringLiteral("Ошибка чтения параметров"));
        return false;
    }
    for (int i = 0; i < kParameterCount; ++i)
        config_.parameters[i] = Link::R(3 + i);

    ShowGeneralProperties(config_, controls_.config);
    for (int loop = 1; loop <= kLoopCount; ++loop) {
        FillLoopColumn(config_, controls_.config, loop, LoopTypeOf(config_.parameters[2 * loop]));
        Clock::pumpEvents();
    }
    return true;
}

void ExpanderSession::readDescriptions(int address) {
    QTableWidget* grid = controls_.config.loopGrid;
    for (int loop = 1; loop <= kLoopCount; ++loop) {
        const uint8_t d = descriptorTable_[descriptorSlot(address, loop)];
        setCellText(grid, loop, kDescriptionRow, QString());
        if (d < kDescriptorNumbers) {
            if (!Link::SendRequest(Command::ReadDescriptor, d, 0, 0, 0)) continue;
            std::array<uint8_t, 3 + kDescriptorTextRead> reply{};
            for (size_t k = 0; k < reply.size(); ++k)
                reply[k] = Link::R(static_cast<int>(k));
            const QString text = descriptorTextOfReply(reply.data());
            setCellText(grid, loop, kDescriptionRow, text);
            config_.loopDescriptions[loop - 1] = cellText(grid, loop, kDescriptionRow);
        } else if (isStandardDescription(d)) {
            setCellText(grid, loop, kDescriptionRow, DescriptionTextOf(d));
        }
    }
}

bool ExpanderSession::readUsers(int address) {
    if (!Link::SendRequest(Command::Relay, relayAddress(address), ExpanderCommand::ReadUsers, 0, 0)) {
        stopRead(QStringLiteral("Ошибка запроса локальных разделов"));
        return false;
    }
    Link::WaitMs(kUsersPauseMs);
    if (Access::localLineMode()) Link::WaitMs(kLocalLineUsersExtraMs);
    if (Clock::terminating()) return false;
    if (!Link::FetchReply(ExpanderCommand::ReadUsers)) {
        // The progress bar is left running here; the timer hides it once it is full.
        stopRead(QStringLiteral("Ошибка чтения локальных разделов"), false);
        return false;
    }
    QTableWidget* grid = controls_.config.usersGrid;
    for (int u = 0; u < kUserCount; ++u) {
        UserEntry& user = config_.users[u];
        user.loopMask = Link::R(3 + u);
        user.code = defaultUserCode(u);
        setCellText(grid, u + 1, kUserCodeRow, formatCode(user.code));
        for (int loop = 1; loop <= kLoopCount; ++loop)
            setCellText(grid, u + 1, loop, flagText(user.loopMask & (1u << (loop - 1))));
    }
    config_.codesRead = false;
    return true;
}

void ExpanderSession::showUserCodes() {
    for (int u = 0; u < kUserCount; ++u)
        setCellText(controls_.config.usersGrid, u + 1, kUserCodeRow, formatCode(config_.users[u].code));
}

bool ExpanderSession::readUserCodes(int address) {
    for (int page = 1; page <= kCodePages; ++page) {
        // Codes of the pages already read are in the record; the code row shows them on every way
        // out, so that the screen never holds other codes than the record.
        if (!Link::SendRequest(Command::Relay, relayAddress(address), ExpanderCommand::ReadUsers,
                               static_cast<uint8_t>(page), 0)) {
            showUserCodes();
            stopRead(QStringLiteral("Ошибка запроса кодов локальных разделов"));
            return false;
        }
        Link::WaitMs(kCodePagePauseMs);
        if (Clock::terminating()) return false;
        if (!Link::FetchReply(ExpanderCommand::ReadUsers)) {
            showUserCodes();
            stopRead(QStringLiteral("Ошибка чтения кодов локальных разделов"));
            return false;
        }
        if (Link::R(0) != kCodePageLength) break;
        for (int j = 0; j < kCodesPerPage; ++j) {
            const uint16_t code = static_cast<uint16_t>(Link::R(3 + 2 * j) * 256 + Link::R(4 + 2 * j));
            const int user = (page - 1) * kCodesPerPage + j;
            if (user < kUserCount)
                config_.users[user].code = code;
            else
                config_.extraCode = code;
        }
        config_.codesRead = true;
    }
    showUserCodes();
    return true;
}

bool ExpanderSession::readPartitions(int address) {
    const bool localLine = Access::localLineMode();
    if (!localLine &&
        !Link::SendRequest(Command::Relay, relayAddress(address), ExpanderCommand::ReadPartitions, 0, 0)) {
        stopRead(QStringLiteral("Ошибка запроса глобальных разделов"));
        return false;
    }
    Link::WaitMs(kPartitionsPauseMs);
    if (Clock::terminating()) return false;
    if (localLine) return true;
    if (!Link::FetchReply(ExpanderCommand::ReadPartitions)) {
        // Reported, but the read still ends as after success.
        report(QStringLiteral("Ошибка чтения глобальных разделов"));
        return true;
    }
    QTableWidget* grid = controls_.config.partitionsGrid;
    for (int p = 1; p <= kPartitionCount; ++p) {
        PartitionEntry& partition = config_.globalPartitions[p - 1];
        partition.globalNumber = Link::R(1 + 2 * p);
        partition.loopMask = Link::R(2 + 2 * p);
        partition.code = defaultPartitionCode(p);
        setCellText(grid, p, kGlobalNumberRow, QString::number(partition.globalNumber));
        for (int loop = 1; loop <= kLoopCount; ++loop)
            setCellText(grid, p, loop + 1, flagText(partition.loopMask & (1u << (loop - 1))));
        setCellText(grid, p, kPartitionCodeRow, formatCode(partition.code));
        Clock::pumpEvents();
    }
    return true;
}
