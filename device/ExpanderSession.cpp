#include "device/ExpanderSession.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/GridCells.h"
#include "device/ExpanderFrames.h"
#include "link/Access.h"
#include "link/Link.h"

#include <QComboBox>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>

namespace {

constexpr uint8_t kDiscoveryProgressStep = 3;
constexpr uint8_t kNoTableStatus = 6; // command 5: the control unit keeps no descriptor table
constexpr uint8_t kRefusedStatus = 7;

// Copies the 32 table bytes of a block reply (R[3] .. R[34]) into the table.
template <size_t N> void storeBlock(std::array<uint8_t, N>& table, int block) {
    for (int i = 0; i < kTableBlockSize; ++i)
        table[block * kTableBlockSize + i] = Link::R(3 + i);
}

} // namespace

ExpanderSession::ExpanderSession(const MainControls& controls, ExpanderConfig& config, uint8_t& progressStep)
    : controls_(controls), config_(config), progressStep_(progressStep) {}

bool ExpanderSession::mayStart() const {
    // Waits pump window events, so a click can arrive while a procedure (of this window or of the
    // key programmer) waits on the line; two procedures must never interleave their frames.
    return !busy_ && !Link::exchangeActive();
}

void ExpanderSession::setListsEnabled(bool enabled) {
    controls_.expanders->setEnabled(enabled);
    controls_.ports->setEnabled(enabled);
}

void ExpanderSession::report(const QString& text) {
    if (!Clock::terminating()) showPlainMessage(text);
}

void ExpanderSession::selectPort() {
    if (!mayStart()) return;
    bool keyDevice = false;
    {
        BusyScope busy(busy_);
        keyDevice = runPortSelection();
    }
    // The key programmer window runs its own port selection and may hand the port back to this
    // window, so the hand-over happens once this procedure has ended.
    if (keyDevice && onKeyDeviceFound) onKeyDeviceFound();
}

bool ExpanderSession::runPortSelection() {
    QComboBox* ports = controls_.ports;
    if (ports->currentIndex() < 0 || ports->currentText().isEmpty()) return false;
    progressStep_ = kDiscoveryProgressStep;

    // A port that does not open leaves no port, so the access step fails at once with "Нет ответа".
    if (!Link::OpenPort(ports->currentText())) ports->setCurrentIndex(-1);

    controls_.pages->setFocus();
    controls_.pages->setTabVisible(controls_.pages->indexOf(controls_.globalPartitionsPage), true);
    setLoopGridRows(controls_.config.loopGrid, 21);

    if (!Access::CheckAccess(controls_)) {
        controls_.progress->hide();
        if (Link::holdsKeyDeviceSignature()) return true;
        ports->setCurrentIndex(-1);
        return false;
    }

    setListsEnabled(false);
    if (!readExpanderTable()) {
        ports->setEnabled(true);
        return false;
    }
    if (!readDescriptorTable()) return false;

    QComboBox* expanders = controls_.expanders;
    expanders->clear();
    for (int address : configuredExpanders(expanderTable_, Access::localLineMode()))
        expanders->addItem(expanderItemText(address));
    expanders->setCurrentIndex(expanders->count() > 0 ? 0 : -1);
    runRead();

    ports->setEnabled(true);
    return false;
}

bool ExpanderSession::readExpanderTable() {
    for (int block = 0; block < kExpanderTableBlocks; ++block) {
        int wrongEchoes = 0;
        for (;;) {
            if (!Link::SendRequest(Command::ExpanderTable, static_cast<uint8_t>(block), 0, 0, 0))
                return false;
            if (Link::R(2) == block) break;
            if (++wrongEchoes > kWrongEchoRepeats) return false;
        }
        storeBlock(expanderTable_, block);
    }
    return true;
}

bool ExpanderSession::readDescriptorTable() {
    const auto fail = [this] {
        controls_.ports->setEnabled(true);
        report(QStringLiteral("Ошибка чтения таблицы дескрипторов ") + QString::number(Link::R(1)));
        return false;
    };
    for (int block = 0; block < kDescriptorTableBlocks; ++block) {
        int wrongEchoes = 0;
        for (;;) {
            if (!Link::SendRequest(Command::DescriptorTable, static_cast<uint8_t>(block), 0, 0, 0)) {
                if (Link::R(1) != kNoTableStatus) return fail();
                setLoopGridRows(controls_.config.loopGrid, 20);
                break;
            }
            if (Link::R(2) == block || Link::R(1) == kRefusedStatus) break;
            if (++wrongEchoes > kWrongEchoRepeats) return fail();
        }
        storeBlock(descriptorTable_, block);
        config_.address = kNoExpander;
    }
    return true;
}
