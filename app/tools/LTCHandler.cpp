#include "LTCHandler.h"

#include "ToolProcess.h"

#include <QFile>
#include <QJsonDocument>

namespace {

const QString slopeArgument = ReadAlgorithms::argument(ReadAlgorithm::Slope);

// A user's choice; Auto reads a GoPro recording with the slope algorithm first.
QString algorithmArgument(ReadAlgorithm readingAlgorithm, bool preferSlope)
{
    if (readingAlgorithm == ReadAlgorithm::Auto)
        return preferSlope ? slopeArgument : QString();
    return ReadAlgorithms::argument(readingAlgorithm);
}

QStringList withoutAlgorithm(const QString &wavPath, const AudioTCOptions &options)
{
    QStringList args{wavPath};
    if (options.channel >= 0)
        args << QStringLiteral("-c%1").arg(options.channel);
    if (options.frameRate >= 0.0)
        args << QStringLiteral("-f") + QString::number(options.frameRate, 'g', 6);
    return args;
}

QStringList appended(QStringList args, const QString &algorithm)
{
    if (!algorithm.isEmpty())
        args << algorithm;
    return args;
}

} // namespace

LTCHandler::LTCHandler(QObject *parent) : QObject(parent) {}

LTCHandler::~LTCHandler()
{
    // Nobody waits for the result of a handler that is being destroyed.
    if (decoderProcess && decoderProcess->state() != QProcess::NotRunning) {
        decoderProcess->disconnect(this);
        decoderProcess->close();
    }
}

QStringList LTCHandler::automaticAlgorithms(bool preferSlope)
{
    // No "-a" is LOW, so LOW is not tried twice.
    const QString high = ReadAlgorithms::argument(ReadAlgorithm::High);
    const QString mid = ReadAlgorithms::argument(ReadAlgorithm::Mid);
    if (preferSlope)
        return {slopeArgument, high, mid, ReadAlgorithms::argument(ReadAlgorithm::Low)};
    return {QString(), high, mid, slopeArgument};
}

void LTCHandler::readTimecode(QString wavPath, bool preferSlope)
{
    DecoderJob job;
    job.wavPath = wavPath;
    job.preferSlope = preferSlope;
    read(job, AudioTCOptions());
}

void LTCHandler::readTimecode(QString wavPath, AudioTCOptions options, bool preferSlope)
{
    DecoderJob job;
    job.wavPath = wavPath;
    job.preferSlope = preferSlope;
    job.readRequested = true;
    read(job, options);
}

void LTCHandler::read(const DecoderJob &job, const AudioTCOptions &userOptions)
{
    decoderJob = job;
    wavPath = job.wavPath;
    const bool automatic = !job.readRequested || userOptions.readingAlgorithm == ReadAlgorithm::Auto;
    fixedArguments = job.readRequested ? withoutAlgorithm(wavPath, userOptions) : QStringList{wavPath};
    // Searched from the first sample on: the report still names the reference.
    if (job.searchLater)
        fixedArguments << QStringLiteral("-s0");
    // The timecode of the first video frame, not that of the first sample.
    if (job.referenceSeconds != 0.0)
        fixedArguments << QStringLiteral("-o") + QString::number(job.referenceSeconds, 'f', 6);
    algorithmsToTry = automatic ? automaticAlgorithms(job.preferSlope)
                                : QStringList{algorithmArgument(userOptions.readingAlgorithm, job.preferSlope)};
    startRun();
}

bool LTCHandler::readsSourceDirectly(const FileData &fileData)
{
    // The codecs ffprobe names for the sample formats the decoder reads;
    // extensible files are named by their sub-format.
    static const QStringList readable{QStringLiteral("pcm_u8"), QStringLiteral("pcm_s16le"),
                                      QStringLiteral("pcm_s24le"), QStringLiteral("pcm_s32le"),
                                      QStringLiteral("pcm_f32le")};
    if (fileData.probe.format.formatName != QLatin1String("wav") || fileData.audioStreamIndexes.size() != 1)
        return false;
    if (!readable.contains(fileData.audioStreams().at(0).codecName))
        return false;
    // The probe calls RF64 and BW64 "wav" too; the decoder reads RIFF only.
    QFile file(fileData.filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

void LTCHandler::startRun()
{
    // A fresh process per run; the finished one goes once control is back in the loop.
    if (decoderProcess)
        decoderProcess->deleteLater();
    decoderProcess = new ToolProcess(this);
    connect(decoderProcess, &QProcess::readyReadStandardOutput, this, &LTCHandler::pelbrookReady);
    connect(decoderProcess, &ToolProcess::toolFinished, this, &LTCHandler::pelbrookFinished);
    outputBuffer.clear();
    ++runCount;
    decoderProcess->startTool(QStringLiteral("Pelbrook"), appended(fixedArguments, algorithmsToTry.takeFirst()));
}

void LTCHandler::pelbrookReady()
{
    outputBuffer.append(decoderProcess->readAllStandardOutput());
}

void LTCHandler::pelbrookFinished(int exitCode)
{
    const bool crashed = decoderProcess->exitStatus() == QProcess::CrashExit;
    if (exitCode == ltcNotFoundExitCode && !crashed && !algorithmsToTry.isEmpty()) {
        startRun();
        return;
    }
    outputBuffer.append(decoderProcess->readAllStandardOutput());
    // Whatever a crashed decoder printed is not a report of a finished read.
    const QJsonObject report = crashed ? QJsonObject() : QJsonDocument::fromJson(outputBuffer).object();
    outputBuffer.clear();
    if (exitCode == 0 && AudioTCReading::fromReport(report).timecode.isEmpty())
        exitCode = unreadableReportExitCode;
    else if (exitCode == ToolProcess::startFailedExitCode)
        exitCode = ResultCode::DecoderStartFailed;
    else if (exitCode == ToolProcess::crashedExitCode)
        exitCode = ResultCode::DecoderCrashed;
    emit pelbrookResult(this, report, wavPath, exitCode);
}
