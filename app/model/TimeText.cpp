#include "TimeText.h"

#include <cmath>

namespace TimeText {

namespace {

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString clock(qint64 seconds)
{
    return twoDigits(seconds / 3600) + QLatin1Char(':') + twoDigits((seconds % 3600) / 60) + QLatin1Char(':')
           + twoDigits(seconds % 60);
}

QString clockMillis(qint64 milliseconds)
{
    return clock(milliseconds / 1000) + QLatin1Char('.')
           + QStringLiteral("%1").arg(milliseconds % 1000, 3, 10, QLatin1Char('0'));
}

QString duration(double seconds)
{
    // Whatever the probe said, the text stays a time (no NaN or overflow in the cast).
    return clock(seconds >= 0.0 && seconds < 1e12 ? qint64(seconds) : 0);
}

QString durationMillis(double seconds)
{
    return clockMillis(seconds >= 0.0 && seconds < 1e12 ? qint64(std::llround(seconds * 1000.0)) : 0);
}

QString samplePosition(qint64 samples, qint32 sampleRate)
{
    if (sampleRate <= 0)
        return QString();
    const qint64 seconds = samples / sampleRate;
    const qint64 rest = samples % sampleRate;
    const qint64 milliseconds = static_cast<qint64>(double(rest) / double(sampleRate) * 1000.0);
    return clockMillis(seconds * 1000 + milliseconds);
}

QString label(qint64 seconds, qint64 frames, bool dropFrame)
{
    return clock(seconds) + (dropFrame ? QLatin1Char(';') : QLatin1Char(':')) + twoDigits(frames);
}

} // namespace TimeText
