#pragma once

#include "AudioTCOptions.h"
#include "DecoderJob.h"
#include "ExportOptions.h"
#include "ExportResult.h"
#include "FileData.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QVector>

class FFMpegHandler;
class LTCHandler;

// The job controller. Lives on the worker thread; starts one tool driver per
// child process within a budget and queues what does not fit.
class MainControl : public QObject
{
    Q_OBJECT

public:
    explicit MainControl(QObject *parent = nullptr);
    ~MainControl() override;

    static constexpr int maxRunningProcesses = 45;

    // Exports run at once on a machine with `cores` cores; the rest wait in the export queue.
    static int exportsAtOnce(int cores);
    // A fixed number of exports at once instead (0: as exportsAtOnce says). For benchmarks.
    void setExportsAtOnce(int exports) { exportsAtOnceOverride = exports; }

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
    void onUpdateAudioTCInfo(QVector<FileData> audioTCUpdateFileVector, AudioTCOptions audioTCOptions);
    void onExportReq(QVector<FileData> exportFileVector, ExportOptions exportOptions);
    void onExportCancel();

private slots:
    void onFFProbeReady(FFMpegHandler *handler, QJsonObject ffprobeJson, uint fileNumber, int exitCode);
    void onAudioExtractReady(FFMpegHandler *handler, FileData fileData, int errorCode);
    void onPelbrookReady(LTCHandler *handler, QJsonObject ltcResultJson, QString filePath, int exitCode);
    void onLaterExtractReady(FFMpegHandler *handler, FileData fileData, int errorCode);
    void onExportProgress(uint addedValueToProgress);
    void onExportReady(FFMpegHandler *handler, int exitCode);

private:
    bool budgetFull() const { return runningProcessCount > maxRunningProcesses - 1; }
    void disposeHandler(QObject *handler);
    void startNextQueuedJobs();
    void probeQueueStep();
    void extractQueueStep();
    void decodeQueueStep();
    void laterSearchQueueStep();
    void exportQueueStep();
    bool exportSlotFree() const;

    // The decoder runs of one file, started together.
    struct FileDecode
    {
        int fileNumber = -1;
        QVector<DecoderJob> jobs;
    };

    void startProbe(const FileData &fileData);
    bool startExtraction(FileData fileData);
    bool startDecoder(const FileDecode &decode);
    void startOrQueueDecoder(const FileDecode &decode);
    void startLaterSearch(const DecoderJob &job);
    bool startLaterExtraction(const DecoderJob &job);
    void reportNotFound(const DecoderJob &job);
    void startExport(const FileData &fileData);

    quint32 batchTotal() const;
    void reportReadProgress(const QString &text);
    void countDecoderUnitAsFailed(int fileNumber, int resultCode);
    void handleExtractionResult(const FileData &fileData, int errorCode,
                                const QVector<DecoderJob> &jobs = {});
    void completeReadBatchIfDone();
    void completeReadBatch();
    void drainCancelledExports();
    void finishExportJob();

    quint8 runningProcessCount = 0;
    QList<FileData> probeQueue;
    QList<FileData> extractQueue;
    QList<FileDecode> decodeQueue;
    QList<DecoderJob> laterSearchQueue;    // streams waiting for their longer extraction
    QHash<FFMpegHandler *, DecoderJob> laterExtractions;    // the job each longer extraction serves
    QList<FileData> exportQueue;
    // Emits a file's outcome; `listAsFailed` puts it among exportReady's names.
    void reportExportFile(const ExportResult &result, bool listAsFailed);
    ExportOptions exportOptions;
    // Options of the latest user read of each row in the running batch.
    QHash<int, AudioTCOptions> readOptions;
    bool readBatchMode = false;
    QString statusMsg;
    quint32 exportFileCount = 0;
    quint32 exportFinishedCount = 0;
    quint32 exportProgressDone = 0;
    quint32 filesToRead = 0;
    quint32 extraDecoderRuns = 0;
    quint32 progressDone = 0;
    double lastProgressFraction = 0.0;
    bool exportCancelled = false;
    bool exportAllOk = true;
    QStringList exportErrorFileNames;
    // Files of user read requests in the running batch; `filesToRead` counts the
    // imported ones, so an import and a user read that overlap form one batch
    // whose total matches the units that will arrive.
    quint32 userFilesToRead = 0;
    // Names each extraction's own sub-folder of the working folder.
    quint32 extractionCount = 0;
    int runningExports = 0;
    int exportsAtOnceOverride = 0;
};
