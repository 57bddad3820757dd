#include "AudioTCReading.h"

#include <QJsonValue>
#include <QVariant>

QString AudioTCReading::rateContradiction() const
{
    if (!contradictsSignal())
        return QString();
    return QStringLiteral("read at %1 fps, but the signal runs at %2 fps")
        .arg(frameRate(), 0, 'f', 2)
        .arg(signalRate, 0, 'f', 2);
}

AudioTCReading AudioTCReading::fromReport(const QJsonObject &report)
{
    AudioTCReading reading;
    reading.timecode = report.value(QStringLiteral("Timecode")).toString();
    reading.frameCount = report.value(QStringLiteral("FrameCount")).toInt();
    reading.samplesSinceMidnight = report.value(QStringLiteral("SamplesSinceMidnight")).toVariant().toLongLong();
    reading.ntsc = report.value(QStringLiteral("NTSC")).toBool(false);
    reading.dropFrame = report.value(QStringLiteral("DropFrame")).toBool(false);
    reading.frameRateFound = report.value(QStringLiteral("FrameRateFound")).toDouble(0.0);
    // The found rate of an NTSC report is already divided (29.97); the base is
    // the whole number, also where a report lacks it.
    const double base = report.value(QStringLiteral("FrameRateBaseFound")).toDouble(0.0);
    reading.frameRateBase = qRound(base > 0.0 ? base : reading.frameRateFound);
    reading.channel = report.value(QStringLiteral("ChannelFound")).toInt(-1);
    reading.algorithm = report.value(QStringLiteral("ReadingAlgorithm")).toString();
    reading.foundAt = report.value(QStringLiteral("FoundAt")).toDouble(-1.0);
    reading.errorNumber = report.value(QStringLiteral("ErrorNo")).toInt(0);
    // Only a read with a forced rate reports what the signal measures; both
    // rates are printed with two decimals, and so compared.
    const QJsonValue measured = report.value(QStringLiteral("FrameRateMeasured"));
    if (measured.isDouble() && qRound(measured.toDouble() * 100.0) != qRound(reading.frameRateFound * 100.0))
        reading.signalRate = measured.toDouble();
    return reading;
}
