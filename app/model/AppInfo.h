#pragma once

#include <QString>
#include <QStringList>

namespace AppInfo {

inline const QString &appName()
{
    static const QString name = QStringLiteral("Corvanta Dorrik");
    return name;
}

constexpr unsigned majorVersion = 1;
constexpr unsigned minorVersion = 0;

// A file that ships with Dorrik (its images), found relative to the running
// executable, never to the working directory: beside it (a build folder, or
// one folder holding everything), else in ../share/dorrik as installed on
// Linux (/usr/bin/Dorrik, /usr/share/dorrik). The path beside it when neither
// holds the file.
QString sharedFilePath(const QString &relativePath);

} // namespace AppInfo

// Accepted media extensions, as name filters.
const QStringList &mediaNameFilters();
