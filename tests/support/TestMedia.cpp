#include "TestMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>

namespace TestMedia {

namespace {

QString &errorText()
{
    thread_local QString text;
    return text;
}

QString fail(const QString &message)
{
    errorText() = message;
    return QString();
}

QString describe(const QString &program, const QStringList &arguments, const ToolRun &run)
{
    QString text = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (!run.started)
        return text + QStringLiteral(": could not start");
    if (!run.finished)
        return text + QStringLiteral(": timed out");
    return text + QStringLiteral(": exit code %1: %2")
                      .arg(run.exitCode)
                      .arg(QString::fromLocal8Bit(run.standardError).trimmed());
}

// Runs a tool and records a failure; true on success.
bool runOrFail(const QString &program, const QStringList &arguments)
{
    const ToolRun run = runTool(program, arguments);
    if (run.ok())
        return true;
    errorText() = describe(program, arguments, run);
    return false;
}

QString videoRate(const QString &fps)
{
    if (fps == QLatin1String("23.976"))
        return QStringLiteral("24000/1001");
    if (fps == QLatin1String("29.97"))
        return QStringLiteral("30000/1001");
    if (fps == QLatin1String("59.94"))
        return QStringLiteral("60000/1001");
    return fps;
}

QString seconds(double value)
{
    return QString::number(value, 'f', 3);
}

QStringList ltcgenArguments(const QString &outPath, const MediaRecipe &recipe, int stream)
{
    QStringList args{outPath,
                     QStringLiteral("--rate"), QString::number(recipe.sampleRate),
                     QStringLiteral("--fps"), recipe.fps,
                     QStringLiteral("--start"), recipe.ltcStart,
                     QStringLiteral("--seconds"), seconds(recipe.seconds),
                     QStringLiteral("--channels"), QString::number(recipe.channels),
                     QStringLiteral("--ltc-channel"), QString::number(recipe.ltcChannel),
                     QStringLiteral("--format"), QStringLiteral("s16"),
                     QStringLiteral("--level"), QString::number(recipe.ltcLevel)};
    if (recipe.dropFrame)
        args << QStringLiteral("--df");
    for (int channel = 0; channel < recipe.channels; ++channel) {
        if (channel != recipe.ltcChannel)
            args << QStringLiteral("--tone")
                 << QStringLiteral("%1:%2").arg(channel).arg(toneFrequency(stream, channel));
    }
    return args + recipe.ltcgenArguments;
}

// A WAV of tones only, one per channel, at -12 dBFS like ltcgen's.
bool writeToneWav(const QString &outPath, const MediaRecipe &recipe, int stream)
{
    QStringList expressions;
    for (int channel = 0; channel < recipe.channels; ++channel)
        expressions << QStringLiteral("0.25*sin(2*PI*%1*t)").arg(toneFrequency(stream, channel));
    const QString source = QStringLiteral("aevalsrc=%1:s=%2:d=%3")
                               .arg(expressions.join(QLatin1Char('|')))
                               .arg(recipe.sampleRate)
                               .arg(seconds(recipe.seconds));
    return runOrFail(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                      QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source,
                      QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), outPath});
}

bool writeStreamWav(const QString &outPath, const MediaRecipe &recipe, int stream)
{
    if (stream == recipe.ltcStream)
        return runOrFail(QStringLiteral("ltcgen"), ltcgenArguments(outPath, recipe, stream));
    return writeToneWav(outPath, recipe, stream);
}

struct Container
{
    QString format;
    QStringList videoCodec;
    QStringList audioCodec;
    bool writesTimecode;
};

// Writes recipe's streams through ffmpeg into `outPath` with the container's codecs.
QString mux(const QString &outPath, const MediaRecipe &recipe, const Container &container)
{
    if (recipe.audioStreams > 0 && recipe.channels < 1)
        return fail(QStringLiteral("a media recipe needs at least one channel per stream"));
    QTemporaryDir scratch(QFileInfo(outPath).absolutePath() + QStringLiteral("/.testmedia-XXXXXX"));
    if (!scratch.isValid())
        return fail(QStringLiteral("cannot create a scratch folder beside ") + outPath);

    QStringList inputs;
    QStringList maps;
    int input = 0;
    if (recipe.withVideo) {
        inputs << QStringLiteral("-itsoffset") << QString::number(recipe.videoDelay, 'f', 6)
               << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
               << QStringLiteral("testsrc=size=%1:rate=%2:duration=%3")
                      .arg(recipe.videoSize, videoRate(recipe.videoFps.isEmpty() ? recipe.fps : recipe.videoFps),
                           seconds(recipe.seconds));
        maps << QStringLiteral("-map") << QStringLiteral("%1:v").arg(input++);
    }
    for (int stream = 0; stream < recipe.audioStreams; ++stream) {
        const QString wav = scratch.filePath(QStringLiteral("%1.wav").arg(stream));
        if (!writeStreamWav(wav, recipe, stream))
            return QString();
        inputs << QStringLiteral("-itsoffset") << QString::number(recipe.audioDelay, 'f', 6) << QStringLiteral("-i") << wav;
        maps << QStringLiteral("-map") << QStringLiteral("%1:a").arg(input++);
    }

    QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")};
    args << inputs << maps;
    if (recipe.withVideo)
        args << container.videoCodec;
    if (recipe.audioStreams > 0)
        args << container.audioCodec;
    if (container.writesTimecode && !recipe.fileTimecode.isEmpty())
        args << QStringLiteral("-timecode") << recipe.fileTimecode;
    args << recipe.muxArguments;
    args << QStringLiteral("-f") << container.format << outPath;
    if (!runOrFail(QStringLiteral("ffmpeg"), args))
        return QString();
    return outPath;
}

QString target(const QString &folder, const QString &fileName)
{
    return QDir(folder).absoluteFilePath(fileName);
}

const Container movContainer{QStringLiteral("mov"),
                             {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-q:v"), QStringLiteral("8")},
                             {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")},
                             true};

} // namespace

QString lastError()
{
    return errorText();
}

QString toolPath(const QString &toolName)
{
#ifdef Q_OS_WIN
    const QString fileName = toolName.endsWith(QLatin1String(".exe")) ? toolName : toolName + QStringLiteral(".exe");
#else
    const QString fileName = toolName;
#endif
    const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()).filePath(fileName));
    if (beside.isFile() && beside.isExecutable())
        return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(fileName);
}

ToolRun runTool(const QString &program, const QStringList &arguments, int timeoutMs)
{
    return runTool(program, arguments, QProcessEnvironment::systemEnvironment(), timeoutMs);
}

QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    return env;
}

ToolRun runTool(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                int timeoutMs)
{
    ToolRun run;
    const bool hasDirectory = program.contains(QLatin1Char('/')) || program.contains(QLatin1Char('\\'));
    const QString path = hasDirectory ? program : toolPath(program);
    if (path.isEmpty())
        return run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(path, arguments);
    if (!process.waitForStarted(10000))
        return run;
    run.started = true;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
    } else {
        run.finished = true;
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.standardOutput = process.readAllStandardOutput();
    run.standardError = process.readAllStandardError();
    return run;
}

int toneFrequency(int stream, int channel)
{
    // Distinct, and away from each other's harmonics for up to 8 streams of 8 channels.
    return 310 + 70 * (8 * stream + channel);
}

QString makeLtcWav(const QString &folder, const MediaRecipe &recipe)
{
    const QString outPath = target(folder, recipe.fileName);
    const int stream = recipe.ltcStream >= 0 ? recipe.ltcStream : 0;
    const bool ok = recipe.ltcStream >= 0
                        ? runOrFail(QStringLiteral("ltcgen"), ltcgenArguments(outPath, recipe, stream))
                        : writeToneWav(outPath, recipe, stream);
    return ok ? outPath : QString();
}

QString makeBwfWav(const QString &folder, const MediaRecipe &recipe, qint64 timeReference)
{
    QTemporaryDir scratch(QDir(folder).absoluteFilePath(QStringLiteral(".testmedia-XXXXXX")));
    if (!scratch.isValid())
        return fail(QStringLiteral("cannot create a scratch folder in ") + folder);
    MediaRecipe plain = recipe;
    plain.fileName = QStringLiteral("plain.wav");
    const QString source = makeLtcWav(scratch.path(), plain);
    if (source.isEmpty())
        return QString();
    const QString outPath = target(folder, recipe.fileName);
    if (!runOrFail(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                    QStringLiteral("-i"), source, QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"),
                    QStringLiteral("-write_bext"), QStringLiteral("1"),
                    QStringLiteral("-metadata"), QStringLiteral("time_reference=%1").arg(timeReference),
                    QStringLiteral("-f"), QStringLiteral("wav"), outPath}))
        return QString();
    return outPath;
}

QString makeMov(const QString &folder, const MediaRecipe &recipe)
{
    return mux(target(folder, recipe.fileName), recipe, movContainer);
}

QString makeMxf(const QString &folder, const MediaRecipe &recipe)
{
    static const Container mxf{QStringLiteral("mxf"),
                               {QStringLiteral("-c:v"), QStringLiteral("mpeg2video"), QStringLiteral("-q:v"), QStringLiteral("8")},
                               {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")},
                               true};
    return mux(target(folder, recipe.fileName), recipe, mxf);
}

QString makeMp4(const QString &folder, const MediaRecipe &recipe)
{
    static const Container mp4{QStringLiteral("mp4"),
                               {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-q:v"), QStringLiteral("8")},
                               {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("192k")},
                               true};
    return mux(target(folder, recipe.fileName), recipe, mp4);
}

QString makeMts(const QString &folder, const MediaRecipe &recipe)
{
    static const Container mts{QStringLiteral("mpegts"),
                               {QStringLiteral("-c:v"), QStringLiteral("mpeg2video"), QStringLiteral("-q:v"), QStringLiteral("8")},
                               {QStringLiteral("-c:a"), QStringLiteral("ac3"), QStringLiteral("-b:a"), QStringLiteral("192k")},
                               false};
    return mux(target(folder, recipe.fileName), recipe, mts);
}

QString makeClipWithoutAudio(const QString &folder, const QString &fileName, double seconds)
{
    MediaRecipe recipe;
    recipe.fileName = fileName;
    recipe.seconds = seconds;
    recipe.audioStreams = 0;
    recipe.ltcStream = -1;
    return makeMov(folder, recipe);
}

QString makeCorruptFile(const QString &folder, const QString &fileName)
{
    QTemporaryDir scratch(QDir(folder).absoluteFilePath(QStringLiteral(".testmedia-XXXXXX")));
    if (!scratch.isValid())
        return fail(QStringLiteral("cannot create a scratch folder in ") + folder);
    MediaRecipe recipe;
    recipe.fileName = QStringLiteral("whole.mov");
    recipe.ltcStream = -1;
    const QString whole = makeMov(scratch.path(), recipe);
    if (whole.isEmpty())
        return QString();
    QFile in(whole);
    if (!in.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read ") + whole);
    // The muxer writes the index at the end: the first half has media data only.
    const QByteArray half = in.read(in.size() / 2);
    const QString outPath = target(folder, fileName);
    QFile out(outPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(half) != half.size())
        return fail(QStringLiteral("cannot write ") + outPath);
    return outPath;
}

QString makeNonMediaFile(const QString &folder, const QString &fileName)
{
    const QString outPath = target(folder, fileName);
    QFile out(outPath);
    const QByteArray text("This is a shot list, not a clip.\nScene 1, take 2: keep.\n");
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size())
        return fail(QStringLiteral("cannot write ") + outPath);
    return outPath;
}

QJsonObject probe(const QString &path)
{
    const QStringList args{QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
                           QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
                           path};
    const ToolRun run = runTool(QStringLiteral("ffprobe"), args);
    if (!run.ok()) {
        errorText() = describe(QStringLiteral("ffprobe"), args, run);
        return QJsonObject();
    }
    return QJsonDocument::fromJson(run.standardOutput).object();
}

QVector<QVector<float>> decodeAudio(const QString &path, int audioStream, int *sampleRate)
{
    int channels = 0;
    int rate = 0;
    int seen = 0;
    for (const QJsonValue &stream : probe(path).value(QStringLiteral("streams")).toArray()) {
        const QJsonObject object = stream.toObject();
        if (object.value(QStringLiteral("codec_type")).toString() != QLatin1String("audio"))
            continue;
        if (seen++ == audioStream) {
            channels = object.value(QStringLiteral("channels")).toInt();
            rate = object.value(QStringLiteral("sample_rate")).toString().toInt();
            break;
        }
    }
    if (channels < 1) {
        fail(QStringLiteral("%1 has no audio stream %2").arg(path).arg(audioStream));
        return {};
    }
    const QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                           QStringLiteral("-map"), QStringLiteral("0:a:%1").arg(audioStream),
                           QStringLiteral("-c:a"), QStringLiteral("pcm_f32le"), QStringLiteral("-f"),
                           QStringLiteral("f32le"), QStringLiteral("-")};
    const ToolRun run = runTool(QStringLiteral("ffmpeg"), args);
    if (!run.ok()) {
        errorText() = describe(QStringLiteral("ffmpeg"), args, run);
        return {};
    }
    const int frames = run.standardOutput.size() / int(sizeof(float)) / channels;
    QVector<QVector<float>> result(channels, QVector<float>(frames));
    const char *data = run.standardOutput.constData();
    for (int frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < channels; ++channel) {
            float value;
            std::memcpy(&value, data + (qsizetype(frame) * channels + channel) * sizeof(float), sizeof(float));
            result[channel][frame] = value;
        }
    }
    if (sampleRate)
        *sampleRate = rate;
    return result;
}

double toneShare(const QVector<float> &samples, int sampleRate, double hz)
{
    if (samples.isEmpty() || sampleRate <= 0)
        return 0.0;
    double inPhase = 0.0;
    double quadrature = 0.0;
    double energy = 0.0;
    const double step = 2.0 * 3.14159265358979323846 * hz / sampleRate;
    for (int i = 0; i < samples.size(); ++i) {
        inPhase += samples[i] * std::cos(step * i);
        quadrature += samples[i] * std::sin(step * i);
        energy += double(samples[i]) * samples[i];
    }
    if (energy <= 0.0)
        return 0.0;
    const double n = samples.size();
    // A sine of amplitude A gives inPhase² + quadrature² = (A·n/2)² and energy = A²·n/2.
    const double toneEnergy = 2.0 * (inPhase * inPhase + quadrature * quadrature) / n;
    return qMin(1.0, toneEnergy / energy);
}

bool hasTone(const QVector<float> &samples, int sampleRate, double hz)
{
    double energy = 0.0;
    for (float value : samples)
        energy += double(value) * value;
    const double rms = samples.isEmpty() ? 0.0 : std::sqrt(energy / samples.size());
    return rms > 0.01 && toneShare(samples, sampleRate, hz) > 0.9;
}

bool looksLikeLtc(const QVector<float> &samples, int sampleRate)
{
    if (samples.size() < sampleRate / 2 || sampleRate <= 0)
        return false;
    double mean = 0.0;
    for (float value : samples)
        mean += value;
    mean /= samples.size();
    float peak = 0.0f;
    for (float value : samples)
        peak = qMax(peak, float(std::fabs(value - mean)));
    if (peak < 0.02f)
        return false;
    int nearPeak = 0;
    int changes = 0;
    int level = 0;
    for (float value : samples) {
        const float centred = float(value - mean);
        if (std::fabs(centred) > 0.6f * peak)
            ++nearPeak;
        // Hysteresis, so noise around zero is not counted as a level change.
        const int now = centred > 0.3f * peak ? 1 : (centred < -0.3f * peak ? -1 : level);
        if (level != 0 && now != level)
            ++changes;
        level = now;
    }
    const double perSecond = changes * double(sampleRate) / samples.size();
    return nearPeak > 0.8 * samples.size() && perSecond >= 1000.0 && perSecond <= 6000.0;
}

QJsonObject readLtc(const QString &path, int audioStream, int channel, int *exitCode,
                    const QStringList &pelbrookOptions)
{
    if (exitCode)
        *exitCode = -1;
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        fail(QStringLiteral("cannot create a scratch folder"));
        return QJsonObject();
    }
    const QString wav = scratch.filePath(QStringLiteral("channel.wav"));
    if (!runOrFail(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"), path,
                    QStringLiteral("-map"), QStringLiteral("0:a:%1").arg(audioStream),
                    QStringLiteral("-af"), QStringLiteral("pan=mono|c0=c%1").arg(channel),
                    QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), wav}))
        return QJsonObject();
    const QStringList args = QStringList{wav, QStringLiteral("-c0")} + pelbrookOptions;
    const ToolRun run = runTool(QStringLiteral("Pelbrook"), args);
    if (!run.started || !run.finished) {
        errorText() = describe(QStringLiteral("Pelbrook"), args, run);
        return QJsonObject();
    }
    if (exitCode)
        *exitCode = run.exitCode;
    return QJsonDocument::fromJson(run.standardOutput).object();
}

QStringList timecodesOf(const QJsonObject &probe)
{
    QStringList found;
    const QJsonObject formatTags = formatTagsOf(probe);
    if (formatTags.contains(QStringLiteral("timecode")))
        found << formatTags.value(QStringLiteral("timecode")).toString();
    for (const QJsonValue &stream : probe.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject tags = stream.toObject().value(QStringLiteral("tags")).toObject();
        if (tags.contains(QStringLiteral("timecode")))
            found << tags.value(QStringLiteral("timecode")).toString();
    }
    return found;
}

QVector<int> audioChannelsOf(const QJsonObject &probe)
{
    QVector<int> channels;
    for (const QJsonValue &stream : probe.value(QStringLiteral("streams")).toArray())
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String("audio"))
            channels << stream.toObject().value(QStringLiteral("channels")).toInt();
    return channels;
}

QJsonObject formatTagsOf(const QJsonObject &probe)
{
    return probe.value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
}

MediaRecipe recipe(const QString &fileName, int channels, int ltcChannel, const QString &ltcStart)
{
    MediaRecipe media;
    media.fileName = fileName;
    media.channels = channels;
    media.ltcChannel = ltcChannel;
    media.ltcStart = ltcStart;
    return media;
}

FileData fileRecord(const QString &path, int fileNumber)
{
    FileData record = FileData::fromFileInfo(QFileInfo(path));
    record.fileNumber = fileNumber;
    return record;
}

FileData probedRecord(const QString &path, int fileNumber)
{
    FileData record = fileRecord(path, fileNumber);
    const FileData probed = FileData::fromProbe(ProbeRecord::fromJson(probe(path)));
    record.takeProbeMembers(probed);
    record.duration = probed.duration;
    return record;
}

ProbeStream probeStream(int index, const QString &type, const QString &codec, QJsonObject more)
{
    more.insert(QStringLiteral("index"), index);
    more.insert(QStringLiteral("codec_type"), type);
    more.insert(QStringLiteral("codec_name"), codec);
    return ProbeRecord::fromJson({{QStringLiteral("streams"), QJsonArray{more}}}).streams.first();
}

FileData recordOfStreams(const QString &suffix, const QVector<ProbeStream> &streams)
{
    ProbeRecord probe;
    probe.valid = true;
    probe.format.formatName = suffix.toLower();
    probe.streams = streams;
    FileData record = FileData::fromProbe(probe);
    record.suffix = suffix;
    return record;
}

} // namespace TestMedia
