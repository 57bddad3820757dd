#include "WorkFolder.h"

#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr QFileDevice::Permissions ownerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions othersAny =
    QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
    | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

// A real folder (not a link) of ours, closed to everybody else.
bool isOwnPrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (isLink(info) || !info.isDir() || !Platform::ownedByUs(info))
        return false;
#ifdef Q_OS_UNIX
    if (info.permissions() & othersAny)
        return QFile::setPermissions(path, ownerOnly);
#endif
    return true;
}

// The working folder's name up to the process id.
QString workFolderPrefix()
{
#ifdef Q_OS_UNIX
    return QStringLiteral("CorvantaSyncTemp-%1-").arg(::getuid());
#else
    return QStringLiteral("CorvantaSyncTemp-");
#endif
}

} // namespace

QString workFolderPath()
{
    // One folder per process: every instance clears its folder at start and
    // after each batch, so the window and a report run side by side (or two
    // runs) would otherwise delete each other's extracted audio mid-read.
    const QString name = workFolderPrefix() + QString::number(QCoreApplication::applicationPid());
    return QDir::toNativeSeparators(QDir::tempPath() + QLatin1Char('/') + name);
}

QString workSubFolderPath(const QString &baseName)
{
    return workFolderPath() + QDir::separator() + baseName;
}

bool prepareOwnFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !isLink(info)) {
        if (!QDir().mkdir(path))
            return false;
        // Closed before anything is written into it.
        if (!QFile::setPermissions(path, ownerOnly))
            return false;
    }
    return isOwnPrivateFolder(path);
}

bool removeOwnFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !isLink(info))
        return true;
    // Never through a link, never someone else's folder. Inside a folder of ours
    // removeRecursively unlinks links without following them.
    if (!isOwnPrivateFolder(path))
        return false;
    return QDir(path).removeRecursively();
}

bool prepareWorkSubFolder(const QString &baseName)
{
    if (!prepareOwnFolder(workFolderPath()))
        return false;
    if (baseName.isEmpty())
        return true;
    // Inside our private folder nobody else can plant anything.
    const QString sub = workSubFolderPath(baseName);
    const QFileInfo info(sub);
    if (isLink(info))
        return false;
    return info.isDir() || QDir().mkdir(sub);
}

bool removeWorkFolder()
{
    return removeOwnFolder(workFolderPath());
}

void removeAbandonedWorkFolders()
{
    const QString prefix = workFolderPrefix();
    static const QRegularExpression processId(QStringLiteral("^[0-9]{1,10}$"));
    const QDir temp(QDir::tempPath());
    const QStringList names = temp.entryList({prefix + QLatin1Char('*')},
                                             QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString pid = name.mid(prefix.size());
        if (!processId.match(pid).hasMatch() || pid.toLongLong() == QCoreApplication::applicationPid()
            || Platform::processIsRunning(pid.toLongLong()))
            continue;
        removeOwnFolder(temp.filePath(name));
    }
}
