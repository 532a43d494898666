#include "base/WholeFileWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <optional>

namespace {

// Old contents larger than this are not kept for putting back; the files this program writes are a
// few kilobytes.
constexpr qint64 kMaxKeptContents = 64 * 1024 * 1024;

std::optional<QByteArray> contentsOf(const QString& path) {
    // Only regular files: reading a pipe or a device could wait for ever.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxKeptContents) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

// Puts the old contents back over a file that was cut or half written in place. The file is not
// truncated first: the blocks it already has are reused, so this also works on a full disk.
void putBack(const QString& path, const QByteArray& old) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return;
    if (file.write(old) == old.size() && file.flush()) file.resize(old.size());
}

} // namespace

bool writeWholeFile(const QString& path, const QByteArray& bytes) {
    // Kept before writing: when no temporary file can be made, QSaveFile writes the file in place and
    // cannot undo a failed write.
    const std::optional<QByteArray> old = contentsOf(path);
    bool written = false;
    {
        QSaveFile file(path);
        file.setDirectWriteFallback(true);
        if (!file.open(QIODevice::WriteOnly)) return false;
        // A short write or a failed flush (disk full) cancels: commit() alone may report success
        // after a failed final flush and replace a good file with a cut one.
        const bool complete =
            file.write(bytes) == bytes.size() && file.flush() && file.error() == QFileDevice::NoError;
        if (!complete) file.cancelWriting();
        // commit() also closes the file. That is not left to the file object's end, which may remove
        // the file it has open: written in place, that is the user's file.
        written = file.commit() && complete;
    }
    // When the old bytes cannot be put back either (they were not kept, being unreadable or larger
    // than kMaxKeptContents, or the disk refuses this write too), the file stays cut or half written.
    // Nothing more can be done here; the caller's "Ошибка записи" is all the user is told, the same
    // as for a failure that left the file untouched.
    if (!written && old && contentsOf(path) != old) putBack(path, *old);
    return written;
}
