#pragma once

#include <QString>

class ExportCommand;

// The names an export's file takes on the disk: the hidden partial file
// ffmpeg writes beside the final name, and the first free final name the
// verified file is renamed onto, never over anything.
namespace ExportTarget {

// Numbered names run from _1 while the counter is below this.
constexpr int counterLimit = 10000;

// The first of the command's targetPath(0), targetPath(1), ... that nothing occupies now;
// it is not taken (nothing is created) until moveToFreeName. Empty (and
// `error` set) when every name is taken.
QString freePath(const ExportCommand &command, QString *error);
// Renames the written file onto the first of those names that is free at
// that moment, never replacing anything, and returns it; empty (and `error`
// set) when that fails or every name is taken.
QString moveToFreeName(const ExportCommand &command, const QString &writtenPath, QString *error);
// A new, empty, hidden file beside `targetPath` with its extension (ffmpeg
// picks the container by it), for ffmpeg to write into:
// ".<name>.partial-<pid>-<host>-XXXXXX.<ext>". Empty (and `error` set)
// when it cannot be created.
QString createPartialPath(const QString &targetPath, QString *error);
// Removes the partial files in `folder` that a process of this machine and
// user left behind and that no longer runs; nothing else.
void removeAbandonedPartialFiles(const QString &folder);

} // namespace ExportTarget
