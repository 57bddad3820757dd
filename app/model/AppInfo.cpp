#include "AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString AppInfo::sharedFilePath(const QString &relativePath)
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(relativePath);
    const QString installed = programDir.filePath(QStringLiteral("../share/dorrik/") + relativePath);
    for (const QString &path : {beside, installed}) {
        if (QFileInfo::exists(path))
            return QDir::cleanPath(path);
    }
    return beside;
}

const QStringList &mediaNameFilters()
{
    static const QStringList filters{QStringLiteral("*.mov"), QStringLiteral("*.mxf"),
                                     QStringLiteral("*.mp4"), QStringLiteral("*.mts"),
                                     QStringLiteral("*.wav")};
    return filters;
}
