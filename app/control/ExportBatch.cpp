#include "ExportBatch.h"

#include "ExportTarget.h"
#include "ExportJob.h"
#include "JobRunner.h"
#include "ResultCode.h"

#include <QFile>

namespace {

constexpr int unitsPerFile = 15;

} // namespace

ExportBatch::ExportBatch(JobRunner *runner, QObject *parent) : QObject(parent), runner(runner) {}

void ExportBatch::start(const QVector<FileData> &files, ExportOptions options)
{
    if (fileCount > 0)
        return;
    options.progressUnitsPerFile = unitsPerFile;
    this->options = options;
    reset();
    failedFileNames.clear();
    cancelled = false;
    allOk = true;
    fileCount = files.size();
    if (files.isEmpty())
        return;
    // What an export of a crashed or killed Dorrik left in that folder.
    ExportTarget::removeAbandonedPartialFiles(options.targetFolderPath);
    statusMsg = tr("exporting files...");
    emit exportProgress(0, 1, statusMsg);
    emit exportStarted();
    for (const FileData &fileData : files) {
        auto *job = new ExportJob(fileData, options);
        connect(job, &ExportJob::progress, this, &ExportBatch::onProgress);
        connect(job, &Job::finished, this, [this](Job *done) { onFinished(static_cast<ExportJob *>(done)); });
        runner->submit(job, JobRunner::Lane::Export);
    }
}

void ExportBatch::emitProgress()
{
    emit exportProgress(progressDone, unitsPerFile * fileCount, statusMsg);
}

void ExportBatch::onProgress(int units)
{
    progressDone += units;
    emitProgress();
}

void ExportBatch::cancel()
{
    // A cancel that crossed the batch's end has nothing left to stop.
    if (fileCount == 0)
        return;
    statusMsg = tr("cancelling export...");
    cancelled = true;
    emitProgress();
    emit cancelling();
    const QList<Job *> running = runner->runningJobs(JobRunner::Lane::Export);
    for (Job *job : running)
        job->cancel();
    // Waiting files are dropped at once: they start no tool, so no result of
    // another file needs to come first.
    const QList<Job *> queued = runner->queuedJobs(JobRunner::Lane::Export);
    if (queued.isEmpty())
        return;
    for (Job *job : queued)
        job->cancel();
    finishAfterDrop();
}

void ExportBatch::reportFile(const ExportResult &result, bool listAsFailed)
{
    if (listAsFailed) {
        failedFileNames.append(result.fileName);
        allOk = false;
    }
    emit exportFileResult(result);
}

void ExportBatch::reportDropped(ExportJob *job)
{
    ExportResult result = job->result();
    result.resultCode = ResultCode::ExportCancelled;
    result.reason = ResultCode::text(result.resultCode);
    // It never ran: not one of the batch's failed files.
    reportFile(result, false);
    ++finishedCount;
    emitProgress();
}

void ExportBatch::onFinished(ExportJob *job)
{
    if (!job->wasStarted()) {
        reportDropped(job);
        return;
    }
    ExportResult result = job->result();
    const bool failed = !result.done();
    if (cancelled) {
        statusMsg = tr("cancelling export...");
        if (!job->targetPath().isEmpty())
            QFile::remove(job->targetPath());
        result.outputPath.clear();
        result.timecode.clear();
        result.timeReference = -1;
        result.resultCode = ResultCode::ExportCancelled;
        result.reason = ResultCode::text(result.resultCode);
    }
    ++finishedCount;
    emitProgress();
    reportFile(result, failed);
    if (finishedCount == fileCount)
        finish();
}

// The dropped files were the last ones.
void ExportBatch::finishAfterDrop()
{
    if (finishedCount != fileCount)
        return;
    statusMsg = tr("export cancelled");
    emit exportReady(1, failedFileNames);
    emit exportProgress(0, 1, statusMsg);
    reset();
}

void ExportBatch::finish()
{
    emit exportProgress(finishedCount, fileCount, statusMsg);
    if (cancelled) {
        statusMsg = tr("export cancelled");
        emit exportProgress(0, 1, statusMsg);
        emit exportReady(1, failedFileNames);
    } else {
        statusMsg = QStringLiteral("ready");
        emit exportReady(allOk ? 0 : 2, failedFileNames);
    }
    reset();
}

void ExportBatch::reset()
{
    fileCount = 0;
    finishedCount = 0;
    progressDone = 0;
}
