#include "ExportCheck.h"
#include "ProbeJob.h"
#include "VideoFormat.h"

#include <cmath>

ExportCheck::ExportCheck(const ExportCommand &exportCommand)
    : command(exportCommand)
{
}

ExportCheck::ExportCheck(const FileData &fileData, const ExportOptions &options)
    : command(fileData, options)
{
}

QStringList ExportCheck::probeArguments(const QString &writtenPath)
{
    // The import's probe, with the packets of every stream counted: MXF
    // gives no frame count otherwise.
    QStringList args = ProbeJob::arguments(writtenPath);
    args.insert(args.size() - 1, QStringLiteral("-count_packets"));
    return args;
}

qint64 ExportCheck::sourceFrameCount() const
{
    const ProbeStream &source = command.source().videoStream();
    if (source.nbFrames > 0)
        return source.nbFrames;
    // Containers without a frame count (MXF, MPEG-TS) give the stream's length.
    const Fraction &rate = source.avgFrameRate.isValid() ? source.avgFrameRate : source.rFrameRate;
    if (source.duration > 0.0 && rate.isValid())
        return qRound64(source.duration * rate.value());
    return -1;
}

// The picture as asked: the chosen codec (the source's for a copy) at the
// source's rate, every frame of it, at the size written.
QString ExportCheck::videoMismatch(const ProbeStream *writtenVideo) const
{
    if (!writtenVideo)
        return QStringLiteral("no video in the written file");
    const ProbeStream &written = *writtenVideo;
    const ProbeStream &source = command.source().videoStream();
    const QString codec = command.writtenVideoCodec();
    if (!codec.isEmpty() && written.codecName != codec)
        return QStringLiteral("video codec %1 in the written file instead of %2").arg(written.codecName, codec);

    // Either member of a pair may carry the rate: the nominal or the average.
    const Fraction &sourceRate = source.rFrameRate;
    const Fraction &writtenRate = written.rFrameRate;
    if (sourceRate.isValid() && !writtenRate.sameRate(sourceRate) && !writtenRate.sameRate(source.avgFrameRate)
        && !written.avgFrameRate.sameRate(sourceRate)) {
        const QString writtenText = writtenRate.isValid() ? VideoFormat::rateText(writtenRate.value())
                                                          : QStringLiteral("an unknown rate");
        return QStringLiteral("video at %1 fps in the written file instead of %2 fps")
            .arg(writtenText, VideoFormat::rateText(sourceRate.value()));
    }

    const int width = command.copiesVideo() ? source.width : 1920;
    const int height = command.copiesVideo() ? source.height : 1080;
    if (width > 0 && (written.width != width || written.height != height))
        return QStringLiteral("frame size %1x%2 in the written file instead of %3x%4")
            .arg(written.width).arg(written.height).arg(width).arg(height);

    const qint64 frames = sourceFrameCount();
    const qint64 writtenFrames = written.nbReadPackets >= 0 ? written.nbReadPackets : written.nbFrames;
    if (frames >= 0 && writtenFrames < 0)
        return QStringLiteral("the video frames of the written file could not be counted");
    if (frames >= 0 && std::abs(writtenFrames - frames) > 1)
        return QStringLiteral("%1 video frames in the written file instead of %2").arg(writtenFrames).arg(frames);
    return {};
}

QString ExportCheck::outputMismatch(const ProbeRecord &probe) const
{
    if (!probe.valid)
        return QStringLiteral("the written file could not be probed");
    const FileData &file = command.source();

    const ProbeFormat &format = probe.format;
    QVector<ProbeStream> audio;
    const ProbeStream *video = nullptr;
    QStringList timecodes;
    QStringList reelNames;
    ProbeStream timecodeTrack;
    if (format.hasTimecode)
        timecodes << format.timecode;
    for (const ProbeStream &stream : probe.streams) {
        if (stream.isAudio())
            audio.append(stream);
        else if (stream.isVideo() && !video)
            video = &stream;
        else if (stream.isTimecodeTrack())
            timecodeTrack = stream;
        if (stream.hasTimecode)
            timecodes << stream.timecode;
        if (!stream.reelName.isEmpty())
            reelNames << stream.reelName;
    }

    // A file cut short (a full disk, a tool that gave up) is not a copy.
    if (format.hasDuration && file.duration > 1.0 && format.duration < file.duration * 0.9 - 0.1)
        return QStringLiteral("the written file holds %1 s of %2 s")
            .arg(format.duration, 0, 'f', 2).arg(file.duration, 0, 'f', 2);

    if (!command.writesWav() && file.hasVideo()) {
        const QString videoDiffers = videoMismatch(video);
        if (!videoDiffers.isEmpty())
            return videoDiffers;
    }

    const QVector<int> channels = command.writtenChannels();
    if (audio.size() != channels.size())
        return QStringLiteral("%1 audio streams written instead of %2").arg(audio.size()).arg(channels.size());
    for (int k = 0; k < audio.size(); ++k) {
        const int expected = channels.at(k);
        const int written = audio.at(k).channels;
        if (expected > 0 && written != expected)
            return QStringLiteral("audio stream %1 has %2 channels instead of %3").arg(k).arg(written).arg(expected);
    }

    if (command.writesTimecode()) {
        if (timecodes.isEmpty())
            return QStringLiteral("no timecode in the written file");
        const QString expected = command.writtenTimecode();
        for (const QString &timecode : qAsConst(timecodes))
            if (timecode != expected)
                return QStringLiteral("timecode %1 in the written file instead of %2").arg(timecode, expected);
    }

    // The timecode track of a copied video runs at the video's rate. (The
    // muxer may choose a finer time base for a coarse one, as QuickTime's 600:
    // the same timing, so the time base itself is not compared.)
    if (command.copiesVideo() && file.hasVideo()) {
        // The track may take the video's nominal or its average rate.
        const Fraction &sourceRate = file.videoStream().rFrameRate;
        const Fraction &trackRate = timecodeTrack.avgFrameRate;
        if (sourceRate.isValid() && trackRate.isValid() && !trackRate.sameRate(sourceRate)
            && !trackRate.sameRate(file.videoStream().avgFrameRate))
            return QStringLiteral("timecode track at %1 fps instead of the video's %2")
                .arg(VideoFormat::rateText(trackRate.value()), VideoFormat::rateText(sourceRate.value()));
    }

    if (!command.writesWav()) {
        const QString &created = file.probe.format.creationTime;
        const QString &writtenCreated = format.creationTime;
        if (!created.isEmpty() && command.writesQuickTime() && writtenCreated != created)
            return writtenCreated.isEmpty()
                       ? QStringLiteral("creation time %1 missing in the written file").arg(created)
                       : QStringLiteral("creation time %1 in the written file instead of %2").arg(writtenCreated, created);
        const QString reel = command.sourceReelName();
        if (!reel.isEmpty() && command.writesQuickTime() && file.hasVideo() && !reelNames.contains(reel))
            return QStringLiteral("reel name %1 missing in the written file").arg(reel);
    }
    if (command.writesTimeReference()) {
        const QString &written = format.timeReference;
        if (written != QString::number(command.timeReference()))
            return QStringLiteral("time reference %1 written instead of %2").arg(written).arg(command.timeReference());
    }
    return {};
}
