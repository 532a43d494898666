#include "compare/ConfigDiff.h"

#include "config/LoopLayout.h"

namespace Compare {
namespace {

const QString kBetween = QStringLiteral(" · ");

QString yesNo(bool on) {
    return on ? QStringLiteral("да") : QStringLiteral("нет");
}

bool bit(uint8_t mask, int n) {
    return (mask >> n) & 1;
}

// Collects the rows of one page.
class PageRows {
  public:
    PageRows(std::vector<Difference>& rows, int page) : rows_(rows), page_(pageTitles()[page]) {}

    void add(const QString& item, const QString& window, const QString& other) {
        if (window != other) rows_.push_back({page_, item, shown(window), shown(other)});
    }
    void addCode(const QString& item, uint16_t window, uint16_t other) {
        static const QString differs = QStringLiteral("код отличается");
        if (window != other) rows_.push_back({page_, item, differs, differs});
    }
    void addUnread(const QString& item, const QString& window) {
        rows_.push_back({page_, item, shown(window), QStringLiteral("не прочитано")});
    }
    size_t count() const { return rows_.size(); }

  private:
    static QString shown(const QString& text) { return text.isEmpty() ? QStringLiteral("—") : text; }

    std::vector<Difference>& rows_;
    QString page_;
};

void compareGeneral(PageRows rows, const ParameterBlock& window, const ParameterBlock& other) {
    const GeneralProperties w = generalPropertiesOf(window[0], window[1]);
    const GeneralProperties o = generalPropertiesOf(other[0], other[1]);
    // In the order of the bits: boxes 1..5 are bits [1]..[5], the exit delay [6-8], boxes 6..13
    // bits [9]..[16].
    const auto box = [&](int i) {
        rows.add(generalPropertyCaption(i + 1), yesNo(w.boxes[i]), yesNo(o.boxes[i]));
    };
    for (int i = 0; i < 5; ++i)
        box(i);
    rows.add(exitDelayCaption(), exitDelayItems()[w.exitDelay], exitDelayItems()[o.exitDelay]);
    for (int i = 5; i < 13; ++i)
        box(i);
}

QString loopBytesText(uint8_t first, uint8_t second) {
    return QStringLiteral("%1 %2")
        .arg(first, 2, 16, QLatin1Char('0'))
        .arg(second, 2, 16, QLatin1Char('0'))
        .toUpper();
}

void compareLoops(PageRows rows, const CollectedConfig& window, const CollectedConfig& other,
                  const Scope& scope) {
    const QStringList& captions = loopRowCaptions();
    for (int n = 1; n <= kLoopCount; ++n) {
        const uint8_t w1 = window.parameters[2 * n], w2 = window.parameters[2 * n + 1];
        const uint8_t o1 = other.parameters[2 * n], o2 = other.parameters[2 * n + 1];
        // Each side as the grid shows it, under its own loop type.
        const LoopColumnTexts w = loopColumnTexts(w1, w2, LoopTypeOf(w1));
        const LoopColumnTexts o = loopColumnTexts(o1, o2, LoopTypeOf(o1));
        const QString column = loopColumnHeader(n) + kBetween;
        const size_t before = rows.count();
        for (int row = 1; row <= kLastPropertyRow; ++row)
            rows.add(column + captions[row - 1], w[row - 1], o[row - 1]);
        // Bits that no row of the grid shows (a fire loop's first-byte bit 5 and second-byte bit 5):
        // programming would change them all the same.
        if (rows.count() == before && (w1 != o1 || w2 != o2))
            rows.add(column + QStringLiteral("байты свойств"), loopBytesText(w1, w2), loopBytesText(o1, o2));
        if (!scope.descriptions) continue;
        const QString item = column + captions[kDescriptionRow - 1];
        if (bit(scope.unreadDescriptions, n - 1))
            rows.addUnread(item, window.loopDescriptions[n - 1]);
        else
            rows.add(item, window.loopDescriptions[n - 1], other.loopDescriptions[n - 1]);
    }
}

void compareMask(PageRows& rows, const QString& prefix, const QStringList& loopCaptions, uint8_t window,
                 uint8_t other) {
    for (int k = 0; k < kLoopCount; ++k)
        rows.add(prefix + loopCaptions[k], flagText(bit(window, k)), flagText(bit(other, k)));
}

void comparePartitions(PageRows rows, const CollectedConfig& window, const CollectedConfig& other,
                       const Scope& scope) {
    // Row 1 the global number, rows 2..9 the loops, row 10 the code.
    const QStringList& captions = partitionRowCaptions();
    for (int p = 1; p <= kPartitionCount; ++p) {
        const PartitionEntry& w = window.globalPartitions[p - 1];
        const PartitionEntry& o = other.globalPartitions[p - 1];
        const QString prefix = partitionName(p) + kBetween;
        rows.add(prefix + captions[0], QString::number(w.globalNumber), QString::number(o.globalNumber));
        compareMask(rows, prefix, captions.mid(1), w.loopMask, o.loopMask);
        if (scope.codes) rows.addCode(prefix + captions[kPartitionCodeRow - 1], w.code, o.code);
    }
}

void compareUsers(PageRows rows, const CollectedConfig& window, const CollectedConfig& other,
                  const Scope& scope) {
    // Rows 1..8 the loops, row 9 the code.
    const QStringList& captions = userRowCaptions();
    for (int u = 0; u < kUserCount; ++u) {
        const QString prefix = userName(u) + kBetween;
        compareMask(rows, prefix, captions, window.users[u].loopMask, other.users[u].loopMask);
        if (scope.codes)
            rows.addCode(prefix + captions[kUserCodeRow - 1], window.users[u].code, other.users[u].code);
    }
}

} // namespace

std::vector<Difference> differences(const CollectedConfig& window, const CollectedConfig& other,
                                    const Scope& scope) {
    std::vector<Difference> rows;
    compareGeneral(PageRows(rows, 0), window.parameters, other.parameters);
    compareLoops(PageRows(rows, 1), window, other, scope);
    if (scope.partitions) comparePartitions(PageRows(rows, 2), window, other, scope);
    compareUsers(PageRows(rows, 3), window, other, scope);
    return rows;
}

QString scopeNote(const Scope& scope) {
    return scope.codes ? QString()
                       : QStringLiteral("Коды доступа не сравниваются: коды расширителя не прочитаны.");
}

QString rowsText(const std::vector<Difference>& rows) {
    const auto plain = [](QString text) {
        for (QChar& c : text)
            if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
        return text;
    };
    QString text;
    for (const Difference& row : rows)
        text += plain(row.page) + u'\t' + plain(row.item) + u'\t' + plain(row.window) + u'\t' +
                plain(row.other) + u'\n';
    return text;
}

} // namespace Compare
