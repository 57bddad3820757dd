#include "ExportCommand.h"
#include "AudioCodecs.h"
#include "VideoFormat.h"

#include <algorithm>

namespace {

const QString wavSuffix = QStringLiteral("wav");

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString panFilter(const QVector<int> &keptChannels)
{
    const int count = keptChannels.size();
    QString filter = QStringLiteral("pan=")
                     + (count == 1 ? QStringLiteral("mono") : QStringLiteral("%1 channels").arg(count));
    for (int out = 0; out < count; ++out)
        filter += QStringLiteral("|c%1=c%2").arg(out).arg(keptChannels.at(out));
    return filter;
}

} // namespace

ExportCommand::ExportCommand(const FileData &fileData, const ExportOptions &exportOptions)
    : file(fileData), options(exportOptions)
{
    const VideoExportType type = options.videoExportType;
    if (sameText(file.suffix, wavSuffix))
        outputContainer = Container::Wav;
    else if (ExportTypes::isMxf(type))
        outputContainer = Container::Mxf;
    else if (ExportTypes::isQuickTime(type))
        outputContainer = Container::QuickTime;
    else if (sameText(file.suffix, QStringLiteral("mts")) || sameText(file.suffix, QStringLiteral("mp4")))
        outputContainer = Container::QuickTime;
    else
        outputContainer = Container::Unchanged;

    if (!options.muteAudioTC)
        variant = 1;
    else if (outputContainer == Container::Wav)
        variant = 2;
    else if (!ExportTypes::isMxf(type) && !ExportTypes::isQuickTime(type) && type != VideoExportType::PassThrough)
        variant = 1; // no muting rule for it; still keep every stream
    else if (outputContainer == Container::Mxf && !sameText(file.suffix, QStringLiteral("mxf")))
        variant = 3;
    else
        variant = 2;

    planAudio();
    matchRates();
}

bool ExportCommand::isDnxhdType() const
{
    return ExportTypes::isDnxhd(options.videoExportType);
}

QVector<int> ExportCommand::audioStreamIndexList() const
{
    QVector<int> indexes;
    for (char index : file.audioStreamIndexes)
        indexes.append(static_cast<signed char>(index));
    return indexes;
}

QString ExportCommand::audioCodec(int streamIndex) const
{
    switch (options.audioExportType) {
    case AudioExportType::PassThrough: {
        // Our own choice for a codec the table or the container does not take:
        // 24-bit PCM keeps any 16/24-bit source whole and every container takes it.
        const QString name = file.streamAt(streamIndex).codecName;
        const QString containerSuffix = targetExtension().mid(1);
        if (AudioCodecs::table().contains(name) && AudioCodecs::acceptedBy(containerSuffix).contains(name))
            return name;
        return QStringLiteral("pcm_s24le");
    }
    case AudioExportType::Pcm24:
        return QStringLiteral("pcm_s24le");
    default:
        return QStringLiteral("pcm_s16le");
    }
}

QString ExportCommand::muteCodec() const
{
    return options.audioExportType == AudioExportType::Pcm24 ? QStringLiteral("pcm_s24le") : QStringLiteral("pcm_s16le");
}

void ExportCommand::planAudio()
{
    const int tcStream = file.audioTCStreamIndex;
    for (int index : audioStreamIndexList()) {
        AudioOutput output;
        output.streamIndex = index;
        output.sourceChannels = file.streamAt(index).channels;
        output.codec = variant == 3 ? muteCodec() : audioCodec(index);
        if (variant != 1 && index == tcStream) {
            if (output.sourceChannels <= 1)
                continue; // a mono timecode stream is left out
            const int tcChannel = file.audioTCChannel;
            if (tcChannel >= 0 && tcChannel < output.sourceChannels)
                for (int channel = 0; channel < output.sourceChannels; ++channel)
                    if (channel != tcChannel)
                        output.keptChannels.append(channel);
        }
        audioOutputs.append(output);
    }
    for (const AudioOutput &output : qAsConst(audioOutputs))
        if (output.codec != audioOutputs.first().codec)
            codecsDiffer = true;
}

QStringList ExportCommand::codecArguments(int outputIndex, const QString &codec, bool perStream) const
{
    // A bare "-acodec" applies to every audio stream, the last one given
    // winning; streams that need different codecs get one each.
    if (codecsDiffer && perStream)
        return {QStringLiteral("-c:a:%1").arg(outputIndex), codec};
    return {QStringLiteral("-acodec"), codec};
}

QStringList ExportCommand::audioArguments() const
{
    QStringList args;
    if (outputContainer == Container::Wav) {
        args << QStringLiteral("-write_bext") << QStringLiteral("1");
    } else {
        // "?": a source without video stays exportable. Data streams are not
        // mapped: a copied timecode track would override "-timecode".
        args << QStringLiteral("-map") << QStringLiteral("0:v?");
        if (variant == 3)
            args << QStringLiteral("-map") << QStringLiteral("-0:d");
    }

    for (int k = 0; k < audioOutputs.size(); ++k) {
        const AudioOutput &output = audioOutputs.at(k);
        args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(output.streamIndex);
        if (!output.keptChannels.isEmpty())
            args << QStringLiteral("-filter:a:%1").arg(k) << panFilter(output.keptChannels);
        if (variant != 1)
            args << codecArguments(k, output.codec, true);
    }

    if (variant == 1) {
        if (codecsDiffer) {
            for (int k = 0; k < audioOutputs.size(); ++k)
                args << codecArguments(k, audioOutputs.at(k).codec, true);
        } else if (!audioOutputs.isEmpty()) {
            args << QStringLiteral("-acodec") << audioOutputs.first().codec;
        } else if (options.audioExportType != AudioExportType::PassThrough) {
            args << QStringLiteral("-acodec") << audioCodec(-1);
        }
    }
    return args;
}

QStringList ExportCommand::videoArguments() const
{
    if (outputContainer == Container::Wav)
        return {};
    const VideoExportType type = options.videoExportType;
    if (type == VideoExportType::MxfMpeg2 || isDnxhdType())
        return VideoFormat::transcodeArguments(type, file.videoStream().rFrameRate);
    return {QStringLiteral("-vcodec"), QStringLiteral("copy")};
}

bool ExportCommand::copiesVideo() const
{
    return !writesWav() && ExportTypes::copiesVideo(options.videoExportType);
}

bool ExportCommand::writesQuickTime() const
{
    return outputContainer == Container::QuickTime
           || (outputContainer == Container::Unchanged && sameText(file.suffix, QStringLiteral("mov")));
}

// The "-r" a transcode gets after "-timecode", only where it names the rate
// the video is written at anyway: the timecode never re-times the picture
// (a 29.97 clip with 30 fps LTC would get duplicated frames), and a copied
// video is not re-timed at all.
QString ExportCommand::timecodeRateArgument() const
{
    if (!writesTimecode() || copiesVideo())
        return {};
    const AudioTCReading &reading = file.audioTCReading;
    const int base = reading.frameRateBase;
    QString rate;
    if (!reading.ntsc)
        rate = QString::number(base);
    else if (options.videoExportType == VideoExportType::MxfMpeg2)
        rate = QStringLiteral("%1/1001").arg(base * 1000);
    const Fraction videoRate = outputVideoRate();
    // No video: nothing to re-time.
    return videoRate.text().isEmpty() || Fraction::fromText(rate).sameRate(videoRate) ? rate : QString();
}

// The rate of the written video: the source's, or the "-r" of a DNxHD row.
Fraction ExportCommand::outputVideoRate() const
{
    if (writesWav() || !file.hasVideo())
        return {};
    const QStringList video = videoArguments();
    const int r = video.lastIndexOf(QStringLiteral("-r"));
    return r >= 0 && r + 1 < video.size() ? Fraction::fromText(video.at(r + 1)) : file.videoStream().rFrameRate;
}

// The timecode track runs at the video's rate; any other pair is refused.
void ExportCommand::matchRates()
{
    timecodeMultiplier = 1;
    if (writesTimecode())
        timecodeMultiplier = VideoFormat::timecodeMultiplier(file.audioTCReading, outputVideoRate(), &rateMismatch);
}

QString ExportCommand::refusal(int *code) const
{
    *code = ResultCode::Ok;
    // A timecode read at a forced rate its own signal contradicts would be
    // written wrong (a time reference off by seconds): nothing is written.
    const AudioTCReading &reading = file.audioTCReading;
    if (reading.contradictsSignal()) {
        *code = ResultCode::RateContradictsSignal;
        return reading.rateContradiction();
    }
    const QString video = videoRefusal();
    if (!video.isEmpty()) {
        *code = ResultCode::NoVideoProfile;
        return video;
    }
    if (timecodeMultiplier == 0) {
        *code = ResultCode::RateMismatch;
        return rateMismatch;
    }
    const bool noVideo = writesWav() || !file.hasVideo();
    if (variant != 1 && noVideo && audioOutputs.isEmpty() && !audioStreamIndexList().isEmpty()) {
        *code = ResultCode::LeftOutOnlyTimecodeChannel;
        return ResultCode::text(*code);
    }
    return {};
}

QString ExportCommand::videoRefusal() const
{
    if (writesWav() || copiesVideo() || !file.hasVideo())
        return {};
    return VideoFormat::transcodeRefusal(options.videoExportType, file.videoStream().rFrameRate);
}

QString ExportCommand::writtenVideoCodec() const
{
    if (copiesVideo())
        return file.videoStream().codecName;
    return options.videoExportType == VideoExportType::MxfMpeg2 ? QStringLiteral("mpeg2video") : QStringLiteral("dnxhd");
}

QString ExportCommand::writtenTimecode() const
{
    if (timecodeMultiplier <= 1)
        return file.audioTC;
    // Only the frames change: hh:mm:ss stay, and a drop-frame label keeps its
    // separator (frames 0-1 dropped at 29.97 are frames 0-3 at 59.94).
    const int split = std::max(file.audioTC.lastIndexOf(QLatin1Char(':')),
                               std::max(file.audioTC.lastIndexOf(QLatin1Char(';')),
                                        file.audioTC.lastIndexOf(QLatin1Char('.'))));
    if (split < 0)
        return file.audioTC;
    const int frames = file.audioTC.mid(split + 1).toInt() * timecodeMultiplier;
    return file.audioTC.left(split + 1) + QStringLiteral("%1").arg(frames, 2, 10, QLatin1Char('0'));
}

QString ExportCommand::sourceReelName() const
{
    if (!file.probe.format.reelName.isEmpty())
        return file.probe.format.reelName;
    for (const ProbeStream &stream : file.probe.streams)
        if (!stream.reelName.isEmpty())
            return stream.reelName;
    return {};
}

// ffmpeg drops creation_time on its own, and the reel name sits on the source's
// timecode track, which is not copied (its old timecode would win): both are
// given again. Everything else is copied as it is.
QStringList ExportCommand::metadataArguments() const
{
    if (writesWav())
        return {};
    QStringList args;
    const QString &created = file.probe.format.creationTime;
    if (!created.isEmpty())
        args << QStringLiteral("-metadata") << QStringLiteral("creation_time=") + created;
    const QString reel = sourceReelName();
    if (!reel.isEmpty() && writesQuickTime() && file.hasVideo())
        args << QStringLiteral("-metadata:s:v:0") << QStringLiteral("reel_name=") + reel;
    return args;
}

bool ExportCommand::writesTimecode() const
{
    return file.hasAudioTC && !writesWav();
}

bool ExportCommand::writesTimeReference() const
{
    return file.hasAudioTC && writesWav();
}

qint64 ExportCommand::timeReference() const
{
    const AudioTCReading &reading = file.audioTCReading;
    const qint64 samples = reading.samplesSinceMidnight;
    // Recorders stamp NTSC non-drop takes with the label's frame count times the
    // real samples per frame; the decoder counts at the nominal rate.
    if (reading.ntsc && !reading.dropFrame)
        return (samples * 1001 + 500) / 1000;
    return samples;
}

QString ExportCommand::speedLine() const
{
    if (!file.hasAudioTC)
        return {};
    const AudioTCReading &reading = file.audioTCReading;
    // The report prints rates with two decimals (23.98); the NTSC rate is
    // taken from the whole base rate so that 23.976 reads as recorders write it.
    double rate = reading.frameRateFound;
    if (reading.ntsc)
        rate = reading.frameRateBase * 1000.0 / 1001.0;
    const bool drop = reading.dropFrame;
    return QStringLiteral("sSPEED=%1-%2").arg(rate, 7, 'f', 3, QLatin1Char('0'))
        .arg(drop ? QStringLiteral("DF") : QStringLiteral("ND"));
}

QStringList ExportCommand::timecodeArguments() const
{
    if (!file.hasAudioTC)
        return {};
    if (writesWav())
        return {QStringLiteral("-metadata"), QStringLiteral("time_reference=%1").arg(timeReference()),
                QStringLiteral("-metadata"), QStringLiteral("comment=") + speedLine()};

    QStringList args{QStringLiteral("-timecode"), writtenTimecode()};
    const QString rate = timecodeRateArgument();
    if (!rate.isEmpty())
        args << QStringLiteral("-r") << rate;
    return args;
}

QStringList ExportCommand::arguments(const QString &targetPath) const
{
    QStringList args{QStringLiteral("-y"), QStringLiteral("-i"), file.filePath};
    args << audioArguments() << videoArguments() << metadataArguments() << timecodeArguments() << targetPath;
    return args;
}

QString ExportCommand::targetExtension() const
{
    switch (outputContainer) {
    case Container::QuickTime: return QStringLiteral(".MOV");
    case Container::Mxf: return QStringLiteral(".MXF");
    case Container::Wav: return QStringLiteral(".WAV");
    case Container::Unchanged: break;
    }
    return QStringLiteral(".") + file.suffix;
}

QString ExportCommand::targetPath(int counter) const
{
    QString name = file.baseName;
    if (counter > 0)
        name += QStringLiteral("_%1").arg(counter);
    return options.targetFolderPath + QLatin1Char('/') + name + targetExtension();
}

qint64 ExportCommand::bytesPerStep(qint64 expectedSize) const
{
    const int units = std::max(1, options.progressUnitsPerFile);
    const VideoExportType type = options.videoExportType;
    if (writesWav() || !(type == VideoExportType::MxfMpeg2 || isDnxhdType()))
        return expectedSize / units;

    const qint64 bits = VideoFormat::transcodeBitRate(type, file.videoStream().rFrameRate);
    return static_cast<qint64>(file.duration * double(bits) * 0.125 / units);
}

QVector<int> ExportCommand::writtenChannels() const
{
    QVector<int> channels;
    for (const AudioOutput &output : audioOutputs)
        channels.append(output.keptChannels.isEmpty() ? output.sourceChannels : output.keptChannels.size());
    return channels;
}
