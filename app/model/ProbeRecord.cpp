#include "ProbeRecord.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QVariant>

namespace {

// A member that is missing or null counts as absent.
bool has(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return !value.isUndefined() && !value.isNull();
}

// ffprobe writes counts and times as text, sizes and channels as numbers;
// either is read.
qint64 countOf(const QJsonObject &object, const QString &key)
{
    bool ok = false;
    const qint64 count = object.value(key).toVariant().toLongLong(&ok);
    return ok && count >= 0 ? count : -1;
}

double secondsOf(const QJsonObject &object, const QString &key, bool *ok = nullptr)
{
    return object.value(key).toVariant().toString().toDouble(ok);
}

ProbeStream streamFrom(const QJsonObject &json)
{
    const QJsonObject tags = json.value(QStringLiteral("tags")).toObject();
    ProbeStream stream;
    stream.index = json.value(QStringLiteral("index")).toInt(-1);
    stream.codecType = json.value(QStringLiteral("codec_type")).toString();
    stream.codecName = json.value(QStringLiteral("codec_name")).toString();
    stream.codecTag = json.value(QStringLiteral("codec_tag_string")).toString();
    stream.channels = json.value(QStringLiteral("channels")).toInt();
    stream.channelLayout = json.value(QStringLiteral("channel_layout")).toString();
    stream.sampleRate = json.value(QStringLiteral("sample_rate")).toVariant().toString().toInt();
    stream.bitsPerSample = json.value(QStringLiteral("bits_per_sample")).toInt();
    stream.rFrameRate = Fraction::fromText(json.value(QStringLiteral("r_frame_rate")).toString());
    stream.avgFrameRate = Fraction::fromText(json.value(QStringLiteral("avg_frame_rate")).toString());
    stream.timeBase = Fraction::fromText(json.value(QStringLiteral("time_base")).toString());
    stream.startTime = secondsOf(json, QStringLiteral("start_time"), &stream.hasStartTime);
    stream.duration = secondsOf(json, QStringLiteral("duration"));
    stream.nbFrames = countOf(json, QStringLiteral("nb_frames"));
    stream.nbReadPackets = countOf(json, QStringLiteral("nb_read_packets"));
    stream.width = json.value(QStringLiteral("width")).toInt();
    stream.height = json.value(QStringLiteral("height")).toInt();
    stream.hasTimecode = tags.contains(QStringLiteral("timecode"));
    stream.timecode = tags.value(QStringLiteral("timecode")).toString();
    stream.encoder = tags.value(QStringLiteral("encoder")).toString();
    stream.reelName = tags.value(QStringLiteral("reel_name")).toString();
    return stream;
}

ProbeFormat formatFrom(const QJsonObject &json)
{
    const QJsonObject tags = json.value(QStringLiteral("tags")).toObject();
    ProbeFormat format;
    format.formatName = json.value(QStringLiteral("format_name")).toString();
    format.hasDuration = json.contains(QStringLiteral("duration"));
    format.duration = secondsOf(json, QStringLiteral("duration"));
    format.hasTimecode = has(tags, QStringLiteral("timecode"));
    format.timecode = tags.value(QStringLiteral("timecode")).toString();
    format.creationTime = tags.value(QStringLiteral("creation_time")).toString();
    format.timeReference = tags.value(QStringLiteral("time_reference")).toString();
    format.comment = tags.value(QStringLiteral("comment")).toString();
    format.description = tags.value(QStringLiteral("description")).toString();
    format.reelName = tags.value(QStringLiteral("reel_name")).toString();
    return format;
}

} // namespace

ProbeRecord ProbeRecord::fromJson(const QJsonObject &json)
{
    const QJsonObject format = json.value(QStringLiteral("format")).toObject();
    ProbeRecord record;
    record.valid = !format.isEmpty();
    record.format = formatFrom(format);
    for (const QJsonValue &stream : json.value(QStringLiteral("streams")).toArray())
        record.streams.append(streamFrom(stream.toObject()));
    return record;
}

int ProbeRecord::firstVideoPosition() const
{
    for (int i = 0; i < streams.size(); ++i)
        if (streams.at(i).isVideo())
            return i;
    return -1;
}
