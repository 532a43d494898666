#pragma once
#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <vector>

namespace Journal {

class Recorder;

// The journal's rows as a table: a window over the recorder's ring. New rows come in batches from
// a short timer, never one reset per row: rows that left the ring are removed first, then the new
// ones inserted. A cell's text is made when it is asked for.
class JournalModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kBatchMs = 100; // at most ten batches a second
    static constexpr int kTickMs = kBatchMs / 5;
    // A batch, the repaint after it and what a screen reader's bridge makes of it take some
    // milliseconds: one starts in a pause of the link only with this much of the pause left.
    static constexpr uint64_t kBatchRoomUs = 100'000;

    explicit JournalModel(Recorder& recorder, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes over what was recorded since the last batch (the timer calls it).
    void pull();
    // While paused the view keeps its rows; recording goes on.
    void setPaused(bool on);
    bool paused() const { return paused_; }
    // Only the rows with a fault and the requests they answer.
    void setFaultsOnly(bool on);
    // Empties the journal (the recording's ring and its diagnosis).
    void clear();
    // The ring's sequence number of a table row.
    uint64_t seqOf(int row) const;
    // The tab-separated text of the given table rows.
    QString rowsText(const std::vector<int>& rows) const;

  signals:
    // After each batch: the diagnosis line may have changed.
    void batchDone();

  private:
    void tick();
    bool wanted(uint64_t seq) const;
    void rebuild();

    Recorder& recorder_;
    QTimer timer_;
    QElapsedTimer lastBatch_;
    bool paused_ = false;
    bool faultsOnly_ = false;
    // All rows: the table shows [first_, next_) of the ring. Faults only: the listed rows.
    uint64_t first_ = 0;
    uint64_t next_ = 0;
    std::vector<uint64_t> listed_;
};

} // namespace Journal
