#include "site/ExpanderReads.h"

#include "base/Clock.h"
#include "device/ExpanderFrames.h"
#include "site/MessageTap.h"
#include "site/ProgressWindow.h"

#include <QComboBox>
#include <QStringList>
#include <algorithm>

namespace Site {

std::vector<int> listedExpanders(const MainControls& controls) {
    std::vector<int> addresses;
    for (int i = 0; i < controls.expanders->count(); ++i)
        if (const std::optional<int> address = expanderAddressOf(controls.expanders->itemText(i)))
            addresses.push_back(*address);
    std::sort(addresses.begin(), addresses.end());
    return addresses;
}

std::vector<int> readEach(const Host& host, const std::vector<int>& addresses, ProgressWindow& progress,
                          const std::function<void(const ExpanderRead&)>& done) {
    for (size_t i = 0; i < addresses.size(); ++i) {
        if (progress.cancelled() || Clock::terminating())
            return std::vector<int>(addresses.begin() + std::ptrdiff_t(i), addresses.end());
        progress.step(addresses[i], int(i) + 1);
        ExpanderRead read{addresses[i], std::nullopt, QString()};
        {
            MessageTap tap;
            read.side = Compare::readDeviceSide(*host.session, host.controls, addresses[i]);
            read.failure = tap.texts.join(QStringLiteral("; "));
        }
        if (!read.side && read.failure.isEmpty()) read.failure = QStringLiteral("расширитель не прочитан");
        done(read);
        progress.stepDone(int(i) + 1);
    }
    return {};
}

QString loopList(uint8_t loops) {
    QStringList numbers;
    for (int n = 1; n <= 8; ++n)
        if (loops & (1u << (n - 1))) numbers << QString::number(n);
    return QStringLiteral("ШС ") + numbers.join(QStringLiteral(", "));
}

} // namespace Site
