#include "ExportJob.h"

#include "BextChunk.h"
#include "ExportCheck.h"
#include "ExportTarget.h"
#include "ProbeRecord.h"
#include "ResultCode.h"
#include "ToolProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace {

const Job::Codes exportCodes{ResultCode::ToolStartFailed, ResultCode::ToolCrashed,
                             ResultCode::ExportCancelled};

// Enough of ffmpeg's standard error to hold its last messages.
constexpr int errorTailBytes = 8192;

// ffmpeg's last line that says something: not a progress or summary line, not
// the closing "Conversion failed!", not an "... -- " whose reason came before.
QString lastErrorLine(const QByteArray &errorTail)
{
    const QStringList lines = QString::fromUtf8(errorTail).split(QRegularExpression(QStringLiteral("[\r\n]")));
    for (int i = lines.size() - 1; i >= 0; --i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1String("frame=")) || line.startsWith(QLatin1String("size="))
            || line.startsWith(QLatin1String("video:")) || line == QLatin1String("Conversion failed!")
            || line.endsWith(QLatin1String("--")))
            continue;
        return line;
    }
    return QString();
}

} // namespace

ExportJob::ExportJob(const FileData &fileData, const ExportOptions &options, QObject *parent)
    : Job(QStringLiteral("ffmpeg"), exportCodes, parent), record(fileData), settings(options)
{
    outcome.fileNumber = record.fileNumber;
    outcome.fileName = record.fileName;
    outcome.sourcePath = record.filePath;
}

ExportJob::~ExportJob()
{
    // Whatever ended the export, nothing unverified stays behind.
    discardOutput();
}

void ExportJob::run()
{
    command = std::make_unique<ExportCommand>(record, settings);
    bytesPerStep = command->bytesPerStep(QFileInfo(record.filePath).size());

    // Every failure before the tool runs is reported later, like a tool that
    // could not start: never inside start().
    int refusalCode = ResultCode::Ok;
    const QString refusal = command->refusal(&refusalCode);
    if (refusalCode != ResultCode::Ok) {
        QTimer::singleShot(0, this, [this, refusalCode, refusal] { finishExport(refusalCode, refusal); });
        return;
    }
    // Refused at once when every name is taken already; which one the file
    // gets is settled when it is there.
    QString error;
    const QString intendedPath = ExportTarget::freePath(*command, &error);
    if (intendedPath.isEmpty()) {
        const QString reason = tr("no free name: %1").arg(error);
        QTimer::singleShot(0, this, [this, reason] { finishExport(ResultCode::NoTargetName, reason); });
        return;
    }
    intendedName = QFileInfo(intendedPath).fileName();
    partialPath = ExportTarget::createPartialPath(intendedPath, &error);
    if (partialPath.isEmpty()) {
        QTimer::singleShot(0, this, [this, error] { finishExport(ResultCode::OutputNotWritten, error); });
        return;
    }
    partialName = QFileInfo(partialPath).fileName();
    runTool(QStringLiteral("ffmpeg"), command->arguments(partialPath));
    connect(process(), &QProcess::readyReadStandardError, this, &ExportJob::readErrors);
}

void ExportJob::readErrors()
{
    // A tick for the progress; only the tail is kept, for the reason of a failure.
    errorTail.append(process()->readAllStandardError());
    if (errorTail.size() > errorTailBytes)
        errorTail.remove(0, errorTail.size() - errorTailBytes);
    const int units = std::max(0, settings.progressUnitsPerFile);
    if (verifying || stepsReported + 1 >= units)
        return;
    const qint64 size = QFileInfo(partialPath).size();
    int steps = stepsReported;
    while (size > qint64(steps) * bytesPerStep && steps + 1 < units)
        ++steps;
    const int gained = steps - stepsReported;
    stepsReported = steps;
    emit progress(gained);
}

void ExportJob::toolEnded(int exitCode)
{
    if (verifying) {
        verify(exitCode);
        return;
    }
    if (exitCode != 0) {
        errorTail.append(process()->readAllStandardError());
        discardOutput();
        finishExport(ResultCode::ExportToolFailed,
                     tr("ffmpeg ended with %1: %2").arg(exitCode).arg(lastErrorLine(errorTail)));
        return;
    }
    if (command->writesWav()) {
        QString error;
        if (!BextChunk::carryOver(record.filePath, partialPath, command->speedLine().toUtf8(), &error)) {
            discardOutput();
            finishExport(ResultCode::VerificationFailed, error);
            return;
        }
    }
    verifying = true;
    runTool(QStringLiteral("ffprobe"), ExportCheck::probeArguments(partialPath));
}

void ExportJob::toolFailed(int resultCode)
{
    // ffmpeg could not start or crashed, or the cancel killed whichever tool ran.
    discardOutput();
    finishExport(resultCode);
}

void ExportJob::verify(int probeExitCode)
{
    const QJsonObject probe = QJsonDocument::fromJson(process()->readAllStandardOutput()).object();
    const QString mismatch = probeExitCode == 0 ? ExportCheck(*command).outputMismatch(ProbeRecord::fromJson(probe))
                                                : tr("the written file could not be probed");
    if (!mismatch.isEmpty()) {
        discardOutput();
        finishExport(ResultCode::VerificationFailed, mismatch);
        return;
    }
    QString error;
    if (!commitOutput(&error)) {
        discardOutput();
        finishExport(ResultCode::OutputNotWritten, error);
        return;
    }
    if (!command->writesTimecode() && !command->writesTimeReference())
        finishExport(ResultCode::CopiedWithoutTimecode);
    else
        finishExport(ResultCode::Ok);
}

bool ExportJob::commitOutput(QString *error)
{
    QString renameError;
    const QString finalPath = ExportTarget::moveToFreeName(*command, partialPath, &renameError);
    if (finalPath.isEmpty()) {
        *error = tr("could not rename the written file to %1: %2").arg(intendedName, renameError);
        return false;
    }
    exportPath = finalPath;
    partialPath.clear();
    return true;
}

void ExportJob::discardOutput()
{
    // Only the partial file: a final name never holds anything unverified.
    if (!partialPath.isEmpty()) {
        QFile::remove(partialPath);
        partialPath.clear();
    }
}

void ExportJob::finishExport(int resultCode, const QString &reason)
{
    if (isFinished())
        return;
    outcome.resultCode = resultCode;
    outcome.reason = reason.isEmpty() ? ResultCode::text(resultCode) : reason;
    // The user never sees the partial file, only the name the copy was to get:
    // ffmpeg's messages name its output by path or by name, and the path
    // becomes the final one by its name.
    if (!partialName.isEmpty())
        outcome.reason.replace(partialName, intendedName);
    outcome.outputPath = exportPath;
    if (resultCode == ResultCode::Ok) {
        if (command->writesTimecode())
            outcome.timecode = command->writtenTimecode();
        if (command->writesTimeReference())
            outcome.timeReference = command->timeReference();
    }
    const int units = std::max(0, settings.progressUnitsPerFile);
    if (stepsReported < units) {
        const int rest = units - stepsReported;
        stepsReported = units;
        emit progress(rest);
    }
    finish(resultCode);
}
