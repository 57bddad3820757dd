#include "ExportCommand.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

const QString wavSuffix = QStringLiteral("wav");

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Codecs each muxer of our ffmpeg takes (measured with ffmpeg 5.1).
const QSet<QString> &codecsAcceptedBy(ExportCommand::Container container, const QString &suffix)
{
    static const QSet<QString> mxf{QStringLiteral("pcm_s16le"), QStringLiteral("pcm_s24le")};
    static const QSet<QString> wav{
        QStringLiteral("pcm_s24le"), QStringLiteral("pcm_s16le"), QStringLiteral("pcm_s32le"),
        QStringLiteral("pcm_alaw"),  QStringLiteral("pcm_f32le"), QStringLiteral("pcm_f64le"),
        QStringLiteral("pcm_mulaw"), QStringLiteral("pcm_u8"),    QStringLiteral("aac"),
        QStringLiteral("ac3")};
    static const QSet<QString> quickTime = [] {
        QSet<QString> all;
        for (const QString &name : ExportCommand::codecTable())
            if (!name.startsWith(QLatin1String("pcm_u")) || name == QLatin1String("pcm_u8"))
                all.insert(name);
        return all;
    }();
    static const QSet<QString> any(ExportCommand::codecTable().begin(), ExportCommand::codecTable().end());

    switch (container) {
    case ExportCommand::Container::QuickTime: return quickTime;
    case ExportCommand::Container::Mxf: return mxf;
    case ExportCommand::Container::Wav: return wav;
    case ExportCommand::Container::Unchanged: break;
    }
    if (sameText(suffix, QStringLiteral("mov")))
        return quickTime;
    if (sameText(suffix, QStringLiteral("mxf")))
        return mxf;
    return any;
}

// "36M" -> 36000000
qint64 bitsPerSecond(const QString &bitRate)
{
    return bitRate.left(bitRate.size() - 1).toLongLong() * 1000000;
}

// The rates MPEG-2 codes exactly, all of which the MXF muxer takes. ffmpeg's
// encoder moves any other to a near one (48000/1001 becomes 48).
bool isMpeg2Rate(const Fraction &rate)
{
    static const char *const rates[] = {"24000/1001", "24", "25", "30000/1001", "30", "50", "60000/1001", "60"};
    for (const char *mpeg2Rate : rates)
        if (rate.sameRate(Fraction::fromText(QString::fromLatin1(mpeg2Rate))))
            return true;
    return false;
}

// 25, 29.97, 23.98: as people say rates.
QString rateText(double rate)
{
    return QString::number(qRound(rate * 100.0) / 100.0, 'f', 2).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
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

const QStringList &ExportCommand::codecTable()
{
    static const QStringList table{
        QStringLiteral("pcm_s24be"), QStringLiteral("pcm_s24le"), QStringLiteral("pcm_s16be"),
        QStringLiteral("pcm_s16le"), QStringLiteral("pcm_s32be"), QStringLiteral("pcm_s32le"),
        QStringLiteral("pcm_alaw"),  QStringLiteral("pcm_f32be"), QStringLiteral("pcm_f32le"),
        QStringLiteral("pcm_f64be"), QStringLiteral("pcm_f64le"), QStringLiteral("pcm_mulaw"),
        QStringLiteral("pcm_s8"),    QStringLiteral("pcm_u16be"), QStringLiteral("pcm_u16le"),
        QStringLiteral("pcm_u24be"), QStringLiteral("pcm_u24le"), QStringLiteral("pcm_u32be"),
        QStringLiteral("pcm_u32le"), QStringLiteral("pcm_u8"),    QStringLiteral("aac"),
        QStringLiteral("ac3"),
    };
    return table;
}

bool ExportCommand::dnxhdRow(VideoExportType videoType, const Fraction &rFrameRate, DnxhdRow *row)
{
    // Columns: types 2/6, 3/7, 4/8. 50, 59.94 and 60 take the standard 1080p
    // profiles of twice the rate of the 25 and 29.97/30 rows (DNxHD 75, 240,
    // 365x; 90, 290, 440), which ffmpeg's encoder knows by their bit rates.
    struct Rate { int f; const char *rate[3]; const char *format[3]; const char *ntscRate; };
    static const Rate table[] = {
        {23, {"36M", "115M", "175M"}, {"yuv422p", "yuv422p", "yuv422p10"}, "24000/1001"},
        {24, {"36M", "115M", "175M"}, {"yuv422p", "yuv422p", "yuv422p10"}, nullptr},
        {25, {"36M", "120M", "185M"}, {"yuv422p", "yuv422p", "yuv422p10"}, nullptr},
        {29, {"45M", "145M", "220M"}, {"yuv422p", "yuv422p", "yuv422p"}, "30000/1001"},
        {30, {"45M", "145M", "220M"}, {"yuv422p", "yuv422p", "yuv422p"}, nullptr},
        {50, {"75M", "240M", "365M"}, {"yuv422p", "yuv422p", "yuv422p10"}, nullptr},
        {59, {"90M", "290M", "440M"}, {"yuv422p", "yuv422p", "yuv422p"}, "60000/1001"},
        {60, {"90M", "290M", "440M"}, {"yuv422p", "yuv422p", "yuv422p"}, nullptr},
    };
    const int column = ExportTypes::dnxhdColumn(videoType);
    if (column < 0)
        return false;
    for (const Rate &entry : table) {
        if (entry.f != rFrameRate.integerPart())
            continue;
        row->bitRate = QString::fromLatin1(entry.rate[column]);
        row->pixelFormat = QString::fromLatin1(entry.format[column]);
        row->frameRate = entry.ntscRate ? QString::fromLatin1(entry.ntscRate) : rFrameRate.text();
        return true;
    }
    return false;
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
        if (codecTable().contains(name) && codecsAcceptedBy(outputContainer, file.suffix).contains(name))
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
    if (type == VideoExportType::MxfMpeg2)
        return {QStringLiteral("-vcodec"), QStringLiteral("mpeg2video"), QStringLiteral("-b:v"),
                QStringLiteral("50M"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv422p"),
                QStringLiteral("-s"), QStringLiteral("1920x1080")};
    if (isDnxhdType()) {
        DnxhdRow row;
        if (!dnxhdRow(type, file.videoStream().rFrameRate, &row))
            return {};
        return {QStringLiteral("-vcodec"), QStringLiteral("dnxhd"), QStringLiteral("-b:v"), row.bitRate,
                QStringLiteral("-pix_fmt"), row.pixelFormat, QStringLiteral("-s"),
                QStringLiteral("1920x1080"), QStringLiteral("-r"), row.frameRate};
    }
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

// The timecode track runs at the video's rate. The same nominal rate matches
// (an NTSC pair included: the track takes the video's member), and so does a
// whole multiple, with the label converted; any other pair is refused.
void ExportCommand::matchRates()
{
    timecodeMultiplier = 1;
    if (!writesTimecode())
        return;
    const AudioTCReading &reading = file.audioTCReading;
    const int base = reading.frameRateBase;
    const Fraction outputRate = outputVideoRate();
    if (base <= 0 || !outputRate.isValid())
        return;
    const double videoRate = outputRate.value();
    const int nominal = qRound(videoRate);
    if (nominal > 0 && nominal % base == 0) {
        timecodeMultiplier = nominal / base;
        return;
    }
    timecodeMultiplier = 0;
    const double ltcRate = reading.ntsc ? base * 1000.0 / 1001.0 : reading.frameRateFound;
    rateMismatch = QStringLiteral("LTC %1 fps does not match video %2 fps").arg(rateText(ltcRate), rateText(videoRate));
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

// A transcode writes the chosen codec at the video's own rate or nothing:
// without a profile for that rate ffmpeg would fall back to a codec or a
// rate of its own choosing.
QString ExportCommand::videoRefusal() const
{
    if (writesWav() || copiesVideo() || !file.hasVideo())
        return {};
    const Fraction &rFrameRate = file.videoStream().rFrameRate;
    if (!rFrameRate.isValid())
        return QStringLiteral("the video's frame rate is unknown");
    const QString rate = rateText(rFrameRate.value());
    if (options.videoExportType == VideoExportType::MxfMpeg2)
        return isMpeg2Rate(rFrameRate) ? QString() : QStringLiteral("MPEG-2 in MXF cannot be written at %1 fps").arg(rate);
    DnxhdRow row;
    if (!dnxhdRow(options.videoExportType, rFrameRate, &row))
        return QStringLiteral("DNxHD has no 1080p profile at %1 fps").arg(rate);
    return {};
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

    qint64 bits = 50000000;
    if (isDnxhdType()) {
        DnxhdRow row;
        if (dnxhdRow(type, file.videoStream().rFrameRate, &row))
            bits = bitsPerSecond(row.bitRate);
        else if (ExportTypes::dnxhdColumn(type) == 1)
            bits = 120000000;
        else if (ExportTypes::dnxhdColumn(type) == 2)
            bits = 185000000;
        else
            bits = 36000000;
    }
    return static_cast<qint64>(file.duration * double(bits) * 0.125 / units);
}

int ExportCommand::expectedChannels(const AudioOutput &output) const
{
    return output.keptChannels.isEmpty() ? output.sourceChannels : output.keptChannels.size();
}

QStringList ExportCommand::probeArguments(const QString &writtenPath)
{
    return {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
            QStringLiteral("-count_packets"), writtenPath};
}

qint64 ExportCommand::sourceFrameCount() const
{
    const ProbeStream &source = file.videoStream();
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
QString ExportCommand::videoMismatch(const ProbeStream *writtenVideo) const
{
    if (!writtenVideo)
        return QStringLiteral("no video in the written file");
    const ProbeStream &written = *writtenVideo;
    const ProbeStream &source = file.videoStream();
    const QString codec = writtenVideoCodec();
    if (!codec.isEmpty() && written.codecName != codec)
        return QStringLiteral("video codec %1 in the written file instead of %2").arg(written.codecName, codec);

    // Either member of a pair may carry the rate: the nominal or the average.
    const Fraction &sourceRate = source.rFrameRate;
    const Fraction &writtenRate = written.rFrameRate;
    if (sourceRate.isValid() && !writtenRate.sameRate(sourceRate) && !writtenRate.sameRate(source.avgFrameRate)
        && !written.avgFrameRate.sameRate(sourceRate)) {
        const QString writtenText = writtenRate.isValid() ? rateText(writtenRate.value())
                                                          : QStringLiteral("an unknown rate");
        return QStringLiteral("video at %1 fps in the written file instead of %2 fps")
            .arg(writtenText, rateText(sourceRate.value()));
    }

    const int width = copiesVideo() ? source.width : 1920;
    const int height = copiesVideo() ? source.height : 1080;
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

QString ExportCommand::outputMismatch(const ProbeRecord &probe) const
{
    if (!probe.valid)
        return QStringLiteral("the written file could not be probed");

    const ProbeFormat &format = probe.format;
    QVector<ProbeStream> audio;
    const ProbeStream *video = nullptr;
    QStringList timecodes;
    QStringList reelNames;
    ProbeStream timecodeTrack;
    if (format.hasTimecode)
        timecodes << format.timecode;
    for (const ProbeStream &stream : probe.streams) {
        if (stream.codecType == QLatin1String("audio"))
            audio.append(stream);
        else if (stream.codecType == QLatin1String("video") && !video)
            video = &stream;
        else if (stream.codecTag == QLatin1String("tmcd"))
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

    if (!writesWav() && file.hasVideo()) {
        const QString videoDiffers = videoMismatch(video);
        if (!videoDiffers.isEmpty())
            return videoDiffers;
    }

    if (audio.size() != audioOutputs.size())
        return QStringLiteral("%1 audio streams written instead of %2").arg(audio.size()).arg(audioOutputs.size());
    for (int k = 0; k < audio.size(); ++k) {
        const int expected = expectedChannels(audioOutputs.at(k));
        const int written = audio.at(k).channels;
        if (expected > 0 && written != expected)
            return QStringLiteral("audio stream %1 has %2 channels instead of %3").arg(k).arg(written).arg(expected);
    }

    if (writesTimecode()) {
        if (timecodes.isEmpty())
            return QStringLiteral("no timecode in the written file");
        const QString expected = writtenTimecode();
        for (const QString &timecode : qAsConst(timecodes))
            if (timecode != expected)
                return QStringLiteral("timecode %1 in the written file instead of %2").arg(timecode, expected);
    }

    // The timecode track of a copied video runs at the video's rate. (The
    // muxer may choose a finer time base for a coarse one, as QuickTime's 600:
    // the same timing, so the time base itself is not compared.)
    if (copiesVideo() && file.hasVideo()) {
        // The track may take the video's nominal or its average rate.
        const Fraction &sourceRate = file.videoStream().rFrameRate;
        const Fraction &trackRate = timecodeTrack.avgFrameRate;
        if (sourceRate.isValid() && trackRate.isValid() && !trackRate.sameRate(sourceRate)
            && !trackRate.sameRate(file.videoStream().avgFrameRate))
            return QStringLiteral("timecode track at %1 fps instead of the video's %2")
                .arg(rateText(trackRate.value()), rateText(sourceRate.value()));
    }

    if (!writesWav()) {
        const QString &created = file.probe.format.creationTime;
        const QString &writtenCreated = format.creationTime;
        if (!created.isEmpty() && writesQuickTime() && writtenCreated != created)
            return writtenCreated.isEmpty()
                       ? QStringLiteral("creation time %1 missing in the written file").arg(created)
                       : QStringLiteral("creation time %1 in the written file instead of %2").arg(writtenCreated, created);
        const QString reel = sourceReelName();
        if (!reel.isEmpty() && writesQuickTime() && file.hasVideo() && !reelNames.contains(reel))
            return QStringLiteral("reel name %1 missing in the written file").arg(reel);
    }
    if (writesTimeReference()) {
        const QString &written = format.timeReference;
        if (written != QString::number(timeReference()))
            return QStringLiteral("time reference %1 written instead of %2").arg(written).arg(timeReference());
    }
    return {};
}
