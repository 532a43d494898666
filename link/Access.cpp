#include "link/Access.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/IntegerText.h"
#include "config/MainControls.h"
#include "link/Link.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>

namespace Access {
namespace {

constexpr unsigned kBusyAccessPauseMs = 500;    // after status 9 to the access request
constexpr unsigned kLocalLineBusyPauseMs = 200; // after each local-line access request
constexpr int kBusyProgress = 5;
// A control unit that keeps answering 9 to the local-line access request would hold the program
// in the access step for ever; after this many repeats the identification probe decides.
constexpr int kLocalLineBusyLimit = 25;
constexpr uint8_t kProbeCommand = ExpanderCommand::ReadParameters;

bool localLineFlag = false;
bool status8 = false;

std::array<uint8_t, 4> bytesOf(uint32_t value) {
    return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

enum class Outcome { NoAnswer, Status };

void setProgress(const MainControls& c, int position) {
    if (c.progress) c.progress->setValue(position);
}

void showProgress(const MainControls& c, bool visible) {
    if (c.progress) c.progress->setVisible(visible);
}

bool sendCode(const std::array<uint8_t, 4>& code) {
    return Link::SendRequest(Command::Access, code[0], code[1], code[2], code[3]);
}

} // namespace

std::array<uint8_t, 4> codeBytes(const QString& text, bool defaultCodeChecked, bool localLine) {
    const uint32_t fallback = localLine ? kLocalLineDefaultCode : kDefaultAccessCode;
    if (defaultCodeChecked) return bytesOf(fallback); // sent as it stands, without the digit exchange
    // Each typed decimal digit is read as one hexadecimal nibble, so "12345678" becomes 0x12345678.
    const std::optional<int32_t> typed = parseHexText(text);
    std::array<uint8_t, 4> c = bytesOf(typed ? static_cast<uint32_t>(*typed) : fallback);
    if (text.size() <= 4) {
        c[0] = c[2];
        c[1] = c[3];
    }
    for (uint8_t& b : c)
        b = swapNibbles(b);
    return c;
}

bool CheckAccess(const MainControls& c) {
    setProgress(c, 0);
    showProgress(c, true);
    if (c.accessCode && c.accessCode->text().isEmpty() && c.defaultCode) c.defaultCode->setChecked(true);
    const bool defaultChecked = c.defaultCode && c.defaultCode->isChecked();
    const QString text = c.accessCode ? c.accessCode->text() : QString();

    Outcome outcome = Outcome::NoAnswer;
    uint8_t status = 0;
    {
        Link::ExchangeScope exchange;
        const std::array<uint8_t, 4> code = codeBytes(text, defaultChecked, localLineFlag);
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            if (sendCode(code)) {
                outcome = Outcome::Status;
                status = Link::R(1);
                if (status == 0 || status == 7 || status == 8) break;
                if (status == 9) {
                    if (Clock::terminating()) return false;
                    setProgress(c, kBusyProgress);
                    Link::WaitMs(kBusyAccessPauseMs);
                }
            } else {
                // The key-programming device answers with its signature: the caller hands the port
                // over, without a message.
                if (Link::holdsKeyDeviceSignature()) return false;
                outcome = Outcome::NoAnswer;
            }
            if (Clock::terminating()) return false;
            Clock::pumpEvents();
        }
    }

    if (outcome == Outcome::NoAnswer) {
        showProgress(c, false);
        Clock::pumpEvents();
        showPlainMessage(QStringLiteral("Нет ответа"));
        return false;
    }
    switch (status) {
    case 7:
        showProgress(c, false);
        showPlainMessage(QStringLiteral("Неверный код доступа"));
        return false;
    case 8:
        status8 = true;
        return true;
    case 0: {
        bool identified = false;
        {
            Link::ExchangeScope exchange;
            if (!localLineFlag && defaultChecked) {
                const std::array<uint8_t, 4> localCode = bytesOf(kLocalLineDefaultCode);
                for (int repeat = 0; repeat < kLocalLineBusyLimit; ++repeat) {
                    sendCode(localCode);
                    if (Clock::terminating()) return false;
                    setProgress(c, kBusyProgress);
                    Link::WaitMs(kLocalLineBusyPauseMs);
                    if (Link::R(1) != 9) break;
                }
            }
            if (Clock::terminating()) return false;
            identified = Link::FetchReply(kProbeCommand);
        }
        if (identified) {
            localLineFlag = true;
            if (c.pages && c.globalPartitionsPage) {
                const int index = c.pages->indexOf(c.globalPartitionsPage);
                if (index >= 0) c.pages->setTabVisible(index, false);
            }
            return true;
        }
        showProgress(c, false);
        showPlainMessage(QStringLiteral("Неверный код доступа"));
        return false;
    }
    default: // 1, or 9 to the last attempt: the progress bar runs out by itself
        return false;
    }
}

bool localLineMode() {
    return localLineFlag;
}
bool status8Flag() {
    return status8;
}

void resetFlags() {
    localLineFlag = false;
    status8 = false;
}

} // namespace Access
