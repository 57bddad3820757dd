#include "ExportTarget.h"

#include "ExportCommand.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>

QString ExportTarget::freePath(const ExportCommand &command, QString *error)
{
    for (int counter = 0; counter < counterLimit; ++counter) {
        const QString path = command.targetPath(counter);
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            return path;
    }
    if (error)
        *error = QStringLiteral("every name up to %1 is taken").arg(command.targetPath(counterLimit - 1));
    return {};
}

QString ExportTarget::moveToFreeName(const ExportCommand &command, const QString &writtenPath, QString *error)
{
    for (int counter = 0; counter < counterLimit; ++counter) {
        const QString path = command.targetPath(counter);
        switch (Platform::renameNoReplace(writtenPath, path, error)) {
        case Platform::RenameResult::Renamed: return path;
        case Platform::RenameResult::TargetExists: continue;
        case Platform::RenameResult::Failed: return {};
        }
    }
    if (error)
        *error = QStringLiteral("every name up to %1 is taken").arg(command.targetPath(counterLimit - 1));
    return {};
}

namespace {

// A partial file's name carries our process id and this tag of the machine,
// so a second machine writing into the same network folder never takes ours
// for abandoned, nor we its.
QString hostTag()
{
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(host, QCryptographicHash::Sha1).toHex().left(8));
}

} // namespace

QString ExportTarget::createPartialPath(const QString &targetPath, QString *error)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QFileInfo target(targetPath);
    const QString owner = QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(hostTag());
    QString reason = QStringLiteral("no free temporary name");
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString random;
        for (int i = 0; i < 6; ++i)
            random += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        const QString path = target.dir().filePath(QStringLiteral(".%1.partial-%2-%3.%4")
                                                       .arg(target.completeBaseName(), owner, random, target.suffix()));
        // Created like any file in that folder, so the renamed copy is as readable as one.
        QFile partial(path);
        if (partial.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        reason = partial.errorString();
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            break;
    }
    if (error)
        *error = reason;
    return {};
}

void ExportTarget::removeAbandonedPartialFiles(const QString &folder)
{
    static const QRegularExpression partialName(
        QStringLiteral("^\\..*\\.partial-([0-9]{1,10})-([0-9a-f]{8})-[A-Za-z0-9]{6}\\.[^.]*$"));
    const QString ourHost = hostTag();
    const QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral(".*.partial-*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = partialName.match(name);
        const qint64 pid = match.captured(1).toLongLong();
        if (!match.hasMatch() || match.captured(2) != ourHost || pid == QCoreApplication::applicationPid()
            || Platform::processIsRunning(pid))
            continue;
        const QFileInfo info(dir.filePath(name));
        if (info.isFile() && !info.isSymLink() && Platform::ownedByUs(info))
            QFile::remove(info.filePath());
    }
}
