#include "FFMpegHandler.h"

#include "BextChunk.h"
#include "ToolProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>

#include <algorithm>

// ---- construction and destruction ------------------------------------------

FFMpegHandler::FFMpegHandler(QObject *parent)
    : QObject(parent),
      probeProcess(new QProcess(this)),
      exportProcess(new QProcess(this)),
      extractProcess(new QProcess(this))
{
}

FFMpegHandler::~FFMpegHandler() = default;

// ---- probe -----------------------------------------------------------------

void FFMpegHandler::ffprobeFile(QString, uint) {}
void FFMpegHandler::ffprobeReady() {}
void FFMpegHandler::ffprobeFinished(int) {}

// ---- audio extraction ------------------------------------------------------

void FFMpegHandler::ffmpegAudioExtract(FileData, QString) {}
void FFMpegHandler::ffmpegAudioExtractFinished(int) {}

// ---- export ----------------------------------------------------------------

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

    exportTool = new ToolProcess(this);
    connect(exportTool, &ToolProcess::toolFinished, this, &FFMpegHandler::ffmpegExportFinished);
    connect(exportTool, &QProcess::readyReadStandardError, this, &FFMpegHandler::ffmpegExportError);
    exportPhase = ExportPhase::Writing;

    // Reserved before the tool starts: a parallel export of a file with the
    // same base name, or an existing file, can never be written over.
    QString error;
    exportPath = exportCommand->reserveTargetPath(&error);
    if (exportPath.isEmpty()) {
        // Reported later, like a tool that could not start: never inside this call.
        QTimer::singleShot(0, this, [this] { finishExport(ExportCommand::noTargetNameExitCode); });
        return;
    }
    exportTool->startTool(QStringLiteral("ffmpeg"), exportCommand->arguments(exportPath));
}

void FFMpegHandler::ffmpegExportError()
{
    // Only a tick; the text is dropped so it does not pile up in memory.
    exportTool->readAllStandardError();
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
        finishExport(exitCode);
        return;
    }
    if (exportCancelled) {
        finishExport(exitCode);
        return;
    }
    if (exportCommand->writesWav()) {
        QString error;
        if (!BextChunk::carryOver(fileRecord.filePath, exportPath,
                                  exportCommand->speedLine().toUtf8(), &error)) {
            finishExport(ExportCommand::verificationFailedExitCode);
            return;
        }
    }
    exportPhase = ExportPhase::Verifying;
    exportTool->readAllStandardOutput();
    exportTool->startTool(QStringLiteral("ffprobe"),
                          {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
                           QStringLiteral("json"), QStringLiteral("-show_format"),
                           QStringLiteral("-show_streams"), exportPath});
}

void FFMpegHandler::verifyExport(int probeExitCode)
{
    const QJsonObject probe = QJsonDocument::fromJson(exportTool->readAllStandardOutput()).object();
    const bool ok = probeExitCode == 0 && exportCommand->outputMismatch(probe).isEmpty();
    // The output stays for the user to inspect; the file is listed as failed.
    finishExport(ok ? 0 : ExportCommand::verificationFailedExitCode);
}

void FFMpegHandler::releaseEmptyTarget()
{
    // Nothing was written into the name we reserved: give it back.
    if (!exportPath.isEmpty() && QFileInfo(exportPath).size() == 0 && QFile::remove(exportPath))
        exportPath.clear();
}

void FFMpegHandler::finishExport(int exitCode)
{
    if (exportPhase == ExportPhase::Reported)
        return;
    exportPhase = ExportPhase::Reported;
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
    if (exportTool->state() != QProcess::NotRunning)
        exportTool->kill();
}
