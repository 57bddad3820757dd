#include "FFMpegHandler.h"

#include "BextChunk.h"
#include "ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

// ---- construction and destruction ------------------------------------------

FFMpegHandler::FFMpegHandler(QObject *parent)
    : QObject(parent),
      probeProcess(new ToolProcess(this)),
      exportProcess(new ToolProcess(this)),
      extractProcess(new ToolProcess(this))
{
}

FFMpegHandler::~FFMpegHandler()
{
    // Every tool still running is ended here, so no child outlives its handler.
    // Nobody waits for a probe or an extraction of a handler that is being
    // destroyed: those end silently. An export still reports its end, which a
    // cancel counts on.
    const auto processes = findChildren<ToolProcess *>(QString(), Qt::FindDirectChildrenOnly);
    for (ToolProcess *process : processes) {
        if (process->state() == QProcess::NotRunning)
            continue;
        if (process == probeProcess || process == extractProcess)
            process->disconnect(this);
        process->close();
    }
    // Whatever ended the export, nothing unverified stays behind.
    discardOutput();
}

// ---- probe -----------------------------------------------------------------

QStringList FFMpegHandler::probeArguments(const QString &filePath)
{
    return {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
            filePath};
}

void FFMpegHandler::ffprobeFile(QString filePath, uint fileNumber)
{
    this->fileNumber = fileNumber;
    connect(probeProcess, &QProcess::readyReadStandardOutput, this, &FFMpegHandler::ffprobeReady);
    connect(probeProcess, &ToolProcess::toolFinished, this, &FFMpegHandler::ffprobeFinished);
    probeProcess->startTool(QStringLiteral("ffprobe"), probeArguments(filePath));
}

void FFMpegHandler::ffprobeReady()
{
    outputBuffer.append(probeProcess->readAllStandardOutput());
}

void FFMpegHandler::ffprobeFinished(int exitCode)
{
    // Output still buffered when the end is reported belongs to the report too.
    outputBuffer.append(probeProcess->readAllStandardOutput());
    const QJsonObject report = QJsonDocument::fromJson(outputBuffer).object();
    outputBuffer.clear();
    emit ffprobeResult(this, report, fileNumber, exitCode);
}

// ---- audio extraction ------------------------------------------------------

QString FFMpegHandler::tempWavPath(const QString &tempDir, int streamIndex, int fileNumber)
{
    return tempDir + QDir::separator() + QStringLiteral("%1_%2.wav").arg(fileNumber).arg(streamIndex);
}

QStringList FFMpegHandler::audioExtractArguments(const FileData &fileData, const QString &tempDir,
                                                 int seconds)
{
    QStringList args{QStringLiteral("-y"), QStringLiteral("-guess_layout_max"), QStringLiteral("0")};
    const bool cut = static_cast<qint64>(fileData.duration) > seconds - 1;
    if (cut)
        args << QStringLiteral("-ss") << QStringLiteral("0");
    args << QStringLiteral("-i") << fileData.filePath;
    for (const char index : fileData.audioStreamIndexes) {
        const int streamIndex = static_cast<qint8>(index);
        if (cut)
            args << QStringLiteral("-t") << QString::number(seconds);
        args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(streamIndex)
             << tempWavPath(tempDir, streamIndex, fileData.fileNumber);
    }
    return args;
}

void FFMpegHandler::ffmpegAudioExtract(FileData fileData, QString tempDir, int seconds)
{
    fileRecord = fileData;
    extractFolder = tempDir;
    connect(extractProcess, &ToolProcess::toolFinished, this, &FFMpegHandler::ffmpegAudioExtractFinished);
    extractProcess->startTool(QStringLiteral("ffmpeg"), audioExtractArguments(fileData, tempDir, seconds));
}

void FFMpegHandler::ffmpegAudioExtractFinished(int exitCode)
{
    const FileData copy = fileRecord;
    emit ffmpegAudioExtractResult(this, copy, exitCode);
}

// ---- export ----------------------------------------------------------------

namespace {

int toolResultCode(int exitCode)
{
    if (exitCode == ToolProcess::startFailedExitCode || exitCode == ToolProcess::crashedExitCode)
        return exitCode;
    return ResultCode::ExportToolFailed;
}

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

// One process runs ffmpeg and then the ffprobe of the written file, so the
// export is one job for the controller and every running phase is one process
// to kill on cancel or destruction. Whatever happens, one ffmpegExportResult.
//
// ffmpeg writes into a hidden partial file beside the final name; nothing is
// under a final name until the written file has been verified. Only then is
// it renamed onto the first free name, never over anything: a name that an
// existing file or a parallel export took meanwhile gives the next one. On
// any other end the partial file goes. One that a crash left is recognised by
// the process id in its name (ExportCommand::removeAbandonedPartialFiles).

void FFMpegHandler::ffmpegExport(FileData fileData, ExportOptions exportOptions)
{
    fileRecord = fileData;
    exportSettings = exportOptions;
    exportCommand = std::make_unique<ExportCommand>(fileData, exportOptions);
    expectedSize = QFileInfo(fileData.filePath).size();
    bytesPerStep = exportCommand->bytesPerStep(expectedSize);

    connect(exportProcess, &ToolProcess::toolFinished, this, &FFMpegHandler::ffmpegExportFinished);
    connect(exportProcess, &QProcess::readyReadStandardError, this, &FFMpegHandler::ffmpegExportError);
    exportPhase = ExportPhase::Writing;

    // Every failure before the tool runs is reported later, like a tool that
    // could not start: never inside this call.
    auto reportLater = [this](int resultCode, const QString &reason) {
        QTimer::singleShot(0, this, [this, resultCode, reason] { finishExport(resultCode, resultCode, reason); });
    };

    int refusalCode = ResultCode::Ok;
    const QString refusal = exportCommand->refusal(&refusalCode);
    if (refusalCode != ResultCode::Ok) {
        reportLater(refusalCode, refusal);
        return;
    }

    // Refused at once when every name is taken already; which one the file
    // gets is settled when it is there.
    QString error;
    const QString intendedPath = exportCommand->freeTargetPath(&error);
    if (intendedPath.isEmpty()) {
        reportLater(ResultCode::NoTargetName, tr("no free name: %1").arg(error));
        return;
    }
    intendedName = QFileInfo(intendedPath).fileName();
    partialPath = ExportCommand::createPartialPath(intendedPath, &error);
    if (partialPath.isEmpty()) {
        reportLater(ResultCode::OutputNotWritten, error);
        return;
    }
    partialName = QFileInfo(partialPath).fileName();
    exportProcess->startTool(QStringLiteral("ffmpeg"), exportCommand->arguments(partialPath));
}

void FFMpegHandler::ffmpegExportError()
{
    // A tick for the progress; only the tail is kept, for the reason of a failure.
    errorTail.append(exportProcess->readAllStandardError());
    if (errorTail.size() > errorTailBytes)
        errorTail.remove(0, errorTail.size() - errorTailBytes);
    if (exportPhase != ExportPhase::Writing)
        return;
    const quint32 units = quint32(std::max(0, exportSettings.progressUnitsPerFile));
    if (stepsReported + 1 >= units)
        return;
    const qint64 size = QFileInfo(partialPath).size();
    quint32 steps = stepsReported;
    while (size > qint64(steps) * bytesPerStep && steps + 1 < units)
        ++steps;
    const quint32 gained = steps - stepsReported;
    stepsReported = steps;
    emit ffmpegExportProgress(gained);
}

void FFMpegHandler::ffmpegExportFinished(int exitCode)
{
    if (exportPhase != ExportPhase::Writing && exportPhase != ExportPhase::Verifying)
        return;
    if (exportCancelled) {
        discardOutput();
        finishExport(exitCode, ResultCode::ExportCancelled);
        return;
    }
    if (exportPhase == ExportPhase::Verifying) {
        verifyExport(exitCode);
        return;
    }
    if (exitCode != 0) {
        errorTail.append(exportProcess->readAllStandardError());
        discardOutput();
        const int code = toolResultCode(exitCode);
        QString reason = code == ResultCode::ExportToolFailed ? lastErrorLine(errorTail) : QString();
        if (code == ResultCode::ExportToolFailed)
            reason = tr("ffmpeg ended with %1: %2").arg(exitCode).arg(reason);
        finishExport(exitCode, code, reason);
        return;
    }
    if (exportCommand->writesWav()) {
        QString error;
        if (!BextChunk::carryOver(fileRecord.filePath, partialPath, exportCommand->speedLine().toUtf8(), &error)) {
            discardOutput();
            finishExport(ExportCommand::verificationFailedExitCode, ResultCode::VerificationFailed, error);
            return;
        }
    }
    exportPhase = ExportPhase::Verifying;
    exportProcess->readAllStandardOutput();
    exportProcess->startTool(QStringLiteral("ffprobe"), ExportCommand::probeArguments(partialPath));
}

void FFMpegHandler::verifyExport(int probeExitCode)
{
    const QJsonObject probe = QJsonDocument::fromJson(exportProcess->readAllStandardOutput()).object();
    const QString mismatch = probeExitCode == 0 ? exportCommand->outputMismatch(ProbeRecord::fromJson(probe))
                                                : tr("the written file could not be probed");
    if (!mismatch.isEmpty()) {
        discardOutput();
        finishExport(ExportCommand::verificationFailedExitCode, ResultCode::VerificationFailed, mismatch);
        return;
    }
    QString error;
    if (!commitOutput(&error)) {
        discardOutput();
        finishExport(ResultCode::OutputNotWritten, ResultCode::OutputNotWritten, error);
        return;
    }
    if (!exportCommand->writesTimecode() && !exportCommand->writesTimeReference()) {
        finishExport(0, ResultCode::CopiedWithoutTimecode);
        return;
    }
    finishExport(0, ResultCode::Ok);
}

bool FFMpegHandler::commitOutput(QString *error)
{
    QString renameError;
    const QString finalPath = exportCommand->moveToFreeName(partialPath, &renameError);
    if (finalPath.isEmpty()) {
        *error = tr("could not rename the written file to %1: %2").arg(intendedName, renameError);
        return false;
    }
    exportPath = finalPath;
    partialPath.clear();
    return true;
}

void FFMpegHandler::discardOutput()
{
    // Only the partial file: a final name never holds anything unverified.
    if (!partialPath.isEmpty()) {
        QFile::remove(partialPath);
        partialPath.clear();
    }
}

void FFMpegHandler::finishExport(int exitCode, int resultCode, const QString &reason)
{
    if (exportPhase == ExportPhase::Reported)
        return;
    exportPhase = ExportPhase::Reported;
    outcome.fileNumber = fileRecord.fileNumber;
    outcome.fileName = fileRecord.fileName;
    outcome.sourcePath = fileRecord.filePath;
    outcome.resultCode = resultCode;
    outcome.reason = reason.isEmpty() ? ResultCode::text(resultCode) : reason;
    // The user never sees the partial file, only the name the copy was to get:
    // ffmpeg's messages name its output by path or by name, and the path
    // becomes the final one by its name.
    if (!partialName.isEmpty())
        outcome.reason.replace(partialName, intendedName);
    outcome.outputPath = exportPath;
    if (resultCode == ResultCode::Ok) {
        if (exportCommand->writesTimecode())
            outcome.timecode = exportCommand->writtenTimecode();
        if (exportCommand->writesTimeReference())
            outcome.timeReference = exportCommand->timeReference();
    }
    const quint32 units = quint32(std::max(0, exportSettings.progressUnitsPerFile));
    if (stepsReported < units) {
        const quint32 rest = units - stepsReported;
        stepsReported = units;
        emit ffmpegExportProgress(rest);
    }
    emit ffmpegExportResult(this, exitCode);
    if (exportCancelled)
        deleteLater();
}

void FFMpegHandler::onExportCancel()
{
    if (exportPhase == ExportPhase::Idle || exportPhase == ExportPhase::Reported)
        return;
    exportCancelled = true;
    // The killed tool's end is reported like any other; the handler goes once
    // that one result is out.
    if (exportProcess->state() != QProcess::NotRunning)
        exportProcess->kill();
}
