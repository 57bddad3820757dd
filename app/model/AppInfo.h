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

} // namespace AppInfo

// Accepted media extensions, as name filters.
const QStringList &mediaNameFilters();
