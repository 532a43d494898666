#include "site/RestoreRecord.h"

#include "config/Codes.h"

namespace Site {

QString itemName(const CodeChange& change) {
    return change.user >= 0 ? QStringLiteral("пользователь %1").arg(change.user)
                            : QStringLiteral("раздел %1").arg(change.partition);
}

QString changeText(const CodeChange& change) {
    return QStringLiteral("%1 (код станет %2)").arg(itemName(change), formatCode(change.code));
}

RestoreRecord restoreRecord(const CollectedConfig& file, const CollectedConfig& held, bool codesKnown,
                            const std::function<bool(const CodeChange&)>& take) {
    RestoreRecord record{file, {}, {}};
    if (codesKnown) return record;
    // Keeps the expander's entry where only the code would differ; otherwise the write carries the
    // file's code, if taken.
    const auto merge = [&](auto& wanted, const auto& kept, bool sameButCode, const CodeChange& change) {
        if (sameButCode) {
            wanted = kept;
            return;
        }
        record.codeChanges.push_back(change);
        if (take(change)) return;
        record.leftAlone.push_back(change);
        wanted = kept;
    };
    UserEntry& zero = record.wanted.users[0];
    if (zero.loopMask == held.users[0].loopMask) zero = held.users[0];
    for (int u = 1; u < kUserCount; ++u) {
        const UserEntry& kept = held.users[size_t(u)];
        UserEntry& wanted = record.wanted.users[size_t(u)];
        merge(wanted, kept, wanted.loopMask == kept.loopMask, CodeChange{u, 0, wanted.code});
    }
    for (int p = 1; p <= kPartitionCount; ++p) {
        const PartitionEntry& kept = held.globalPartitions[size_t(p - 1)];
        PartitionEntry& wanted = record.wanted.globalPartitions[size_t(p - 1)];
        merge(wanted, kept, wanted.globalNumber == kept.globalNumber && wanted.loopMask == kept.loopMask,
              CodeChange{-1, p, wanted.code});
    }
    return record;
}

} // namespace Site
