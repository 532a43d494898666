// Programming an expander: global partitions, users and the parameter block written and confirmed
// by read-back, then the loop descriptions written into the control unit.

#include "device/ExpanderSession.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/GridCells.h"
#include "base/Text1251.h"
#include "config/ConfigView.h"
#include "config/Descriptions.h"
#include "config/LoopLayout.h"
#include "device/ExpanderFrames.h"
#include "link/Access.h"
#include "link/Link.h"

#include <QComboBox>
#include <QProgressBar>
#include <QTableWidget>

namespace {

constexpr uint8_t kProgrammingProgressStep = 1;
constexpr int kProgrammingMaximum = 200;
constexpr int kIdleMaximum = 120;
constexpr int kAfterPartitions = kProgrammingMaximum * 10 / 100;
constexpr int kAfterUsers = kProgrammingMaximum * 88 / 100;
constexpr int kAfterParameters = kProgrammingMaximum * 95 / 100;
constexpr int kWriteAttempts = 3;
constexpr unsigned kPartitionsReadBackPauseMs = 300;
constexpr unsigned kUsersReadBackPauseMs = 500;
constexpr unsigned kParametersWritePauseMs = 300;
constexpr unsigned kParametersReadBackPauseMs = 200;
constexpr unsigned kDescriptorWritePauseMs = 300;
constexpr uint8_t kDescriptorWritten = 1;

// Further write attempts are pointless once the program terminates or the line has gone (the
// device disappeared and the port was closed): the read-back then confirms nothing.
bool lineUsable() {
    return !Clock::terminating() && Link::portOpen();
}

} // namespace

void ExpanderSession::programExpander() {
    if (!mayStart()) return;
    BusyScope busy(busy_);
    programWithRepeats(
        [this] {
            return Order{config_, CollectConfig(controls_.config), config_.loadedFromFile, 0};
        },
        true);
}

bool ExpanderSession::programExpander(Order& order) {
    if (!mayStart()) return false;
    BusyScope busy(busy_);
    return programWithRepeats([&order] { return order; }, false);
}

bool ExpanderSession::programWithRepeats(const std::function<Order()>& collect, bool showReferenceOnNo) {
    // "Yes" to the repeat question starts the next run here, so any number of repeats is safe.
    for (;;) {
        RunFlags flags;
        if (runProgramming(collect, flags) == RunEnd::Done) return flags.succeeded;
        const QString error = flags.parametersFailed ? QStringLiteral("Ошибка записи параметров")
                              : flags.usersFailed ? QStringLiteral("Ошибка записи пользователей")
                                                  : QStringLiteral("Ошибка записи разделов");
        if (!dialogs().question(QStringLiteral("Ошибка"), error + QStringLiteral("\r\n   Повторить запись?"),
                                MessageIcon::Warning, false)) {
            // The window shows again what the expander is known to hold.
            if (showReferenceOnNo) ShowConfig(config_, controls_.config, false);
            return false;
        }
    }
}

void ExpanderSession::endRunDisplay() {
    controls_.progress->setValue(0);
    controls_.progress->setMaximum(kIdleMaximum);
    controls_.progress->hide();
    setListsEnabled(true);
}

ExpanderSession::RunEnd ExpanderSession::runProgramming(const std::function<Order()>& collect,
                                                        RunFlags& flags) {
    progressStep_ = kProgrammingProgressStep;
    if (!Access::CheckAccess(controls_)) return RunEnd::Done;

    setListsEnabled(false);
    controls_.progress->setMaximum(kProgrammingMaximum);
    controls_.progress->setValue(0);
    controls_.progress->show();

    try {
        // A pair number that is not an integer throws here, before anything is written.
        Order order = collect();
        const uint8_t address = order.reference.address;

        bool partitionSent = false;
        if (!Access::localLineMode()) writePartitions(order, partitionSent);
        readBackPartitions(order, partitionSent, flags);
        if (Clock::terminating()) return RunEnd::Done;
        controls_.progress->setValue(kAfterPartitions);

        writeUsers(order);
        // Ending at once when the program terminates during the read-back pause leaves the lists
        // disabled; nothing is left to use them.
        if (!readBackUsers(order, flags) || Clock::terminating()) return RunEnd::Done;
        controls_.progress->setValue(kAfterUsers);

        writeParameters(order, flags);
        if (Clock::terminating()) return RunEnd::Done;
        controls_.progress->setValue(kAfterParameters);

        // Only an expander address has descriptor slots (the address is 65 after a port selection
        // whose read did not get past the access step).
        if (hasDescriptionRow(controls_.config.loopGrid) && address <= kHighestAddress) writeDescriptions(order);
        if (Clock::terminating()) return RunEnd::Done;
        if (!flags.any()) order.reference.loadedFromFile = false;
    } catch (const ConversionError& error) {
        endRunDisplay();
        showConversionError(error);
        return RunEnd::Done;
    }

    endRunDisplay();
    if (flags.any()) return RunEnd::Failed;
    flags.succeeded = true;
    showPlainMessage(QStringLiteral("Программирование расширителя успешно завершено"));
    return RunEnd::Done;
}

void ExpanderSession::writePartitions(const Order& order, bool& anySent) {
    const uint8_t address = order.reference.address;
    for (int p = 1; p <= kPartitionCount; ++p) {
        const PartitionEntry& entry = order.wanted.globalPartitions[p - 1];
        if (entry == order.reference.globalPartitions[p - 1] && !order.everything) continue;
        anySent = true;
        for (int attempt = 0; attempt < kWriteAttempts && lineUsable(); ++attempt) {
            Link::SendFrame(partitionWritePayload(address, p, entry));
            if (Link::FetchReply(ExpanderCommand::WritePartition) && Link::R(3) == entry.globalNumber &&
                Link::R(4) == entry.loopMask)
                break;
        }
    }
}

void ExpanderSession::readBackPartitions(Order& order, bool anySent, RunFlags& flags) {
    ExpanderConfig& reference = order.reference;
    if (Access::localLineMode()) {
        // Over the local line the expander has no global partitions.
        reference.globalPartitions.fill(PartitionEntry{0, 0, 0});
        return;
    }
    Link::SendRequest(Command::Relay, lineAddress(reference.address), ExpanderCommand::ReadPartitions, 0, 0);
    Link::WaitMs(kPartitionsReadBackPauseMs);
    if (Clock::terminating()) return;
    if (!Link::FetchReply(ExpanderCommand::ReadPartitions)) {
        // Nothing is confirmed; a run that sent a partition must not end as a success.
        if (anySent) flags.partitionsFailed = true;
        return;
    }
    for (int p = 1; p <= kPartitionCount; ++p) {
        const PartitionEntry& entry = order.wanted.globalPartitions[p - 1];
        if (Link::R(1 + 2 * p) == entry.globalNumber && Link::R(2 + 2 * p) == entry.loopMask)
            reference.globalPartitions[p - 1] = entry;
        else
            flags.partitionsFailed = true;
    }
}

void ExpanderSession::writeUsers(const Order& order) {
    const uint8_t address = order.reference.address;
    QProgressBar* progress = controls_.progress;
    for (int u = 0; u < kUserCount; ++u) {
        const UserEntry& entry = order.wanted.users[u];
        // User 0 counts as changed by its cell's code, but always goes out with its fixed code.
        if (entry == order.reference.users[u] && !order.everything) continue;
        const uint16_t code = u == 0 ? kUserZeroCode : entry.code;
        for (int attempt = 0; attempt < kWriteAttempts && lineUsable(); ++attempt) {
            Link::SendFrame(userWritePayload(address, u, entry.loopMask, code));
            if (Link::FetchReply(ExpanderCommand::WriteUser) && Link::R(3) == u &&
                Link::R(4) == entry.loopMask)
                break;
            progress->setValue(progress->value() - 1);
        }
    }
}

bool ExpanderSession::readBackUsers(Order& order, RunFlags& flags) {
    const auto& collected = order.wanted.users;
    ExpanderConfig& reference = order.reference;
    const auto takeOver = [&reference, &collected](int u) {
        reference.users[u].loopMask = collected[u].loopMask;
        reference.users[u].code = u == 0 ? kUserZeroCode : collected[u].code;
    };
    if (Access::localLineMode()) {
        for (int u = 0; u < kUserCount; ++u)
            takeOver(u);
        return true;
    }
    Link::SendRequest(Command::Relay, lineAddress(reference.address), ExpanderCommand::ReadUsers, 0, 0);
    Link::WaitMs(kUsersReadBackPauseMs);
    if (Clock::terminating()) return false;
    // A read-back that cannot be fetched confirms nothing: the frame buffer holds no user masks.
    const bool fetched = Link::FetchReply(ExpanderCommand::ReadUsers);
    for (int u = 0; u < kUserCount; ++u) {
        if (fetched && Link::R(3 + u) == collected[u].loopMask)
            takeOver(u);
        else
            flags.usersFailed = true;
    }
    return true;
}

void ExpanderSession::writeParameters(Order& order, RunFlags& flags) {
    ExpanderConfig& reference = order.reference;
    const ParameterBlock& collected = order.wanted.parameters;
    if (collected == reference.parameters && !order.everything) return;
    Link::SendFrame(parameterWritePayload(reference.address, collected));
    Link::WaitMs(kParametersWritePauseMs);
    if (Clock::terminating()) return;
    if (Access::localLineMode()) {
        // Over the local line the answer is fetched but not compared.
        Link::FetchReply(ExpanderCommand::WriteParameters);
    } else {
        Link::SendRequest(Command::Relay, lineAddress(reference.address), ExpanderCommand::ReadParameters, 0,
                          0);
        Link::WaitMs(kParametersReadBackPauseMs);
        if (Clock::terminating()) return;
        // A read-back that cannot be fetched confirms nothing.
        const bool fetched = Link::FetchReply(ExpanderCommand::ReadParameters);
        for (int i = 1; i <= kParameterCount; ++i)
            if (!fetched || Link::R(2 + i) != collected[i - 1]) flags.parametersFailed = true;
    }
    if (!flags.parametersFailed) reference.parameters = collected;
}

void ExpanderSession::writeDescriptions(Order& order) {
    const uint8_t address = order.reference.address;
    for (int loop = 1; loop <= kLoopCount; ++loop) {
        // The whole text is compared and kept, also one longer than the control unit keeps
        // (possible only from a file): the window and the file keep what the user has, and the
        // next run finds nothing changed. Only the frame is cut to the unit's 21 characters.
        const QString& text = order.wanted.loopDescriptions[loop - 1];
        const bool unknown = order.unknownDescriptions & (1u << (loop - 1));
        if (text == order.reference.loopDescriptions[loop - 1] && !order.everything && !unknown) continue;
        order.reference.loopDescriptions[loop - 1] = text;

        uint8_t code = kNoDescription;
        QByteArray bytes;
        if (const std::optional<uint8_t> fixed = DescriptionCodeOf(text)) {
            code = *fixed;
        } else {
            const std::optional<int> free = FindFreeDescriptor(descriptorTable_);
            if (!free) {
                report(QStringLiteral("Нет свободных дескрипторов"));
                return;
            }
            code = static_cast<uint8_t>(*free);
            bytes = toCp1251(descriptionToWrite(text));
        }

        const int slot = descriptorSlot(address, loop);
        descriptorTable_[slot] = code;
        Link::SendFrame(descriptorWritePayload(code, slot, bytes));
        Link::WaitMs(kDescriptorWritePauseMs);
        if (Clock::terminating()) return;
        // Only the unit's answer to this write counts: a late answer to an earlier request that
        // waits on the line is dropped. Without any answer the message names the byte the frame
        // buffer holds third, the write's own command.
        const bool answered = Link::ReceiveWriteAnswer();
        if (!answered || Link::R(1) != kDescriptorWritten) {
            const uint8_t status = Link::storedReplyBytes() >= 2 ? Link::R(1) : Link::R(2);
            report(QStringLiteral("Ошибка записи дескрипторов") + QString::number(status));
            // A line that has gone would bring the same message for every loop that follows.
            if (!Link::portOpen()) return;
        }
    }
}
