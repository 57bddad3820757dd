#include "RecordFromProbe.h"

#include <QJsonArray>
#include <QJsonValue>

#include <cmath>

namespace {

// A member that is missing or null counts as absent.
bool has(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return !value.isUndefined() && !value.isNull();
}

QJsonObject tagsOf(const QJsonObject &object)
{
    return object.value(QStringLiteral("tags")).toObject();
}

bool textIs(const QJsonObject &object, const QString &key, const QString &text)
{
    return object.value(key).toString().compare(text, Qt::CaseInsensitive) == 0;
}

void appendAudioStream(FileData &record, QJsonArray &audio, int index, const QJsonObject &stream)
{
    record.audioStreamIndexes.append(static_cast<char>(static_cast<qint8>(index)));
    audio.append(stream);
}

// The WAV branch: the time reference is the file timecode.
void fillFromWavProbe(FileData &record, QJsonArray &audio)
{
    const QJsonObject formatTags = tagsOf(record.format);
    const qint64 timeReference = has(formatTags, QStringLiteral("time_reference"))
        ? formatTags.value(QStringLiteral("time_reference")).toString().toLongLong()
        : 0;
    qint32 sampleRate = 0;
    qint32 channelSum = 0;
    for (int i = 0; i < record.streams.size(); ++i) {
        const QJsonObject stream = record.streams.at(i).toObject();
        if (!textIs(stream, QStringLiteral("codec_type"), QStringLiteral("audio")))
            continue;
        appendAudioStream(record, audio, i, stream);
        if (has(stream, QStringLiteral("sample_rate")))
            sampleRate = stream.value(QStringLiteral("sample_rate")).toString().toInt();
        if (has(stream, QStringLiteral("channels")))
            channelSum += stream.value(QStringLiteral("channels")).toInt();
    }
    record.audioChannelCount = channelSum;
    if (sampleRate > 0 && timeReference > 0)
        record.setTimeReference(timeReference, sampleRate);
}

// Every other format: format tags first, else the last timecode track.
void fillFromMediaProbe(FileData &record, QJsonArray &audio)
{
    const QJsonObject formatTags = tagsOf(record.format);
    const bool formatHasTimecode = has(formatTags, QStringLiteral("timecode"));
    if (formatHasTimecode)
        record.setFileTC(formatTags.value(QStringLiteral("timecode")).toString());

    for (int i = 0; i < record.streams.size(); ++i) {
        const QJsonObject stream = record.streams.at(i).toObject();
        const QJsonObject tags = tagsOf(stream);
        if (!formatHasTimecode
            && textIs(stream, QStringLiteral("codec_tag_string"), QStringLiteral("tmcd")))
            record.setFileTC(tags.value(QStringLiteral("timecode")).toString());
        if (textIs(stream, QStringLiteral("codec_type"), QStringLiteral("audio")))
            appendAudioStream(record, audio, i, stream);
        if (tags.value(QStringLiteral("encoder")).toString()
                .contains(QLatin1String("GoPro"), Qt::CaseInsensitive))
            record.isGoPro = true;
        if (textIs(stream, QStringLiteral("codec_type"), QStringLiteral("video")))
            record.videoStream = stream;
    }
}

} // namespace

FileData recordFromProbe(const QJsonObject &json)
{
    FileData record;
    record.format = json.value(QStringLiteral("format")).toObject();
    record.streams = json.value(QStringLiteral("streams")).toArray();
    QJsonArray audio;
    if (textIs(record.format, QStringLiteral("format_name"), QStringLiteral("wav")))
        fillFromWavProbe(record, audio);
    else
        fillFromMediaProbe(record, audio);
    record.duration = record.format.value(QStringLiteral("duration")).toString().toDouble();
    record.audioStreams = audio;
    return record;
}

double videoReferenceSeconds(const FileData &fileData, int streamIndex)
{
    constexpr double largestOffsetSeconds = 60.0;
    if (!fileData.hasVideo() || streamIndex < 0 || streamIndex >= fileData.streams.size())
        return 0.0;
    bool videoOk = false;
    bool audioOk = false;
    const double video = fileData.videoStream.value(QStringLiteral("start_time")).toString().toDouble(&videoOk);
    const double audio = fileData.streams.at(streamIndex).toObject()
                             .value(QStringLiteral("start_time")).toString().toDouble(&audioOk);
    const double offset = video - audio;
    // The probe prints microseconds; less than one is no offset.
    if (!videoOk || !audioOk || std::abs(offset) >= largestOffsetSeconds || std::abs(offset) < 0.5e-6)
        return 0.0;
    return offset;
}

