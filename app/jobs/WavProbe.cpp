#include "WavProbe.h"

#include "BextChunk.h"
#include "RiffChunks.h"

#include <QFile>
#include <QPair>
#include <QStringList>
#include <QtAlgorithms>
#include <QVector>
#include <QtEndian>

#include <climits>
#include <cstdio>
#include <initializer_list>

namespace {

constexpr quint16 formatPcm = 0x0001;
constexpr quint16 formatFloat = 0x0003;
constexpr quint16 formatExtensible = 0xFFFE;

quint16 le16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar *>(bytes.constData() + at));
}

quint32 le32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar *>(bytes.constData() + at));
}

// ffmpeg's metadata dictionary: keys match ignoring case, and a key set again
// leaves its place to the last entry and goes to the end, which decides
// which of two sources of one tag wins when the names are converted.
using Tags = QVector<QPair<QByteArray, QByteArray>>;

void setTag(Tags &tags, const QByteArray &key, const QByteArray &value)
{
    for (int i = 0; i < tags.size(); ++i) {
        if (qstricmp(tags.at(i).first.constData(), key.constData()) == 0) {
            tags[i] = tags.last();
            tags.removeLast();
            break;
        }
    }
    tags.append({key, value});
}

Tags renamed(const Tags &tags, std::initializer_list<QPair<const char *, const char *>> names)
{
    Tags result;
    for (const auto &tag : tags) {
        QByteArray key = tag.first;
        for (const auto &name : names) {
            if (qstricmp(key.constData(), name.first) == 0) {
                key = name.second;
                break;
            }
        }
        setTag(result, key, tag.second);
    }
    return result;
}

// Fields of the bext chunk, as ffmpeg names them: the texts when not empty,
// the time reference always.
bool readBext(const QByteArray &payload, Tags &tags)
{
    if (payload.size() < BextChunk::fixedSize)
        return false;
    constexpr int origin = BextChunk::originatorOffset;
    static const struct { const char *key; int offset; int size; } texts[] = {
        {"description", 0, BextChunk::descriptionSize}, {"originator", origin, 32},
        {"originator_reference", origin + 32, 32}, {"origination_date", origin + 64, 10},
        {"origination_time", origin + 74, 8}};
    for (const auto &text : texts) {
        const QByteArray value = BextChunk::text(payload.mid(text.offset, text.size));
        if (!value.isEmpty())
            setTag(tags, text.key, value);
    }
    setTag(tags, "time_reference", QByteArray::number(qFromLittleEndian<quint64>(reinterpret_cast<const uchar *>(
                                       payload.constData() + BextChunk::timeReferenceOffset))));
    const QByteArray umid = payload.mid(BextChunk::umidOffset, 64);
    if (le16(payload, BextChunk::versionOffset) >= 1 && umid.count('\0') != 64)
        setTag(tags, "umid", umid.toHex());
    if (payload.size() > BextChunk::fixedSize)
        setTag(tags, "coding_history", BextChunk::text(payload.mid(BextChunk::fixedSize)));
    return true;
}

// The subchunks of a LIST/INFO payload (after "INFO"), each a tag named by its id.
bool readInfo(const QByteArray &list, Tags &tags)
{
    int position = 4;
    while (position + 8 <= list.size()) {
        const QByteArray id = list.mid(position, 4);
        const quint32 size = le32(list, position + 4);
        if (qint64(position) + 8 + size > list.size() || id.count('\0') > 0)
            return false;
        // ffmpeg reads the pad byte of an odd size with the text.
        setTag(tags, id, BextChunk::text(list.mid(position + 8, int(size + (size & 1)))));
        position += 8 + int(size + (size & 1));
    }
    return true;
}

// A channel mask as ffprobe prints it: the name of a standard layout, else
// the channels one by one ("3 channels (FL+FR+BC)").
QString layoutName(quint32 mask)
{
    static const QPair<quint32, const char *> layouts[] = {
        {0x4, "mono"}, {0x3, "stereo"}, {0xB, "2.1"}, {0x7, "3.0"}, {0x103, "3.0(back)"}, {0x107, "4.0"},
        {0x33, "quad"}, {0x603, "quad(side)"}, {0xF, "3.1"}, {0x37, "5.0"}, {0x607, "5.0(side)"},
        {0x10F, "4.1"}, {0x3F, "5.1"}, {0x60F, "5.1(side)"}, {0x707, "6.0"}, {0x6C3, "6.0(front)"},
        {0x137, "hexagonal"}, {0x70F, "6.1"}, {0x13F, "6.1(back)"}, {0x6CB, "6.1(front)"}, {0x637, "7.0"},
        {0x6C7, "7.0(front)"}, {0x63F, "7.1"}, {0xFF, "7.1(wide)"}, {0x6CF, "7.1(wide-side)"},
        {0x737, "octagonal"}, {0x60000000, "downmix"}};
    for (const auto &layout : layouts)
        if (layout.first == mask)
            return QString::fromLatin1(layout.second);
    static const char *const channels[] = {"FL", "FR", "FC", "LFE", "BL", "BR", "FLC", "FRC", "BC",
                                           "SL", "SR", "TC", "TFL", "TFC", "TFR", "TBL", "TBC", "TBR"};
    QStringList names;
    for (int bit = 0; bit < 32; ++bit) {
        if (!(mask & (1u << bit)))
            continue;
        if (bit < 18)
            names << QString::fromLatin1(channels[bit]);
        else
            names << (bit == 29 ? QStringLiteral("DL") : bit == 30 ? QStringLiteral("DR")
                      : bit == 31 ? QStringLiteral("WL") : QStringLiteral("USR%1").arg(bit));
    }
    return QStringLiteral("%1 channels (%2)").arg(names.size()).arg(names.join(QLatin1Char('+')));
}

// The stream from the fmt chunk: codec, its tag, channels, layout, rate, bits.
bool readFormat(const QByteArray &fmt, ProbeStream *stream)
{
    if (fmt.size() < 16)
        return false;
    quint32 tag = le16(fmt, 0);
    const int channels = le16(fmt, 2);
    const quint32 rate = le32(fmt, 4);
    const int blockAlign = le16(fmt, 12);
    int bits = le16(fmt, 14);
    const int bytes = (bits + 7) / 8;
    if (tag == formatExtensible) {
        static const QByteArray mediaSubtype = QByteArray::fromHex("000010008000" "00aa00389b71");
        if (fmt.size() < 40 || le16(fmt, 16) < 22 || fmt.mid(28, 12) != mediaSubtype)
            return false;
        // ffmpeg names the codec by the valid bits; other bytes than the container's are not ours.
        const int valid = le16(fmt, 18);
        if (valid != 0 && (valid + 7) / 8 != bytes)
            return false;
        const quint32 mask = le32(fmt, 20);
        if (mask != 0 && qPopulationCount(mask) != uint(channels))
            return false;
        if (mask != 0)
            stream->channelLayout = layoutName(mask);
        tag = le32(fmt, 24);
        bits = valid != 0 ? valid : bits;
    }
    static const char *const pcmNames[] = {"pcm_u8", "pcm_s16le", "pcm_s24le", "pcm_s32le"};
    if (tag == formatPcm && bytes >= 1 && bytes <= 4)
        stream->codecName = QString::fromLatin1(pcmNames[bytes - 1]);
    else if (tag == formatFloat && bits == 32)
        stream->codecName = QStringLiteral("pcm_f32le");
    else
        return false;
    // ffmpeg refuses hundreds of channels; beyond 64 it is left to it.
    if (channels < 1 || channels > 64 || rate < 1 || rate > quint32(INT_MAX) || blockAlign != channels * bytes)
        return false;
    stream->codecTag = QStringLiteral("[%1][0][0][0]").arg(tag);
    stream->channels = channels;
    stream->sampleRate = int(rate);
    stream->bitsPerSample = 8 * bytes;
    return true;
}

// Seconds as ffprobe prints them ("%f") and ProbeRecord reads them back.
double printedSeconds(double seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", seconds);
    return QString::fromLatin1(text).toDouble();
}

// Tag text as ffprobe's JSON carries it; false for bytes that are not UTF-8.
bool utf8(const Tags &tags, const char *key, QString *text)
{
    for (const auto &tag : tags) {
        if (tag.first == key) {
            // Invalid bytes decode to U+FFFD and so do not come back the same.
            *text = QString::fromUtf8(tag.second);
            return text->toUtf8() == tag.second;
        }
    }
    return true;
}

bool hasTag(const Tags &tags, const char *key)
{
    for (const auto &tag : tags)
        if (tag.first == key)
            return true;
    return false;
}

// The header chunks we read whole; a larger one is damaged or not ours.
constexpr quint32 largestHeaderChunk = 1 << 20;

} // namespace

namespace WavProbe {

bool read(const QString &path, ProbeRecord *record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const RiffChunks riff = RiffChunks::read(file);
    if (riff.form != "RIFF" || !riff.complete)
        return false;

    ProbeStream stream;
    Tags tags;
    const RiffChunks::Chunk *data = nullptr;
    bool formatRead = false;
    for (const RiffChunks::Chunk &chunk : riff.chunks) {
        if (!file.seek(chunk.offset))
            return false;
        // Only the chunks ffmpeg takes something from are read; it skips the
        // others (iXML, cue, junk, ...). A second fmt chunk it ignores.
        const bool header = chunk.id == "fmt " || chunk.id == "bext";
        if (header && chunk.size > largestHeaderChunk)
            return false;
        if (chunk.id == "fmt " && !formatRead) {
            if (!readFormat(file.read(chunk.size), &stream))
                return false;
            formatRead = true;
        } else if (chunk.id == "data") {
            if (data || chunk.size == 0)
                return false;
            data = &chunk;
        } else if (chunk.id == "bext") {
            if (!readBext(file.read(chunk.size), tags))
                return false;
        } else if (chunk.id == "LIST" || chunk.id == "list") {
            // Only an INFO list is read; the others (adtl, ...) by their kind alone.
            const QByteArray kind = chunk.size < 4 ? QByteArray() : file.read(4);
            if (kind.size() < 4)
                return false;
            if (kind == "INFO"
                && (chunk.size > largestHeaderChunk || !readInfo(kind + file.read(chunk.size - 4), tags)))
                return false;
        } else if (chunk.id == "ID3 " || chunk.id == "id3 " || chunk.id == "SMV0" || chunk.id == "XMA2") {
            // Tags and streams of their own.
            return false;
        }
    }
    if (!formatRead || !data)
        return false;

    // ffmpeg's names for the bext fields, then for the INFO ids.
    tags = renamed(tags, {{"description", "comment"}, {"originator", "encoded_by"},
                          {"origination_date", "date"}, {"origination_time", "creation_time"}});
    tags = renamed(tags, {{"IART", "artist"}, {"ICMT", "comment"}, {"ICOP", "copyright"}, {"ICRD", "date"},
                          {"IGNR", "genre"}, {"ILNG", "language"}, {"INAM", "title"}, {"IPRD", "album"},
                          {"IPRT", "track"}, {"ITRK", "track"}, {"ISFT", "encoder"}, {"ISMP", "timecode"},
                          {"ITCH", "encoded_by"}});

    ProbeRecord probed;
    probed.valid = true;
    ProbeFormat &format = probed.format;
    format.formatName = QStringLiteral("wav");
    format.hasTimecode = hasTag(tags, "timecode");
    if (!utf8(tags, "timecode", &format.timecode) || !utf8(tags, "creation_time", &format.creationTime)
        || !utf8(tags, "time_reference", &format.timeReference) || !utf8(tags, "comment", &format.comment))
        return false;

    // The length in whole samples by the data size; the container's in
    // microseconds, rounded to the nearest.
    const qint64 samples = (qint64(data->size) * 8) / (qint64(stream.channels) * stream.bitsPerSample);
    const qint64 rate = stream.sampleRate;
    const qint64 microseconds = (samples * 1000000 + rate / 2) / rate;
    stream.index = 0;
    stream.codecType = QStringLiteral("audio");
    stream.rFrameRate = Fraction::fromText(QStringLiteral("0/0"));
    stream.avgFrameRate = Fraction::fromText(QStringLiteral("0/0"));
    stream.timeBase = Fraction::fromText(QStringLiteral("1/%1").arg(rate));
    stream.duration = printedSeconds(double(samples) * (1.0 / double(rate)));
    format.hasDuration = true;
    format.duration = printedSeconds(double(microseconds) * (1.0 / 1000000.0));
    probed.streams.append(stream);
    *record = probed;
    return true;
}

} // namespace WavProbe
