#pragma once
#include <QByteArray>
#include <QString>

// Replaces a file's contents with `bytes`, all or nothing as far as the folder allows. Where a
// temporary file can be made beside the target, the new contents go there first and replace the
// old file only when every byte is on disk. In a folder the user may not write, an existing file
// that he may write is written in place; if that write fails, its old contents are written back.
// False when anything failed.
bool writeWholeFile(const QString& path, const QByteArray& bytes);
