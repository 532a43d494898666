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
#include "device/ReadTarget.h"
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

// The main window's read: the record and the controls, item by item as the replies arrive.
class WindowTarget : public ReadTarget {
  public:
    WindowTarget(ExpanderConfig& config, const ConfigControls& controls)
        : config_(config), controls_(controls) {}

    void begin(uint8_t address) override { config_.address = address; }

    void parameters(const ParameterBlock& block) override {
        config_.parameters = block;
        ShowGeneralProperties(config_, controls_);
        for (int loop = 1; loop <= kLoopCount; ++loop) {
            FillLoopColumn(config_, controls_, loop, LoopTypeOf(config_.parameters[2 * loop]));
            Clock::pumpEvents();
        }
    }

    void description(int loop, const QString& text, Description kind) override {
        setCellText(controls_.loopGrid, loop, kDescriptionRow, text);
        // Only a free text goes into the record; a fixed name is shown by its code.
        if (kind == Description::Text)
            config_.loopDescriptions[loop - 1] = cellText(controls_.loopGrid, loop, kDescriptionRow);
    }

    void users(const std::array<UserEntry, kUserCount>& entries) override {
        for (int u = 0; u < kUserCount; ++u) {
            config_.users[u] = entries[u];
            setCellText(controls_.usersGrid, u + 1, kUserCodeRow, formatCode(entries[u].code));
            for (int loop = 1; loop <= kLoopCount; ++loop)
                setCellText(controls_.usersGrid, u + 1, loop,
                            flagText(entries[u].loopMask & (1u << (loop - 1))));
        }
        config_.codesRead = false;
    }

    void userCodes(int page, const CodePage& codes) override {
        // Shown page by page, so that the screen never holds other codes than the record, however the
        // code read ends.
        for (int j = 0; j < kCodesPerPage; ++j) {
            const int user = (page - 1) * kCodesPerPage + j;
            if (user >= kUserCount) {
                config_.extraCode = codes[j];
                continue;
            }
            config_.users[user].code = codes[j];
            setCellText(controls_.usersGrid, user + 1, kUserCodeRow, formatCode(codes[j]));
        }
        config_.codesRead = true;
    }

    void partitions(const std::array<PartitionEntry, kPartitionCount>& entries) override {
        QTableWidget* grid = controls_.partitionsGrid;
        for (int p = 1; p <= kPartitionCount; ++p) {
            const PartitionEntry& partition = entries[p - 1];
            config_.globalPartitions[p - 1] = partition;
            setCellText(grid, p, kGlobalNumberRow, QString::number(partition.globalNumber));
            for (int loop = 1; loop <= kLoopCount; ++loop)
                setCellText(grid, p, loop + 1, flagText(partition.loopMask & (1u << (loop - 1))));
            setCellText(grid, p, kPartitionCodeRow, formatCode(partition.code));
            Clock::pumpEvents();
        }
    }

    void end() override { config_.loadedFromFile = false; }

  private:
    ExpanderConfig& config_;
    const ConfigControls& controls_;
};

} // namespace

void ExpanderSession::readExpander() {
    if (!mayStart()) return;
    BusyScope busy(busy_);
    runRead();
}

void ExpanderSession::readExpander(ReadTarget& target) {
    if (!mayStart()) return;
    BusyScope busy(busy_);
    runRead(target);
}

void ExpanderSession::readExpander(int address, ReadTarget& target) {
    if (!mayStart()) return;
    BusyScope busy(busy_);
    runRead(address, target, false);
}

void ExpanderSession::runRead() {
    WindowTarget target(config_, controls_.config);
    runRead(target);
}

void ExpanderSession::runRead(ReadTarget& target) {
    progressStep_ = kAccessProgressStep;
    if (controls_.window && controls_.window->isVisible()) controls_.pages->setFocus();

    QComboBox* expanders = controls_.expanders;
    if (expanders->currentIndex() < 0) return;
    const std::optional<int> chosen = expanderAddressOf(expanders->currentText());
    if (!chosen) return;
    runRead(*chosen, target, true);
}

void ExpanderSession::runRead(int address, ReadTarget& target, bool chosenInList) {
    progressStep_ = kAccessProgressStep;
    QComboBox* expanders = controls_.expanders;
    setListsEnabled(false);
    if (!Access::CheckAccess(controls_)) {
        if (chosenInList) expanders->setCurrentIndex(rememberedIndex_);
        setListsEnabled(true);
        return;
    }

    progressStep_ = kReadProgressStep;
    controls_.progress->show();
    target.begin(static_cast<uint8_t>(address));
    if (chosenInList) rememberedIndex_ = expanders->currentIndex();

    if (!readParameters(address, target)) return;
    if (hasDescriptionRow(controls_.config.loopGrid)) readDescriptions(address, target);
    if (!readUsers(address, target)) return;
    if (Access::localLineMode() && !readUserCodes(address, target)) return;
    if (!readPartitions(address, target)) return;

    controls_.progress->hide();
    target.end();
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

bool ExpanderSession::readParameters(int address, ReadTarget& target) {
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
    ParameterBlock block{};
    for (int i = 0; i < kParameterCount; ++i)
        block[i] = Link::R(3 + i);
    target.parameters(block);
    return true;
}

void ExpanderSession::readDescriptions(int address, ReadTarget& target) {
    for (int loop = 1; loop <= kLoopCount; ++loop) {
        const uint8_t d = descriptorTable_[descriptorSlot(address, loop)];
        if (d < kDescriptorNumbers) {
            if (!Link::SendRequest(Command::ReadDescriptor, d, 0, 0, 0)) {
                target.description(loop, QString(), ReadTarget::Description::Unread);
                continue;
            }
            std::array<uint8_t, 3 + kDescriptorTextRead> reply{};
            for (size_t k = 0; k < reply.size(); ++k)
                reply[k] = Link::R(static_cast<int>(k));
            target.description(loop, descriptorTextOfReply(reply.data()), ReadTarget::Description::Text);
        } else if (isStandardDescription(d)) {
            target.description(loop, DescriptionTextOf(d), ReadTarget::Description::Standard);
        } else {
            target.description(loop, QString(), ReadTarget::Description::None);
        }
    }
}

bool ExpanderSession::readUsers(int address, ReadTarget& target) {
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
    std::array<UserEntry, kUserCount> users;
    for (int u = 0; u < kUserCount; ++u)
        users[u] = {Link::R(3 + u), defaultUserCode(u)};
    target.users(users);
    return true;
}

bool ExpanderSession::readUserCodes(int address, ReadTarget& target) {
    for (int page = 1; page <= kCodePages; ++page) {
        if (!Link::SendRequest(Command::Relay, relayAddress(address), ExpanderCommand::ReadUsers,
                               static_cast<uint8_t>(page), 0)) {
            stopRead(QStringLiteral("Ошибка запроса кодов локальных разделов"));
            return false;
        }
        Link::WaitMs(kCodePagePauseMs);
        if (Clock::terminating()) return false;
        if (!Link::FetchReply(ExpanderCommand::ReadUsers)) {
            stopRead(QStringLiteral("Ошибка чтения кодов локальных разделов"));
            return false;
        }
        if (Link::R(0) != kCodePageLength) break;
        ReadTarget::CodePage codes{};
        for (int j = 0; j < kCodesPerPage; ++j)
            codes[j] = static_cast<uint16_t>(Link::R(3 + 2 * j) * 256 + Link::R(4 + 2 * j));
        target.userCodes(page, codes);
    }
    return true;
}

bool ExpanderSession::readPartitions(int address, ReadTarget& target) {
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
    std::array<PartitionEntry, kPartitionCount> partitions;
    for (int p = 1; p <= kPartitionCount; ++p)
        partitions[p - 1] = {Link::R(1 + 2 * p), Link::R(2 + 2 * p), defaultPartitionCode(p)};
    target.partitions(partitions);
    return true;
}
