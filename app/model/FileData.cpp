#include "FileData.h"

namespace FD {

QString timeReferenceText(qint64 samples, qint32 sampleRate)
{
    if (sampleRate <= 0)
        return QString();
    const qint64 seconds = samples / sampleRate;
    const qint64 rest = samples % sampleRate;
    const qint64 milliseconds = static_cast<qint64>(double(rest) / double(sampleRate) * 1000.0);
    const qint64 hours = seconds / 3600;
    const qint64 minutes = (seconds % 3600) / 60;
    const qint64 secs = seconds % 60;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(secs, 2, 10, QLatin1Char('0'))
        .arg(milliseconds, 3, 10, QLatin1Char('0'));
}

FileData FileData::fromFileInfo(const QFileInfo &fileInfo)
{
    FileData record;
    record.fileName = fileInfo.fileName();
    record.filePath = fileInfo.absoluteFilePath();
    record.baseName = fileInfo.baseName();
    record.lastModified = fileInfo.lastModified();
    record.suffix = fileInfo.suffix();
    return record;
}

void FileData::takeProbeMembers(const FileData &probed)
{
    format = probed.format;
    audioStreams = probed.audioStreams;
    streams = probed.streams;
    isGoPro = probed.isGoPro;
    audioStreamIndexes = probed.audioStreamIndexes;
    videoStream = probed.videoStream;
    audioChannelCount = probed.audioChannelCount;
}

void FileData::setFileTC(const QString &tc)
{
    fileTC = tc;
    hasFileTC = true;
}

void FileData::setTimeReference(qint64 samples, qint32 sampleRate)
{
    timeReference = samples;
    fileTC = timeReferenceText(samples, sampleRate);
    hasFileTC = true;
}

void FileData::setAudioTC(const QString &text, QPair<qint32, qint32> streamIndexAndChannel)
{
    audioTC = text;
    audioTCStreamIndex = streamIndexAndChannel.first;
    audioTCChannel = streamIndexAndChannel.second;
    hasAudioTC = true;
}

void FileData::setLinkedAudioTC(qint32 row, const QString &text, const QJsonObject &report)
{
    audioTC = text;
    audioTCLinkedRow = row;
    audioTCResult = report;
    audioTCLinked = true;
    hasAudioTC = true;
}

void FileData::clearAudioTC()
{
    audioTC.clear();
    audioTCLinkedRow = -1;
    audioTCStreamIndex = -1;
    audioTCChannel = -1;
    audioTCResult = QJsonObject();
    audioTCLinked = false;
    hasAudioTC = false;
}

int FileData::audioChannelTotal() const
{
    int total = 0;
    for (const QJsonValue &stream : audioStreams)
        total += stream.toObject().value(QStringLiteral("channels")).toInt();
    return total;
}

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
    reading.ntsc = report.value(QStringLiteral("NTSC")).toBool(false);
    reading.dropFrame = report.value(QStringLiteral("DropFrame")).toBool(false);
    // The found rate of an NTSC report is already divided (29.97); the base is
    // the whole number, also where a report lacks it.
    const double base = report.value(QStringLiteral("FrameRateBaseFound")).toDouble(0.0);
    reading.frameRateBase = qRound(base > 0.0 ? base : report.value(QStringLiteral("FrameRateFound")).toDouble(0.0));
    reading.channel = report.value(QStringLiteral("ChannelFound")).toInt(-1);
    reading.algorithm = report.value(QStringLiteral("ReadingAlgorithm")).toString();
    reading.foundAt = report.value(QStringLiteral("FoundAt")).toDouble(-1.0);
    // Only a read with a forced rate reports what the signal measures; both
    // rates are printed with two decimals, and so compared.
    const QJsonValue measured = report.value(QStringLiteral("FrameRateMeasured"));
    const double found = report.value(QStringLiteral("FrameRateFound")).toDouble(0.0);
    if (measured.isDouble() && qRound(measured.toDouble() * 100.0) != qRound(found * 100.0))
        reading.signalRate = measured.toDouble();
    if (reading.timecode.isEmpty())
        reading.frameRateBase = 0;
    return reading;
}

} // namespace FD
