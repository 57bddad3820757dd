#pragma once

#include "AudioTCOptions.h"
#include "ExportOptions.h"
#include "ExportResult.h"
#include "FileData.h"
#include "FileTableModel.h"
#include "TestWait.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <QtTest>
#include <QVector>

class MainControl;

// Drives MainControl on its own worker thread through queued signals, as the
// main window and the file table do, and keeps what comes back.
//
// With `actAsTable` set the table's own model takes part as in the window: a
// row per announced file, a probe request per row, a read request per good
// probe, and the audio timecode of each row from the decoder reports.
class ControlHarness : public QObject
{
    Q_OBJECT

    FileTableModel tableModel;

public:
    struct Progress { int current; int all; QString text; };
    struct ProbeResult { FileData fileData; int row; int code; };
    struct AudioResult { QJsonObject report; int row; int stream; int code; };
    struct ExportResult { int result; QStringList failedFiles; };

    explicit ControlHarness(bool actAsTable = false);
    ~ControlHarness() override;

    // Processes events until the predicate holds or the time is up.
    template <typename Pred>
    bool waitFor(Pred done, int timeoutMs = TestWait::toolWorkMs)
    {
        return QTest::qWaitFor(done, timeoutMs);
    }

    // Lets the worker handle every request sent so far, then delivers here
    // what it sent back. Tools it started are running when this returns.
    void sync();

    // Jobs the controller runs right now (each until it has reported).
    int drivers();

    // Lets everything already under way come in, without a fixed pause: waits
    // until the controller runs no job (each reports before its place is
    // freed), then delivers what the worker sent. What has not arrived after
    // settle() does not come. False when jobs remain at the limit.
    bool settle(int timeoutMs = TestWait::toolWorkMs);

    void drop(const QList<QUrl> &urls) { emit iterateThroughDirReq(urls); }
    void probe(const FileData &fileData, int row) { emit ffprobeFileReq(fileData, row); }
    void initRead(const FileData &fileData, int row) { emit initAudioTCInfoReq(fileData, row); }
    void userRead(const QVector<FileData> &rows, const AudioTCOptions &options)
    {
        emit updateAudioTCInfoReq(rows, options);
    }
    void exportFiles(const QVector<FileData> &rows, const ExportOptions &options)
    {
        emit exportFilesReq(rows, options);
    }
    void cancel() { emit cancelExport(); }

    // The controller, for work that must run on its thread.
    MainControl *controller() const { return control; }

    // Rows as the table holds them, numbered (fileNumber) by id, which is the row here.
    const QVector<FileData> &rows;
    QList<QFileInfo> announced;
    QList<ProbeResult> probeResults;
    QList<AudioResult> audioResults;
    QList<Progress> importProgress;
    QList<Progress> exportProgress;
    QList<ExportResult> exportResults;
    // Each file's outcome (exportFileResult), in arrival order.
    QList<::ExportResult> fileResults;
    // Every export signal in arrival order, as text, for sequence checks.
    QStringList exportLog;
    int importReadyCount = 0;
    int readingFinishedCount = 0;
    int exportStartedCount = 0;

signals:
    void iterateThroughDirReq(QList<QUrl> urls);
    void ffprobeFileReq(FileData fileData, int rowNumber);
    void initAudioTCInfoReq(FileData fileData, int rowNumber);
    void updateAudioTCInfoReq(QVector<FileData> rows, AudioTCOptions audioTCOptions);
    void exportFilesReq(QVector<FileData> exportFileVector, ExportOptions exportOptions);
    void cancelExport();

private slots:
    void onGotFileFromDir(QFileInfo fileInfo)
    {
        ++deliveries;
        announced.append(fileInfo);
    }
    void onFFProbeResult(FileData fileData, int fileNumber, int exitCode)
    {
        ++deliveries;
        probeResults.append({fileData, fileNumber, exitCode});
    }
    void onAudioTCReadResult(QJsonObject report, int row, int stream, int exitCode)
    {
        ++deliveries;
        audioResults.append({report, row, stream, exitCode});
    }
    void onImportProgress(int current, int all, QString statusMsg);
    void onExportProgress(int current, int all, QString statusMsg);
    void onExportStarted();
    void onExportReady(int exportResult, QStringList failedFiles);
    void onImportReady()
    {
        ++deliveries;
        ++importReadyCount;
    }
    void onReadingFinished()
    {
        ++deliveries;
        ++readingFinishedCount;
    }

private:
    int deliveries = 0; // signals taken from the controller, for settle()
    QThread worker;
    MainControl *control = nullptr;
};
