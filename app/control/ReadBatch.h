#pragma once

#include "AudioTCOptions.h"
#include "DecodeRequest.h"
#include "FileData.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QVector>

class DecodeJob;
class ExtractJob;
class JobRunner;
class ProbeJob;

// The reading side: an import (files found in dropped folders, their probes,
// the automatic read of each) and user reads with their options, each stream
// searched further in when its first seconds hold no timecode. Imports and
// user reads that overlap form one batch; its progress counts units (a probe,
// an extraction, a decoder read) and it ends when the last one is in.
class ReadBatch : public QObject
{
    Q_OBJECT

public:
    ReadBatch(JobRunner *runner, QObject *parent = nullptr);

    void addDropped(const QList<QUrl> &urls);
    void probe(FileData fileData, int fileId);
    // An announced file that will not be probed or read: the import no longer waits for it.
    void skipFile();
    void readAutomatically(FileData fileData, int fileId);
    void readWithOptions(const QVector<FileData> &files, const AudioTCOptions &options);

signals:
    void gotFileFromDir(QFileInfo fileInfo);
    void ffprobeResult(FileData fileData, int fileId, int resultCode);
    void audioTCReadResult(QJsonObject report, int fileId, int streamIndex, int resultCode);
    void importProgress(int current, int all, QString statusMsg);
    void importReady();
    void readingFinished();

private:
    void onProbeFinished(ProbeJob *job);
    void startExtraction(const FileData &fileData);
    void onExtractFinished(ExtractJob *job);
    void takeExtraction(const FileData &fileData, int resultCode, const QVector<DecodeRequest> &requests = {});
    void decode(const DecodeRequest &request);
    void onDecodeFinished(DecodeJob *job);
    void searchLater(const DecodeRequest &request);
    void onLaterExtractFinished(ExtractJob *job, DecodeRequest request);
    void reportNotFound(const DecodeRequest &request);
    void countDecoderUnitAsFailed(int fileId, int resultCode);

    quint32 batchTotal() const;
    void reportProgress(const QString &text);
    void completeIfDone();

    JobRunner *runner;
    // Options of the latest user read of each file in the running batch.
    QHash<int, AudioTCOptions> readOptions;
    bool userReadLast = false;
    // Imported files and files of user reads in the running batch, so an
    // import and a user read that overlap form one batch whose total matches
    // the units that will arrive.
    quint32 filesToRead = 0;
    quint32 userFilesToRead = 0;
    quint32 extraDecoderRuns = 0;
    quint32 progressDone = 0;
    double lastProgressFraction = 0.0;
};
