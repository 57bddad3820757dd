#include "AudioTCOptions.h"

namespace ReadAlgorithms {

const QStringList &names()
{
    static const QStringList all{QStringLiteral("auto"), QStringLiteral("LOW"), QStringLiteral("MID"),
                                 QStringLiteral("HIGH"), QStringLiteral("SLOPE")};
    return all;
}

QString name(ReadAlgorithm algorithm)
{
    const int index = static_cast<int>(algorithm);
    return index >= 0 && index < names().size() ? names().at(index) : QString();
}

QString argument(ReadAlgorithm algorithm)
{
    if (algorithm == ReadAlgorithm::Auto)
        return QString();
    const QString text = name(algorithm);
    return text.isEmpty() ? QString() : QStringLiteral("-a") + text;
}

} // namespace ReadAlgorithms
