#include "LTCHandler.h"

#include "ToolProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString slopeArgument = QStringLiteral("-aSLOPE");

QString algorithmArgument(qint32 readingAlgorithm, bool preferSlope)
{
    switch (readingAlgorithm) {
    case 0:
        return preferSlope ? slopeArgument : QString();
    case 1:
        return QStringLiteral("-aLOW");
    case 2:
        return QStringLiteral("-aMID");
    case 3:
        return QStringLiteral("-aHIGH");
    case 4:
        return slopeArgument;
    default:
        return QString();
    }
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
    if (preferSlope)
        return {slopeArgument, QStringLiteral("-aHIGH"), QStringLiteral("-aMID"), QStringLiteral("-aLOW")};
    return {QString(), QStringLiteral("-aHIGH"), QStringLiteral("-aMID"), slopeArgument};
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
    const bool automatic = !job.readRequested || userOptions.readingAlgorithm == 0;
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
    if (fileData.format.value(QStringLiteral("format_name")).toString() != QLatin1String("wav"))
        return false;
    if (fileData.audioStreams.size() != 1 || fileData.audioStreamIndexes.size() != 1)
        return false;
    const QJsonObject stream = fileData.audioStreams.at(0).toObject();
    if (!readable.contains(stream.value(QStringLiteral("codec_name")).toString()))
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
    if (exitCode == 0 && report.value(QStringLiteral("Timecode")).toString().isEmpty())
        exitCode = unreadableReportExitCode;
    else if (exitCode == ToolProcess::startFailedExitCode)
        exitCode = ResultCode::DecoderStartFailed;
    else if (exitCode == ToolProcess::crashedExitCode)
        exitCode = ResultCode::DecoderCrashed;
    emit pelbrookResult(this, report, wavPath, exitCode);
}
