#include "FileData.h"

#include "TimeText.h"

#include <cmath>

namespace FD {

namespace {

void appendAudioStream(FileData &record, int position)
{
    record.audioStreamIndexes.append(static_cast<char>(static_cast<qint8>(position)));
}

// The WAV branch: the time reference is the file timecode.
void fillFromWavProbe(FileData &record)
{
    const qint64 timeReference = record.probe.format.timeReferenceSamples();
    qint32 sampleRate = 0;
    qint32 channelSum = 0;
    for (int i = 0; i < record.probe.streams.size(); ++i) {
        const ProbeStream &stream = record.probe.streams.at(i);
        if (!stream.isAudio())
            continue;
        appendAudioStream(record, i);
        if (stream.sampleRate != 0)
            sampleRate = stream.sampleRate;
        channelSum += stream.channels;
    }
    record.audioChannelCount = channelSum;
    if (sampleRate > 0 && timeReference > 0)
        record.setTimeReference(timeReference, sampleRate);
}

// Every other format: format tags first, else the last timecode track.
void fillFromMediaProbe(FileData &record)
{
    const ProbeFormat &format = record.probe.format;
    if (format.hasTimecode)
        record.setFileTC(format.timecode);

    for (int i = 0; i < record.probe.streams.size(); ++i) {
        const ProbeStream &stream = record.probe.streams.at(i);
        if (!format.hasTimecode && stream.isTimecodeTrack())
            record.setFileTC(stream.timecode);
        if (stream.isAudio())
            appendAudioStream(record, i);
        if (stream.encoder.contains(QLatin1String("GoPro"), Qt::CaseInsensitive))
            record.isGoPro = true;
        if (stream.isVideo())
            record.videoStreamPosition = i;
    }
}

const ProbeStream &noStream()
{
    static const ProbeStream none;
    return none;
}

} // namespace

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

FileData FileData::fromProbe(const ProbeRecord &probe)
{
    FileData record;
    record.probe = probe;
    if (probe.format.isWav())
        fillFromWavProbe(record);
    else
        fillFromMediaProbe(record);
    record.duration = probe.format.duration;
    return record;
}

void FileData::takeProbeMembers(const FileData &probed)
{
    probe = probed.probe;
    videoStreamPosition = probed.videoStreamPosition;
    isGoPro = probed.isGoPro;
    audioStreamIndexes = probed.audioStreamIndexes;
    audioChannelCount = probed.audioChannelCount;
}

const ProbeStream &FileData::streamAt(int position) const
{
    return position >= 0 && position < probe.streams.size() ? probe.streams.at(position) : noStream();
}

const ProbeStream &FileData::videoStream() const
{
    return streamAt(videoStreamPosition);
}

QVector<ProbeStream> FileData::audioStreams() const
{
    QVector<ProbeStream> audio;
    for (char position : audioStreamIndexes)
        audio.append(streamAt(static_cast<signed char>(position)));
    return audio;
}

// An extracted WAV begins at its stream's first sample, and in transport
// streams and some MP4/MOV files that lies apart from the video's. 0 without
// video, without both times, or for an offset too large to be one between two
// streams of a recording.
double FileData::videoReferenceSeconds(int streamPosition) const
{
    constexpr double largestOffsetSeconds = 60.0;
    if (!hasVideo() || streamPosition < 0 || streamPosition >= probe.streams.size())
        return 0.0;
    const ProbeStream &video = videoStream();
    const ProbeStream &audio = probe.streams.at(streamPosition);
    const double offset = video.startTime - audio.startTime;
    // The probe prints microseconds; less than one is no offset.
    if (!video.hasStartTime || !audio.hasStartTime || std::abs(offset) >= largestOffsetSeconds
        || std::abs(offset) < 0.5e-6)
        return 0.0;
    return offset;
}

void FileData::setFileTC(const QString &tc)
{
    fileTC = tc;
    hasFileTC = true;
}

void FileData::setTimeReference(qint64 samples, qint32 sampleRate)
{
    timeReference = samples;
    fileTC = TimeText::samplePosition(samples, sampleRate);
    hasFileTC = true;
}

void FileData::setAudioTC(const QString &text, QPair<qint32, qint32> streamIndexAndChannel)
{
    audioTC = text;
    audioTCStreamIndex = streamIndexAndChannel.first;
    audioTCChannel = streamIndexAndChannel.second;
    hasAudioTC = true;
}

void FileData::setLinkedAudioTC(qint32 row, const QString &text, const AudioTCReading &reading)
{
    audioTC = text;
    audioTCLinkedRow = row;
    audioTCReading = reading;
    audioTCLinked = true;
    hasAudioTC = true;
}

void FileData::clearAudioTC()
{
    audioTC.clear();
    audioTCLinkedRow = -1;
    audioTCStreamIndex = -1;
    audioTCChannel = -1;
    audioTCReading = AudioTCReading();
    audioTCLinked = false;
    hasAudioTC = false;
}

int FileData::audioChannelTotal() const
{
    int total = 0;
    for (const ProbeStream &stream : audioStreams())
        total += stream.channels;
    return total;
}

} // namespace FD
