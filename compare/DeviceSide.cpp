#include "compare/DeviceSide.h"

#include "base/GridCells.h"
#include "device/ExpanderSession.h"
#include "device/ReadTarget.h"
#include "link/Access.h"

#include <QTabWidget>

namespace Compare {
namespace {

constexpr int kCodePages = 4;

class OwnRecord : public ReadTarget {
  public:
    void begin(uint8_t address) override { side.address = address; }
    void parameters(const ParameterBlock& block) override { side.config.parameters = block; }
    void description(int loop, const QString& text, Description kind) override {
        side.config.loopDescriptions[loop - 1] = text;
        if (kind == Description::Unread) side.scope.unreadDescriptions |= uint8_t(1u << (loop - 1));
    }
    void users(const std::array<UserEntry, kUserCount>& entries) override { side.config.users = entries; }
    void userCodes(int page, const CodePage& codes) override {
        for (int j = 0; j < int(codes.size()); ++j)
            if (const int user = (page - 1) * int(codes.size()) + j; user < kUserCount)
                side.config.users[user].code = codes[j];
        codePages = page;
    }
    void partitions(const std::array<PartitionEntry, kPartitionCount>& entries) override {
        side.config.globalPartitions = entries;
        partitionsRead = true;
    }
    void end() override { ended = true; }

    DeviceSide side;
    int codePages = 0;
    bool partitionsRead = false;
    bool ended = false;
};

std::optional<DeviceSide> sideOf(const OwnRecord& record, const MainControls& controls) {
    const bool localLine = Access::localLineMode();
    // A read whose partitions could not be fetched ends all the same, after its message; compared
    // without them, every partition would show as differing.
    if (!record.ended || (!localLine && !record.partitionsRead)) return std::nullopt;
    DeviceSide side = record.side;
    Scope& scope = side.scope;
    scope.descriptions = hasDescriptionRow(controls.config.loopGrid);
    scope.partitions =
        !localLine && controls.pages->isTabVisible(controls.pages->indexOf(controls.globalPartitionsPage));
    // Only over the local line does the expander report its users' codes, and only all of them when
    // every page came; partition codes it never reports.
    scope.codes = localLine && record.codePages == kCodePages;
    return side;
}

} // namespace

std::optional<DeviceSide> readDeviceSide(ExpanderSession& session, const MainControls& controls) {
    OwnRecord record;
    session.readExpander(record);
    return sideOf(record, controls);
}

std::optional<DeviceSide> readDeviceSide(ExpanderSession& session, const MainControls& controls,
                                         int address) {
    OwnRecord record;
    session.readExpander(address, record);
    return sideOf(record, controls);
}

} // namespace Compare
