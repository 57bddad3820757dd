#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif
#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace Platform {

bool ownedByUs(const QFileInfo &info)
{
#ifdef Q_OS_UNIX
    return info.ownerId() == ::getuid();
#else
    Q_UNUSED(info)
    return true;
#endif
}

#ifdef Q_OS_WIN

bool processIsRunning(qint64 pid)
{
    if (pid <= 0 || pid > qint64(std::numeric_limits<DWORD>::max()))
        return false;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD exitCode = 0;
    const bool running = GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

RenameResult renameNoReplace(const QString &from, const QString &to, QString *error)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails where anything is.
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(source.utf16()),
                    reinterpret_cast<const wchar_t *>(target.utf16()), 0))
        return RenameResult::Renamed;
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        return RenameResult::TargetExists;
    *error = qt_error_string(int(code));
    return RenameResult::Failed;
}

void prepareToolChild(qint64)
{
}

namespace {

// Never closed by us: the system closes it when we end, however we end, and
// with it ends every tool in it.
HANDLE toolJob()
{
    static const HANDLE job = [] {
        const HANDLE handle = CreateJobObjectW(nullptr, nullptr);
        if (handle) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(handle, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return handle;
    }();
    return job;
}

} // namespace

// Our tools start no processes of their own, so joining the job just after
// the start misses nothing.
void tieToolToThisProcess(qint64 toolPid)
{
    const HANDLE job = toolJob();
    if (!job)
        return;
    const HANDLE process = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(toolPid));
    if (!process)
        return;
    AssignProcessToJobObject(job, process);
    CloseHandle(process);
}

#else

bool processIsRunning(qint64 pid)
{
    if (pid <= 0 || pid > qint64(std::numeric_limits<pid_t>::max()))
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return false;
#ifdef Q_OS_LINUX
    // A zombie has ended; only its parent has not collected it yet, which an
    // init that reaps nothing never does.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const int nameEnd = line.lastIndexOf(')');
        return nameEnd < 0 || line.size() <= nameEnd + 2 || line.at(nameEnd + 2) != 'Z';
    }
#endif
    return true;
}

namespace {

RenameResult failedWith(int code, QString *error)
{
    if (code == EEXIST)
        return RenameResult::TargetExists;
    *error = qt_error_string(code);
    return RenameResult::Failed;
}

} // namespace

RenameResult renameNoReplace(const QString &from, const QString &to, QString *error)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#if defined(Q_OS_LINUX) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return RenameResult::Renamed;
    // Some network and FUSE file systems cannot; they say so with EINVAL.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return failedWith(errno, error);
#endif
    // A link is made only where nothing is; then the old name goes.
    if (::link(source.constData(), target.constData()) == 0) {
        if (::unlink(source.constData()) == 0)
            return RenameResult::Renamed;
        const int code = errno;
        ::unlink(target.constData()); // the link we just made
        return failedWith(code, error);
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return failedWith(errno, error);
    // Neither (a file system without hard links): the name is claimed with a
    // new empty file of ours, which the rename then replaces. Only between
    // these two calls is the name empty.
    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return failedWith(errno, error);
    ::close(fd);
    if (::rename(source.constData(), target.constData()) == 0)
        return RenameResult::Renamed;
    const int code = errno;
    ::unlink(target.constData());
    return failedWith(code, error);
}

void prepareToolChild(qint64 parentPid)
{
    // Dozens of tools at once must not keep the window from answering.
    setpriority(PRIO_PROCESS, 0, 10);
    // A group of its own: a Ctrl-C in the terminal reaches Dorrik alone, whose
    // cancel then stops the tool, instead of the tool ending as failed first.
    ::setpgid(0, 0);
#ifdef Q_OS_LINUX
    // The signal comes when the thread that started the tool ends, not only
    // the process. Our tools are started on the controller's worker thread,
    // which lives until the controller has stopped every tool, and on the
    // main thread of the programs without one; so it only ever ends a tool
    // that nobody waits for any more.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // A parent that ended before the line above sends nothing.
    if (::getppid() != pid_t(parentPid))
        ::_exit(127);
#else
    Q_UNUSED(parentPid)
#endif
}

void tieToolToThisProcess(qint64)
{
}

#endif

} // namespace Platform
