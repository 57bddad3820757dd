#include "FFMpegHandler.h"

#include "BextChunk.h"
#include "ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
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

QString FFMpegHandler::tempWavPath(const QString &tempDir, const QString &fileName, int streamIndex,
                                   int fileNumber)
{
    const QString baseName = fileName.section(QLatin1Char('.'), 0, 0);
    return tempDir + QDir::separator()
           + QStringLiteral("%1_%2_%3.wav").arg(baseName).arg(streamIndex).arg(fileNumber);
}

QStringList FFMpegHandler::audioExtractArguments(const FileData &fileData, const QString &tempDir)
{
    QStringList args{QStringLiteral("-y"), QStringLiteral("-guess_layout_max"), QStringLiteral("0")};
    // Three seconds hold the decoder's two with room to spare.
    const bool cut = static_cast<qint64>(fileData.duration) > 2;
    if (cut)
        args << QStringLiteral("-ss") << QStringLiteral("0");
    args << QStringLiteral("-i") << fileData.filePath;
    for (const char index : fileData.audioStreamIndexes) {
        const int streamIndex = static_cast<qint8>(index);
        if (cut)
            args << QStringLiteral("-t") << QStringLiteral("3");
        args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(streamIndex)
             << tempWavPath(tempDir, fileData.fileName, streamIndex, fileData.fileNumber);
    }
    return args;
}

void FFMpegHandler::ffmpegAudioExtract(FileData fileData, QString tempDir)
{
    fileRecord = fileData;
    connect(extractProcess, &ToolProcess::toolFinished, this, &FFMpegHandler::ffmpegAudioExtractFinished);
    extractProcess->startTool(QStringLiteral("ffmpeg"), audioExtractArguments(fileData, tempDir));
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

} // namespace

// One process runs ffmpeg and then the ffprobe of the written file, so the
// export is one job for the controller and every running phase is one process
// to kill on cancel or destruction. Whatever happens, one ffmpegExportResult.

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

    // Reserved before the tool starts: a parallel export of a file with the
    // same base name, or an existing file, can never be written over.
    QString error;
    exportPath = exportCommand->reserveTargetPath(&error);
    if (exportPath.isEmpty()) {
        // Reported later, like a tool that could not start: never inside this call.
        QTimer::singleShot(0, this, [this] { finishExport(ExportCommand::noTargetNameExitCode, ResultCode::NoTargetName, tr("no free name")); });
        return;
    }
    exportProcess->startTool(QStringLiteral("ffmpeg"), exportCommand->arguments(exportPath));
}

void FFMpegHandler::ffmpegExportError()
{
    // Only a tick; the text is dropped so it does not pile up in memory.
    exportProcess->readAllStandardError();
    if (exportPhase != ExportPhase::Writing)
        return;
    const quint32 units = quint32(std::max(0, exportSettings.progressUnitsPerFile));
    if (stepsReported + 1 >= units)
        return;
    const qint64 size = QFileInfo(exportPath).size();
    quint32 steps = stepsReported;
    while (size > qint64(steps) * bytesPerStep && steps + 1 < units)
        ++steps;
    const quint32 gained = steps - stepsReported;
    stepsReported = steps;
    emit ffmpegExportProgress(gained);
}

void FFMpegHandler::ffmpegExportFinished(int exitCode)
{
    if (exportPhase == ExportPhase::Verifying) {
        verifyExport(exitCode);
        return;
    }
    if (exportPhase != ExportPhase::Writing)
        return;
    if (exitCode != 0) {
        releaseEmptyTarget();
        finishExport(exitCode, toolResultCode(exitCode));
        return;
    }
    if (exportCancelled) {
        finishExport(exitCode, ResultCode::ExportCancelled);
        return;
    }
    if (exportCommand->writesWav()) {
        QString error;
        if (!BextChunk::carryOver(fileRecord.filePath, exportPath,
                                  exportCommand->speedLine().toUtf8(), &error)) {
            finishExport(ExportCommand::verificationFailedExitCode, ResultCode::VerificationFailed, error);
            return;
        }
    }
    exportPhase = ExportPhase::Verifying;
    exportProcess->readAllStandardOutput();
    exportProcess->startTool(QStringLiteral("ffprobe"), probeArguments(exportPath));
}

void FFMpegHandler::verifyExport(int probeExitCode)
{
    const QJsonObject probe = QJsonDocument::fromJson(exportProcess->readAllStandardOutput()).object();
    const QString mismatch = probeExitCode == 0 ? exportCommand->outputMismatch(probe)
                                                : tr("the written file could not be probed");
    // The output stays for the user to inspect; the file is listed as failed.
    if (!mismatch.isEmpty()) {
        finishExport(ExportCommand::verificationFailedExitCode, ResultCode::VerificationFailed, mismatch);
        return;
    }
    if (!exportCommand->writesTimecode() && !exportCommand->writesTimeReference()) {
        finishExport(0, ResultCode::CopiedWithoutTimecode);
        return;
    }
    finishExport(0, ResultCode::Ok);
}

void FFMpegHandler::releaseEmptyTarget()
{
    // Nothing was written into the name we reserved: give it back.
    if (!exportPath.isEmpty() && QFileInfo(exportPath).size() == 0 && QFile::remove(exportPath))
        exportPath.clear();
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
    if (resultCode == ResultCode::Ok || resultCode == ResultCode::CopiedWithoutTimecode)
        outcome.outputPath = exportPath;
    if (resultCode == ResultCode::Ok) {
        if (exportCommand->writesTimecode())
            outcome.timecode = fileRecord.audioTC;
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
