#include "AppInfo.h"

const QStringList &mediaNameFilters()
{
    static const QStringList filters{QStringLiteral("*.mov"), QStringLiteral("*.mxf"),
                                     QStringLiteral("*.mp4"), QStringLiteral("*.mts"),
                                     QStringLiteral("*.wav")};
    return filters;
}
