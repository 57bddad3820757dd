#include "DecodeJob.h"

#include "ResultCode.h"
#include "ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace {

const Job::Codes decodeCodes{ResultCode::DecoderStartFailed, ResultCode::DecoderCrashed,
                             ResultCode::LtcNotFound};

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

} // namespace

DecodeJob::DecodeJob(const DecodeRequest &request, const AudioTCOptions &userOptions, QObject *parent)
    : Job(QStringLiteral("Pelbrook"), decodeCodes, parent), req(request)
{
    const bool automatic = !req.readRequested || userOptions.readingAlgorithm == 0;
    fixedArguments = req.readRequested ? withoutAlgorithm(req.wavPath, userOptions) : QStringList{req.wavPath};
    // Searched from the first sample on: the report still names the reference.
    if (req.searchLater)
        fixedArguments << QStringLiteral("-s0");
    // The timecode of the first video frame, not that of the first sample.
    if (req.referenceSeconds != 0.0)
        fixedArguments << QStringLiteral("-o") + QString::number(req.referenceSeconds, 'f', 6);
    algorithmsToTry = automatic ? automaticAlgorithms(req.preferSlope)
                                : QStringList{algorithmArgument(userOptions.readingAlgorithm, req.preferSlope)};
}

QStringList DecodeJob::automaticAlgorithms(bool preferSlope)
{
    // No "-a" is LOW, so LOW is not tried twice.
    if (preferSlope)
        return {slopeArgument, QStringLiteral("-aHIGH"), QStringLiteral("-aMID"), QStringLiteral("-aLOW")};
    return {QString(), QStringLiteral("-aHIGH"), QStringLiteral("-aMID"), slopeArgument};
}

bool DecodeJob::readsSourceDirectly(const FileData &fileData)
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

void DecodeJob::run()
{
    startRun();
}

void DecodeJob::startRun()
{
    QStringList args = fixedArguments;
    const QString algorithm = algorithmsToTry.takeFirst();
    if (!algorithm.isEmpty())
        args << algorithm;
    output.clear();
    ++runCount;
    runTool(QStringLiteral("Pelbrook"), args);
    ToolProcess *tool = process();
    connect(tool, &QProcess::readyReadStandardOutput, this,
            [this, tool] { output.append(tool->readAllStandardOutput()); });
}

void DecodeJob::toolEnded(int exitCode)
{
    if (exitCode == ResultCode::LtcNotFound && !algorithmsToTry.isEmpty()) {
        startRun();
        return;
    }
    output.append(process()->readAllStandardOutput());
    json = QJsonDocument::fromJson(output).object();
    output.clear();
    if (exitCode == 0 && json.value(QStringLiteral("Timecode")).toString().isEmpty())
        exitCode = unreadableReportExitCode;
    done(exitCode);
}

void DecodeJob::toolFailed(int resultCode)
{
    // Whatever a crashed decoder printed is not a report of a finished read.
    done(resultCode);
}

void DecodeJob::done(int resultCode)
{
    if (req.temporary) {
        QFile::remove(req.wavPath);
        // The extraction's own folder goes with its last WAV.
        QDir().rmdir(QFileInfo(req.wavPath).absolutePath());
    }
    finish(resultCode);
}
