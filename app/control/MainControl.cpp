#include "MainControl.h"

#include "ExportBatch.h"
#include "JobRunner.h"
#include "ReadBatch.h"
#include "WorkFolder.h"

static_assert(MainControl::maxRunningProcesses == JobRunner::maxRunningJobs, "one budget");

MainControl::MainControl(QObject *parent)
    : QObject(parent), runner(new JobRunner(this)), reads(new ReadBatch(runner, this)),
      exports(new ExportBatch(runner, this))
{
    removeWorkFolder();
    removeAbandonedWorkFolders();

    connect(reads, &ReadBatch::gotFileFromDir, this, &MainControl::gotFileFromDir);
    connect(reads, &ReadBatch::ffprobeResult, this, &MainControl::ffprobeResult);
    connect(reads, &ReadBatch::audioTCReadResult, this, &MainControl::audioTCReadResult);
    connect(reads, &ReadBatch::importProgress, this, &MainControl::importProgress);
    connect(reads, &ReadBatch::importReady, this, &MainControl::importReady);
    connect(reads, &ReadBatch::readingFinished, this, &MainControl::readingFinished);

    connect(exports, &ExportBatch::exportStarted, this, &MainControl::exportStarted);
    connect(exports, &ExportBatch::exportProgress, this, &MainControl::exportProgress);
    connect(exports, &ExportBatch::exportFileResult, this, &MainControl::exportFileResult);
    connect(exports, &ExportBatch::exportReady, this, &MainControl::exportReady);
    connect(exports, &ExportBatch::cancelling, this, &MainControl::cancelExportReq);
}

MainControl::~MainControl()
{
    // Stop every tool before its files go, and take no results while doing so.
    delete runner;
    removeWorkFolder();
}

int MainControl::exportsAtOnce(int cores)
{
    return JobRunner::exportsAtOnce(cores);
}

void MainControl::setExportsAtOnce(int exports)
{
    runner->setExportsAtOnce(exports);
}

int MainControl::readsAtOnce(int cores)
{
    return JobRunner::readsAtOnce(cores);
}

void MainControl::setReadsAtOnce(int reads)
{
    runner->setReadsAtOnce(reads);
}

void MainControl::onIterateThroughDir(QList<QUrl> urls)
{
    reads->addDropped(urls);
}

void MainControl::onFFProbeFile(FileData fileData, int fileId)
{
    reads->probe(fileData, fileId);
}

void MainControl::onFileSkipped()
{
    reads->skipFile();
}

void MainControl::onInitAudioTCInfo(FileData fileData, int fileId)
{
    reads->readAutomatically(fileData, fileId);
}

void MainControl::onUpdateAudioTCInfo(QVector<FileData> audioTCUpdateFileVector, AudioTCOptions audioTCOptions)
{
    reads->readWithOptions(audioTCUpdateFileVector, audioTCOptions);
}

void MainControl::onExportReq(QVector<FileData> exportFileVector, ExportOptions exportOptions)
{
    exports->start(exportFileVector, exportOptions);
}

void MainControl::onExportCancel()
{
    exports->cancel();
}
