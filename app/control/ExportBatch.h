#pragma once

#include "ExportOptions.h"
#include "ExportResult.h"
#include "FileData.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class ExportJob;
class JobRunner;

// One export request: a job per file, their results one by one, the progress
// of all of them, a cancel, and exportReady at the end. One at a time: a
// second request while one runs would mix its results into the first.
class ExportBatch : public QObject
{
    Q_OBJECT

public:
    ExportBatch(JobRunner *runner, QObject *parent = nullptr);

    void start(const QVector<FileData> &files, ExportOptions options);
    void cancel();

signals:
    void exportStarted();
    void exportProgress(int current, int all, QString statusMsg);
    // One per file, before the batch's exportReady.
    void exportFileResult(ExportResult result);
    // 0: all done, 1: cancelled, 2: some failed; the failed files' names.
    void exportReady(int exportResult, QStringList failedFileNames);
    // Told as the cancel reaches the running exports.
    void cancelling();

private:
    void onProgress(int units);
    void onFinished(ExportJob *job);
    void reportDropped(ExportJob *job);
    // Emits a file's outcome; `listAsFailed` puts it among exportReady's names.
    void reportFile(const ExportResult &result, bool listAsFailed);
    void emitProgress();
    void finishAfterDrop();
    void finish();
    void reset();

    JobRunner *runner;
    ExportOptions options;
    QString statusMsg;
    int fileCount = 0;
    int finishedCount = 0;
    int progressDone = 0;
    bool cancelled = false;
    bool allOk = true;
    QStringList failedFileNames;
};
