#include "journal/JournalModel.h"

#include "base/Clock.h"
#include "journal/Recorder.h"
#include "journal/RowText.h"
#include "link/Link.h"

#include <QApplication>
#include <QPalette>
#include <algorithm>

namespace Journal {

JournalModel::JournalModel(Recorder& recorder, QObject* parent)
    : QAbstractTableModel(parent), recorder_(recorder), first_(recorder.firstSeq()),
      next_(recorder.firstSeq()) {
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &JournalModel::tick);
    timer_.start();
    pull();
}

int JournalModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return faultsOnly_ ? static_cast<int>(listed_.size()) : static_cast<int>(next_ - first_);
}

int JournalModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

uint64_t JournalModel::seqOf(int row) const {
    return faultsOnly_ ? listed_[static_cast<size_t>(row)] : first_ + static_cast<uint64_t>(row);
}

QVariant JournalModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const uint64_t seq = seqOf(index.row());
    if (!recorder_.holds(seq)) return {};
    const Row& row = recorder_.row(seq);
    switch (role) {
    case Qt::DisplayRole:
        return cellText(recorder_, row, index.column());
    // A fault takes the palette's pair of hint colours: they differ from the rows and from the
    // selection, and a dark palette keeps its text readable on its background.
    case Qt::ForegroundRole:
        if (row.fault()) return QApplication::palette().color(QPalette::ToolTipText);
        return {};
    case Qt::BackgroundRole:
        if (row.fault()) return QApplication::palette().color(QPalette::ToolTipBase);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == DeltaColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        if (index.column() == DirectionColumn) return QVariant(Qt::AlignCenter);
        return {};
    default:
        return {};
    }
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return columnHeadings()[section];
    return {};
}

bool JournalModel::wanted(uint64_t seq) const {
    return recorder_.row(seq).fault();
}

void JournalModel::tick() {
    // A batch redraws the view, which holds the thread for some milliseconds. It must never be in the
    // way of the line: it comes while no exchange runs, or early in one of the link's pauses, which
    // it cannot outlast. Between them the view waits (a run's pauses come every few hundred ms).
    if (lastBatch_.isValid() && lastBatch_.elapsed() < kBatchMs) return;
    recorder_.settle();
    if (Link::exchangeActive()) {
        const uint64_t pauseEnd = Link::pauseEndUs();
        if (pauseEnd == 0 || pauseEnd < Clock::micros() + kBatchRoomUs) return;
    } else if (recorder_.awaitingReply()) {
        return;
    }
    lastBatch_.start();
    pull();
}

void JournalModel::pull() {
    recorder_.settle();
    const uint64_t ringFirst = recorder_.firstSeq();
    const uint64_t ringEnd = recorder_.endSeq();
    if (ringFirst >= next_) {
        // Everything shown has left the ring (or the journal was emptied elsewhere).
        if (rowCount() > 0) {
            beginResetModel();
            listed_.clear();
            first_ = next_ = ringFirst;
            endResetModel();
        }
        first_ = next_ = std::max(next_, ringFirst);
    } else if (ringFirst > first_) {
        // Rows that left the ring go before new ones come in; also while paused.
        const int gone = faultsOnly_
                             ? static_cast<int>(std::lower_bound(listed_.begin(), listed_.end(), ringFirst) -
                                                listed_.begin())
                             : static_cast<int>(ringFirst - first_);
        if (gone > 0) {
            beginRemoveRows({}, 0, gone - 1);
            if (faultsOnly_) listed_.erase(listed_.begin(), listed_.begin() + gone);
            first_ = ringFirst;
            endRemoveRows();
        }
        first_ = ringFirst;
    }
    if (!paused_ && ringEnd > next_) {
        if (faultsOnly_) {
            std::vector<uint64_t> added;
            for (uint64_t seq = next_; seq < ringEnd; ++seq) {
                if (!wanted(seq)) continue;
                const uint64_t request = recorder_.row(seq).requestSeq;
                const uint64_t last = !added.empty() ? added.back() : listed_.empty() ? 0 : listed_.back();
                if (request > last && recorder_.holds(request)) added.push_back(request);
                added.push_back(seq);
            }
            next_ = ringEnd;
            if (!added.empty()) {
                const int at = static_cast<int>(listed_.size());
                beginInsertRows({}, at, at + static_cast<int>(added.size()) - 1);
                listed_.insert(listed_.end(), added.begin(), added.end());
                endInsertRows();
            }
        } else {
            beginInsertRows({}, static_cast<int>(next_ - first_), static_cast<int>(ringEnd - first_) - 1);
            next_ = ringEnd;
            endInsertRows();
        }
    }
    emit batchDone();
}

void JournalModel::setPaused(bool on) {
    paused_ = on;
    if (!on) pull();
}

void JournalModel::rebuild() {
    beginResetModel();
    listed_.clear();
    first_ = recorder_.firstSeq();
    if (faultsOnly_) {
        for (uint64_t seq = first_; seq < next_; ++seq) {
            if (!recorder_.holds(seq) || !wanted(seq)) continue;
            const uint64_t request = recorder_.row(seq).requestSeq;
            if (request && recorder_.holds(request) && (listed_.empty() || request > listed_.back()))
                listed_.push_back(request);
            listed_.push_back(seq);
        }
    }
    endResetModel();
}

void JournalModel::setFaultsOnly(bool on) {
    if (on == faultsOnly_) return;
    faultsOnly_ = on;
    rebuild();
}

void JournalModel::clear() {
    recorder_.clear();
    beginResetModel();
    first_ = next_ = recorder_.firstSeq();
    listed_.clear();
    endResetModel();
    emit batchDone();
}

QString JournalModel::rowsText(const std::vector<int>& rows) const {
    QString text;
    for (int row : rows) {
        const uint64_t seq = seqOf(row);
        if (recorder_.holds(seq)) text += rowLine(recorder_, recorder_.row(seq), false) + QLatin1Char('\n');
    }
    return text;
}

} // namespace Journal
