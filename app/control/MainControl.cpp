#include "MainControl.h"

#include "AppInfo.h"
#include "ExportCommand.h"
#include "FFMpegHandler.h"
#include "LTCHandler.h"
#include "ResultCode.h"
#include "ToolProcess.h"
#include "WorkFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace {

constexpr int extractionFailedCode = ResultCode::ExtractionFailed;
constexpr quint32 exportUnitsPerFile = 15;
// The decoder's first read covers this much of a stream; timecode that starts
// later is searched for in the first laterSearchSeconds (all of a shorter file).
constexpr double firstWindowSeconds = 2.0;
constexpr int laterSearchSeconds = 60;

// One decoder job per audio stream of the file, reading the WAVs in `folder`
// that the extraction wrote.
QVector<DecoderJob> extractedWavJobs(const FileData &fileData, const QString &folder)
{
    QVector<DecoderJob> jobs;
    for (const char index : fileData.audioStreamIndexes) {
        DecoderJob job;
        job.streamIndex = static_cast<qint8>(index);
        job.wavPath = FFMpegHandler::tempWavPath(folder, job.streamIndex, fileData.fileNumber);
        job.temporary = true;
        job.referenceSeconds = fileData.videoReferenceSeconds(job.streamIndex);
        jobs.append(job);
    }
    return jobs;
}

// The source itself is read; it is never written to or removed.
QVector<DecoderJob> sourceJob(const FileData &fileData)
{
    DecoderJob job;
    job.streamIndex = static_cast<qint8>(fileData.audioStreamIndexes.at(0));
    job.wavPath = fileData.filePath;
    job.temporary = false;
    return {job};
}

// A tool that could not be started or crashed is named as such, never shown
// as a damaged file.
int probeResultCode(int exitCode)
{
    switch (exitCode) {
    case ToolProcess::startFailedExitCode: return ResultCode::ProbeStartFailed;
    case ToolProcess::crashedExitCode: return ResultCode::ProbeCrashed;
    default: return ResultCode::ProbeFailed;
    }
}

int extractionResultCode(int exitCode)
{
    switch (exitCode) {
    case ToolProcess::startFailedExitCode: return ResultCode::ExtractionStartFailed;
    case ToolProcess::crashedExitCode: return ResultCode::ExtractionCrashed;
    default: return ResultCode::ExtractionFailed;
    }
}

} // namespace

MainControl::MainControl(QObject *parent) : QObject(parent)
{
    probeQueue.reserve(20);
    extractQueue.reserve(20);
    decodeQueue.reserve(20);
    exportQueue.reserve(20);
    removeWorkFolder();
    removeAbandonedWorkFolders();
}

MainControl::~MainControl()
{
    // Stop every tool before its files go, and take no results while doing so.
    const QList<QObject *> handlers = children();
    for (QObject *handler : handlers) {
        disconnect(handler, nullptr, this, nullptr);
        delete handler;
    }
    removeWorkFolder();
}

// ---- budget and queues -----------------------------------------------------

void MainControl::disposeHandler(QObject *handler)
{
    if (runningProcessCount > 0)
        --runningProcessCount;
    handler->deleteLater();
    startNextQueuedJobs();
}

// Work on files already known comes first: a freed place goes to a decoder
// run, then an extraction, then an export, and only then to a new probe, so
// timecodes show from the start of a large import instead of after its last probe.
void MainControl::startNextQueuedJobs()
{
    decodeQueueStep();
    laterSearchQueueStep();
    extractQueueStep();
    exportQueueStep();
    probeQueueStep();
}

void MainControl::probeQueueStep()
{
    if (budgetFull() || probeQueue.isEmpty())
        return;
    startProbe(probeQueue.takeFirst());
}

// An entry that ends without starting a tool (it is counted as failed at
// once) frees no place, so no later result would take the next one: go on to
// the next entry until one tool has started.
void MainControl::extractQueueStep()
{
    while (!budgetFull() && !extractQueue.isEmpty()) {
        if (startExtraction(extractQueue.takeFirst()))
            return;
    }
}

void MainControl::decodeQueueStep()
{
    while (!budgetFull() && !decodeQueue.isEmpty()) {
        if (startDecoder(decodeQueue.takeFirst()))
            return;
    }
}

void MainControl::laterSearchQueueStep()
{
    while (!budgetFull() && !laterSearchQueue.isEmpty()) {
        if (startLaterExtraction(laterSearchQueue.takeFirst()))
            return;
    }
}

void MainControl::exportQueueStep()
{
    if (exportQueue.isEmpty())
        return;
    // Dropping queued records starts nothing, so it need not wait for the budget.
    if (exportCancelled) {
        drainCancelledExports();
        return;
    }
    if (exportSlotFree())
        startExport(exportQueue.takeFirst());
}

// Measured with bench_export on 2 shared cores (20 clips of 1080p, three runs
// under different load): DNxHD one at a time took 28.6 / 61.9 / 16.0 s, two
// 29.2 / 49.1 / 13.4 s, four 33.9 / 31.0 / 11.9 s, all at once 60.9 / 51.3 /
// 16.1 s with 5.7 GB of encoders, its first file done after 5-31 s instead of
// 1-3 s. Copies took 3.7 to 4.5 s at any number in the last run. Two per core
// was fastest or close to it for both, with a tenth of the memory.
int MainControl::exportsAtOnce(int cores)
{
    cores = std::max(1, cores);
    return std::min(maxRunningProcesses, 2 * cores);
}

bool MainControl::exportSlotFree() const
{
    const int limit = exportsAtOnceOverride > 0
        ? exportsAtOnceOverride
        : exportsAtOnce(QThread::idealThreadCount());
    return !budgetFull() && runningExports < limit;
}

// ---- import ----------------------------------------------------------------

void MainControl::onIterateThroughDir(QList<QUrl> urls)
{
    const quint32 filesBefore = filesToRead;
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (info.isDir()) {
            QDirIterator it(path, mediaNameFilters(), QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                ++filesToRead;
                emit gotFileFromDir(QFileInfo(it.next()));
            }
        } else if (!path.isEmpty() && QDir::match(mediaNameFilters(), info.fileName())) {
            ++filesToRead;
            emit gotFileFromDir(info);
        }
    }
    // Nothing to read and no batch that will end: the import is over already.
    if (filesToRead == filesBefore && batchTotal() == 0)
        emit importReady();
}

void MainControl::onFFProbeFile(FileData fileData, int fileNumber)
{
    fileData.fileNumber = fileNumber;
    if (budgetFull()) {
        probeQueue.append(fileData);
        return;
    }
    startProbe(fileData);
}

void MainControl::startProbe(const FileData &fileData)
{
    auto *handler = new FFMpegHandler(this);
    connect(handler, &FFMpegHandler::ffprobeResult, this, &MainControl::onFFProbeReady);
    handler->ffprobeFile(fileData.filePath, static_cast<uint>(fileData.fileNumber));
    ++runningProcessCount;
}

void MainControl::onFFProbeReady(FFMpegHandler *handler, QJsonObject ffprobeJson, uint fileNumber,
                                 int exitCode)
{
    ++progressDone;
    reportReadProgress(tr("importing files..."));
    const int row = static_cast<int>(fileNumber);
    if (exitCode != 0 || ffprobeJson.isEmpty()) {
        emit ffprobeResult(FileData(), row,
                           exitCode != 0 ? probeResultCode(exitCode) : int(ResultCode::ProbeEmpty));
        // This file's extraction and decoder units will not come.
        progressDone += 2;
        reportReadProgress(tr("importing files..."));
    } else {
        emit ffprobeResult(FileData::fromProbe(ProbeRecord::fromJson(ffprobeJson)), row, 0);
    }
    // The read of this file may have been asked for, and have ended, before
    // its probe answered: the probe is then the batch's last unit.
    completeReadBatchIfDone();
    disposeHandler(handler);
}

// ---- audio timecode reading --------------------------------------------------

void MainControl::onInitAudioTCInfo(FileData fileData, int fileNumber)
{
    readBatchMode = false;
    fileData.fileNumber = fileNumber;
    // Decoded with the automatic options, whatever request comes in meanwhile.
    fileData.audioTCReadRequested = false;
    if (budgetFull()) {
        extractQueue.append(fileData);
        return;
    }
    startExtraction(fileData);
}

void MainControl::onUpdateAudioTCInfo(QVector<FileData> audioTCUpdateFileVector,
                                      AudioTCOptions audioTCOptions)
{
    readBatchMode = true;
    userFilesToRead += static_cast<quint32>(audioTCUpdateFileVector.size());
    for (FileData fileData : audioTCUpdateFileVector) {
        // A later request must not change the options of a read still running.
        readOptions.insert(fileData.fileNumber, audioTCOptions);
        // Decoded with the user's options, whatever request comes in meanwhile.
        fileData.audioTCReadRequested = true;
        if (budgetFull())
            extractQueue.append(fileData);
        else
            startExtraction(fileData);
    }
}

bool MainControl::startExtraction(FileData fileData)
{
    // A WAV the decoder reads as it is needs no copy; its extraction unit is done at once.
    if (LTCHandler::readsSourceDirectly(fileData)) {
        handleExtractionResult(fileData, 0, sourceJob(fileData));
        return false;
    }
    // Each extraction writes into a folder of its own, named by a number, so
    // no two runs share a name and no source name makes a path too long.
    const QString folderName = QString::number(++extractionCount);
    if (!prepareWorkSubFolder(folderName)) {
        // A folder we cannot trust gets no files written through it.
        handleExtractionResult(fileData, extractionFailedCode);
        return false;
    }
    auto *handler = new FFMpegHandler(this);
    connect(handler, &FFMpegHandler::ffmpegAudioExtractResult, this,
            &MainControl::onAudioExtractReady);
    handler->ffmpegAudioExtract(fileData, workSubFolderPath(folderName));
    ++runningProcessCount;
    return true;
}

void MainControl::onAudioExtractReady(FFMpegHandler *handler, FileData fileData, int errorCode)
{
    handleExtractionResult(fileData, errorCode,
                           extractedWavJobs(fileData, handler->audioExtractFolder()));
    disposeHandler(handler);
}

void MainControl::handleExtractionResult(const FileData &fileData, int errorCode,
                                         const QVector<DecoderJob> &jobs)
{
    ++progressDone;
    reportReadProgress(tr("prepare files for reading..."));
    if (errorCode != 0) {
        countDecoderUnitAsFailed(fileData.fileNumber, extractionResultCode(errorCode));
        return;
    }
    FileDecode decode;
    decode.fileNumber = fileData.fileNumber;
    for (DecoderJob job : jobs) {
        job.fileNumber = fileData.fileNumber;
        // Decoded with the options of the request that asked for this file.
        job.readRequested = fileData.audioTCReadRequested;
        job.preferSlope = fileData.isGoPro;
        job.sourcePath = fileData.filePath;
        job.duration = fileData.duration;
        decode.jobs.append(job);
    }
    startOrQueueDecoder(decode);
}

void MainControl::startOrQueueDecoder(const FileDecode &decode)
{
    if (budgetFull())
        decodeQueue.append(decode);
    else
        startDecoder(decode);
}

// The file's one decoder unit of the batch total will not come from a run.
void MainControl::countDecoderUnitAsFailed(int fileNumber, int resultCode)
{
    ++progressDone;
    reportReadProgress(tr("prepare files for reading..."));
    emit audioTCReadResult(QJsonObject(), fileNumber, -1, resultCode);
    completeReadBatchIfDone();
}

bool MainControl::startDecoder(const FileDecode &decode)
{
    QVector<DecoderJob> present;
    QList<int> missingStreams;
    for (const DecoderJob &job : decode.jobs) {
        if (QFileInfo(job.wavPath).isFile())
            present.append(job);
        else
            missingStreams.append(job.streamIndex);
    }
    if (present.isEmpty()) {
        // A "successful" extraction that wrote nothing.
        countDecoderUnitAsFailed(decode.fileNumber, extractionFailedCode);
        return false;
    }
    // Streams without a WAV were never counted; the row still hears of them,
    // before the decoder reports of its other streams.
    for (const int streamIndex : missingStreams)
        emit audioTCReadResult(QJsonObject(), decode.fileNumber, streamIndex, extractionFailedCode);
    for (const DecoderJob &job : present) {
        auto *handler = new LTCHandler(this);
        connect(handler, &LTCHandler::pelbrookResult, this, &MainControl::onPelbrookReady);
        handler->read(job, readOptions.value(job.fileNumber));
        ++runningProcessCount;
    }
    extraDecoderRuns += static_cast<quint32>(present.size() - 1);
    return true;
}

void MainControl::onPelbrookReady(LTCHandler *handler, QJsonObject ltcResultJson, QString,
                                  int exitCode)
{
    const DecoderJob job = handler->job();
    // Nothing in the first seconds of a longer stream: its result is that of
    // the search further in, which adds its own units before this one counts.
    if (exitCode == LTCHandler::ltcNotFoundExitCode && !job.searchLater && job.duration > firstWindowSeconds)
        startLaterSearch(job);
    else
        emit audioTCReadResult(ltcResultJson, job.fileNumber, job.streamIndex, exitCode);
    ++progressDone;
    reportReadProgress(tr("reading audio TC..."));
    completeReadBatchIfDone();
    if (job.temporary) {
        QFile::remove(job.wavPath);
        // The extraction's own folder goes with its last WAV.
        QDir().rmdir(QFileInfo(job.wavPath).absolutePath());
    }
    disposeHandler(handler);
}

// One more read of the stream, from its first sample through the first minute:
// a WAV read in place is searched in place; anything else costs one
// extraction of that stream, whether or not it holds timecode.
void MainControl::startLaterSearch(const DecoderJob &job)
{
    DecoderJob later = job;
    later.searchLater = true;
    if (!job.temporary && job.duration <= laterSearchSeconds) {
        ++extraDecoderRuns;
        FileDecode decode;
        decode.fileNumber = job.fileNumber;
        decode.jobs.append(later);
        startOrQueueDecoder(decode);
        return;
    }
    extraDecoderRuns += 2;    // the extraction and the decoder run
    if (budgetFull())
        laterSearchQueue.append(later);
    else
        startLaterExtraction(later);
}

bool MainControl::startLaterExtraction(const DecoderJob &job)
{
    const QString folderName = QString::number(++extractionCount);
    if (!prepareWorkSubFolder(folderName)) {
        ++progressDone;    // the extraction unit; reportNotFound counts the decoder's
        reportNotFound(job);
        return false;
    }
    FileData piece;
    piece.filePath = job.sourcePath;
    piece.duration = job.duration;
    piece.fileNumber = job.fileNumber;
    piece.audioStreamIndexes = QByteArray(1, static_cast<char>(static_cast<qint8>(job.streamIndex)));
    piece.audioTCReadRequested = job.readRequested;
    piece.isGoPro = job.preferSlope;
    auto *handler = new FFMpegHandler(this);
    connect(handler, &FFMpegHandler::ffmpegAudioExtractResult, this, &MainControl::onLaterExtractReady);
    laterExtractions.insert(handler, job);
    handler->ffmpegAudioExtract(piece, workSubFolderPath(folderName), laterSearchSeconds);
    ++runningProcessCount;
    return true;
}

void MainControl::onLaterExtractReady(FFMpegHandler *handler, FileData, int errorCode)
{
    ++progressDone;
    reportReadProgress(tr("prepare files for reading..."));
    // The piece starts where the first extraction did, so the job's reference holds.
    DecoderJob job = laterExtractions.take(handler);
    job.wavPath = FFMpegHandler::tempWavPath(handler->audioExtractFolder(), job.streamIndex, job.fileNumber);
    job.temporary = true;
    if (errorCode != 0) {
        QFile::remove(job.wavPath);
        QDir().rmdir(handler->audioExtractFolder());
        reportNotFound(job);
    } else {
        FileDecode decode;
        decode.fileNumber = job.fileNumber;
        decode.jobs.append(job);
        startOrQueueDecoder(decode);
    }
    disposeHandler(handler);
}

// The first seconds held no timecode and the rest could not be read: that is
// the stream's result, and its decoder unit is done.
void MainControl::reportNotFound(const DecoderJob &job)
{
    ++progressDone;
    reportReadProgress(tr("reading audio TC..."));
    emit audioTCReadResult(QJsonObject(), job.fileNumber, job.streamIndex, LTCHandler::ltcNotFoundExitCode);
    completeReadBatchIfDone();
}

quint32 MainControl::batchTotal() const
{
    return 3 * filesToRead + 2 * userFilesToRead + extraDecoderRuns;
}

void MainControl::reportReadProgress(const QString &text)
{
    const quint32 total = batchTotal();
    if (total == 0)
        return;
    const double fraction = double(progressDone) / double(total);
    if (fraction <= lastProgressFraction)
        return;
    lastProgressFraction = fraction;
    emit importProgress(static_cast<int>(progressDone), static_cast<int>(total), text);
}

void MainControl::completeReadBatchIfDone()
{
    const quint32 total = batchTotal();
    if (total > 0 && progressDone >= total)
        completeReadBatch();
}

void MainControl::completeReadBatch()
{
    readOptions.clear();
    // Both waiting parties hear of the end when an import and a user read overlapped.
    const bool hadImport = filesToRead > 0 || (!readBatchMode && userFilesToRead == 0);
    const bool hadUserRead = userFilesToRead > 0 || (readBatchMode && filesToRead == 0);
    filesToRead = 0;
    userFilesToRead = 0;
    extraDecoderRuns = 0;
    progressDone = 0;
    lastProgressFraction = 0.0;
    // Cleared before the end is told, so whoever hears it finds nothing left behind.
    removeWorkFolder();
    if (hadImport)
        emit importReady();
    if (hadUserRead)
        emit readingFinished();
}

// ---- export ------------------------------------------------------------------

void MainControl::onExportReq(QVector<FileData> exportFileVector, ExportOptions exportOptions)
{
    // One export job at a time: a second one would mix its results into the first.
    if (exportFileCount > 0)
        return;
    exportOptions.progressUnitsPerFile = static_cast<qint32>(exportUnitsPerFile);
    this->exportOptions = exportOptions;
    exportFinishedCount = 0;
    exportProgressDone = 0;
    exportErrorFileNames.clear();
    exportCancelled = false;
    exportFileCount = static_cast<quint32>(exportFileVector.size());
    exportAllOk = true;
    if (exportFileVector.isEmpty())
        return;
    // What an export of a crashed or killed Dorrik left in that folder.
    ExportCommand::removeAbandonedPartialFiles(exportOptions.targetFolderPath);
    statusMsg = tr("exporting files...");
    emit exportProgress(0, 1, statusMsg);
    emit exportStarted();
    for (const FileData &fileData : exportFileVector) {
        if (exportSlotFree())
            startExport(fileData);
        else
            exportQueue.append(fileData);
    }
}

void MainControl::startExport(const FileData &fileData)
{
    auto *handler = new FFMpegHandler(this);
    connect(handler, &FFMpegHandler::ffmpegExportResult, this, &MainControl::onExportReady);
    connect(handler, &FFMpegHandler::ffmpegExportProgress, this, &MainControl::onExportProgress);
    // The handler's cancel slot is private; by name it may still be connected.
    connect(this, SIGNAL(cancelExportReq()), handler, SLOT(onExportCancel()));
    handler->ffmpegExport(fileData, exportOptions);
    ++runningProcessCount;
    ++runningExports;
}

void MainControl::onExportProgress(uint addedValueToProgress)
{
    exportProgressDone += addedValueToProgress;
    emit exportProgress(static_cast<int>(exportProgressDone),
                        static_cast<int>(exportUnitsPerFile * exportFileCount), statusMsg);
}

void MainControl::onExportCancel()
{
    // A cancel that crossed the job's end has nothing left to stop.
    if (exportFileCount == 0)
        return;
    statusMsg = tr("cancelling export...");
    exportCancelled = true;
    emit exportProgress(static_cast<int>(exportProgressDone),
                        static_cast<int>(exportUnitsPerFile * exportFileCount), statusMsg);
    emit cancelExportReq();
    // Queued records are dropped at once: they start no tool, so no result of
    // another job needs to come first.
    exportQueueStep();
}

void MainControl::drainCancelledExports()
{
    statusMsg = tr("cancelling export...");
    while (!exportQueue.isEmpty()) {
        const FileData dropped = exportQueue.takeFirst();
        ExportResult result;
        result.fileNumber = dropped.fileNumber;
        result.fileName = dropped.fileName;
        result.sourcePath = dropped.filePath;
        result.resultCode = ResultCode::ExportCancelled;
        result.reason = ResultCode::text(result.resultCode);
        // It never ran: not one of the job's failed files.
        reportExportFile(result, false);
        ++exportFinishedCount;
        emit exportProgress(static_cast<int>(exportProgressDone),
                            static_cast<int>(exportUnitsPerFile * exportFileCount), statusMsg);
    }
    if (exportFinishedCount == exportFileCount) {
        statusMsg = tr("export cancelled");
        emit exportReady(1, exportErrorFileNames);
        emit exportProgress(0, 1, statusMsg);
        exportFileCount = 0;
        exportFinishedCount = 0;
        exportProgressDone = 0;
    }
}

void MainControl::reportExportFile(const ExportResult &result, bool listAsFailed)
{
    if (listAsFailed) {
        exportErrorFileNames.append(result.fileName);
        exportAllOk = false;
    }
    emit exportFileResult(result);
}

void MainControl::onExportReady(FFMpegHandler *handler, int exitCode)
{
    if (runningExports > 0)
        --runningExports;
    Q_UNUSED(exitCode) // the handler's result says more than the tool's exit code
    ExportResult result = handler->exportResult();
    const bool failed = !result.done();
    if (exportCancelled) {
        statusMsg = tr("cancelling export...");
        const QString target = handler->exportTargetPath();
        if (!target.isEmpty())
            QFile::remove(target);
        result.outputPath.clear();
        result.timecode.clear();
        result.timeReference = -1;
        result.resultCode = ResultCode::ExportCancelled;
        result.reason = ResultCode::text(result.resultCode);
    }
    ++exportFinishedCount;
    emit exportProgress(static_cast<int>(exportProgressDone),
                        static_cast<int>(exportUnitsPerFile * exportFileCount), statusMsg);
    reportExportFile(result, failed);
    if (exportFinishedCount == exportFileCount)
        finishExportJob();
    disposeHandler(handler);
}

void MainControl::finishExportJob()
{
    emit exportProgress(static_cast<int>(exportFinishedCount), static_cast<int>(exportFileCount),
                        statusMsg);
    if (exportCancelled) {
        statusMsg = tr("export cancelled");
        emit exportProgress(0, 1, statusMsg);
        emit exportReady(1, exportErrorFileNames);
    } else {
        statusMsg = QStringLiteral("ready");
        emit exportReady(exportAllOk ? 0 : 2, exportErrorFileNames);
    }
    exportFileCount = 0;
    exportFinishedCount = 0;
    exportProgressDone = 0;
}
