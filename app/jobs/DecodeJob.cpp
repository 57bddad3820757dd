#include "DecodeJob.h"

#include "AudioTCReading.h"
#include "ResultCode.h"
#include "ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace {

const Job::Codes decodeCodes{ResultCode::DecoderStartFailed, ResultCode::DecoderCrashed,
                             ResultCode::LtcNotFound};

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

} // namespace

DecodeJob::DecodeJob(const DecodeRequest &request, const AudioTCOptions &userOptions, QObject *parent)
    : Job(QStringLiteral("Pelbrook"), decodeCodes, parent), req(request)
{
    const bool automatic = !req.readRequested || userOptions.readingAlgorithm == ReadAlgorithm::Auto;
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
    const QString high = ReadAlgorithms::argument(ReadAlgorithm::High);
    const QString mid = ReadAlgorithms::argument(ReadAlgorithm::Mid);
    if (preferSlope)
        return {slopeArgument, high, mid, ReadAlgorithms::argument(ReadAlgorithm::Low)};
    return {QString(), high, mid, slopeArgument};
}

bool DecodeJob::readsSourceDirectly(const FileData &fileData)
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
    ++runCount;
    runTool(QStringLiteral("Pelbrook"), args);
}

void DecodeJob::toolEnded(int exitCode)
{
    if (exitCode == ResultCode::LtcNotFound && !algorithmsToTry.isEmpty()) {
        startRun();
        return;
    }
    // QProcess keeps all the tool printed until it is read.
    json = QJsonDocument::fromJson(process()->readAllStandardOutput()).object();
    if (exitCode == 0 && AudioTCReading::fromReport(json).timecode.isEmpty())
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
