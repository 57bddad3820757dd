#pragma once

#include "AudioTCOptions.h"
#include "ExportOptions.h"
#include "ExportResult.h"
#include "FileData.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVector>

class ExportBatch;
class JobRunner;
class ReadBatch;

// The controller the window talks to. Lives on the worker thread; hands
// reads to the read batch and exports to the export batch, whose jobs share
// one runner and its process budget. The file number it is given is the
// file's id, handed back with every result of that file.
class MainControl : public QObject
{
    Q_OBJECT

public:
    explicit MainControl(QObject *parent = nullptr);
    ~MainControl() override;

    static constexpr int maxRunningProcesses = 45;

    // Exports run at once on a machine with `cores` cores; the rest wait.
    static int exportsAtOnce(int cores);
    // A fixed number of exports at once instead (0: as exportsAtOnce says). For benchmarks.
    void setExportsAtOnce(int exports);
    // Reading tools run at once on a machine with `cores` cores; the rest wait.
    static int readsAtOnce(int cores);
    // A fixed number of reading tools at once instead (0: as readsAtOnce says). For benchmarks.
    void setReadsAtOnce(int reads);

signals:
    void ffprobeResult(FileData fileData, int fileNumber, int exitCode);
    void audioTCReadResult(QJsonObject ltcResultJson, int fileIndex, int audioTCStreamIndex, int exitCode);
    void gotFileFromDir(QFileInfo fileInfo);
    void exportProgress(int current, int all, QString statusMsg);
    void importProgress(int current, int all, QString statusMsg);
    void importReady();
    void readingFinished();
    void exportReady(int exportResult, QStringList exportErrorFileNameList);
    // One per file of an export job, before the job's exportReady.
    void exportFileResult(ExportResult result);
    void exportStarted();
    void cancelExportReq();

public slots:
    void onFFProbeFile(FileData fileData, int fileNumber);
    void onIterateThroughDir(QList<QUrl> urls);
    void onInitAudioTCInfo(FileData fileData, int fileNumber);
    // A file announced by gotFileFromDir that the table already holds: it is not read.
    void onFileSkipped();
    void onUpdateAudioTCInfo(QVector<FileData> audioTCUpdateFileVector, AudioTCOptions audioTCOptions);
    void onExportReq(QVector<FileData> exportFileVector, ExportOptions exportOptions);
    void onExportCancel();

private:
    JobRunner *runner;
    ReadBatch *reads;
    ExportBatch *exports;
};
