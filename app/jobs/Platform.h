#pragma once

#include <QString>

class QFileInfo;

// The few things the operating systems do differently and that the rest of
// the program must not have to know: whose a file is, whether a process still
// runs, a rename that never replaces, and tying our tools' lifetime to ours.
namespace Platform {

// The file or folder belongs to the user we run as (Windows: always; the
// temporary folder is per user there).
bool ownedByUs(const QFileInfo &info);

// True while a process with this id exists and has not ended (a Linux zombie
// has ended). A process we may not inspect counts as running: nothing of its
// is ever taken for abandoned.
bool processIsRunning(qint64 pid);

enum class RenameResult { Renamed, TargetExists, Failed };

// Renames `from` to `to` only if nothing is at `to`: an existing file, folder
// or link there is never replaced. `error` is set for Failed.
RenameResult renameNoReplace(const QString &from, const QString &to, QString *error);

// In a tool's child process before the program runs (Unix): lower priority,
// and the tool is killed when the process that started it ends, however that
// ends. `parentPid` is that process, read before the fork.
void prepareToolChild(qint64 parentPid);

// In the parent once a tool has started (Windows): the same end through a job
// object that ends its processes when our last handle to it closes.
void tieToolToThisProcess(qint64 toolPid);

} // namespace Platform
