#include "ReadBatch.h"

#include "AppInfo.h"
#include "DecodeJob.h"
#include "ExtractJob.h"
#include "JobRunner.h"
#include "ProbeJob.h"
#include "ProbeRecord.h"
#include "ResultCode.h"
#include "WorkFolder.h"

#include <QDir>
#include <QDirIterator>

namespace {

// The decoder's first read covers this much of a stream; timecode that starts
// later is searched for in the first laterSearchSeconds (all of a shorter file).
constexpr double firstWindowSeconds = 2.0;
constexpr int laterSearchSeconds = 60;

// One decoder read per audio stream of the file, of the WAVs the extraction wrote.
QVector<DecodeRequest> extractedWavRequests(const FileData &fileData, const QString &folder)
{
    QVector<DecodeRequest> requests;
    for (const char index : fileData.audioStreamIndexes) {
        DecodeRequest request;
        request.streamIndex = static_cast<qint8>(index);
        request.wavPath = ExtractJob::wavPath(folder, request.streamIndex, fileData.fileNumber);
        request.temporary = true;
        request.referenceSeconds = fileData.videoReferenceSeconds(request.streamIndex);
        requests.append(request);
    }
    return requests;
}

// The source itself is read; it is never written to or removed.
QVector<DecodeRequest> sourceRequest(const FileData &fileData)
{
    DecodeRequest request;
    request.streamIndex = static_cast<qint8>(fileData.audioStreamIndexes.at(0));
    request.wavPath = fileData.filePath;
    request.temporary = false;
    return {request};
}

} // namespace

ReadBatch::ReadBatch(JobRunner *runner, QObject *parent) : QObject(parent), runner(runner) {}

// ---- import ----------------------------------------------------------------

void ReadBatch::addDropped(const QList<QUrl> &urls)
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

void ReadBatch::skipFile()
{
    if (filesToRead == 0)
        return;
    --filesToRead;
    // Every file of the import was skipped: it is over, whatever user read still runs.
    if (filesToRead == 0)
        emit importReady();
    completeIfDone();
}

void ReadBatch::probe(FileData fileData, int fileId)
{
    fileData.fileNumber = fileId;
    auto *job = new ProbeJob(fileData.filePath, fileId);
    connect(job, &Job::finished, this, [this](Job *done) { onProbeFinished(static_cast<ProbeJob *>(done)); });
    runner->submit(job, JobRunner::Lane::Probe);
}

void ReadBatch::onProbeFinished(ProbeJob *job)
{
    ++progressDone;
    reportProgress(tr("importing files..."));
    if (job->resultCode() != ResultCode::Ok) {
        emit ffprobeResult(FileData(), job->fileId(), job->resultCode());
        // This file's extraction and decoder units will not come.
        progressDone += 2;
        reportProgress(tr("importing files..."));
    } else {
        emit ffprobeResult(FileData::fromProbe(job->record()), job->fileId(), 0);
    }
    // The read of this file may have been asked for, and have ended, before
    // its probe answered: the probe is then the batch's last unit.
    completeIfDone();
}

// ---- reading -----------------------------------------------------------------

void ReadBatch::readAutomatically(FileData fileData, int fileId)
{
    userReadLast = false;
    fileData.fileNumber = fileId;
    // Decoded with the automatic options, whatever request comes in meanwhile.
    fileData.audioTCReadRequested = false;
    startExtraction(fileData);
}

void ReadBatch::readWithOptions(const QVector<FileData> &files, const AudioTCOptions &options)
{
    userReadLast = true;
    userFilesToRead += static_cast<quint32>(files.size());
    for (FileData fileData : files) {
        // A later request must not change the options of a read still running.
        readOptions.insert(fileData.fileNumber, options);
        // Decoded with the user's options, whatever request comes in meanwhile.
        fileData.audioTCReadRequested = true;
        startExtraction(fileData);
    }
}

void ReadBatch::startExtraction(const FileData &fileData)
{
    // A WAV the decoder reads as it is needs no copy; its extraction unit is done at once.
    if (DecodeJob::readsSourceDirectly(fileData)) {
        takeExtraction(fileData, ResultCode::Ok, sourceRequest(fileData));
        return;
    }
    auto *job = new ExtractJob(fileData);
    connect(job, &Job::finished, this, [this](Job *done) { onExtractFinished(static_cast<ExtractJob *>(done)); });
    runner->submit(job, JobRunner::Lane::Extract);
}

void ReadBatch::onExtractFinished(ExtractJob *job)
{
    takeExtraction(job->fileData(), job->resultCode(), extractedWavRequests(job->fileData(), job->folder()));
}

void ReadBatch::takeExtraction(const FileData &fileData, int resultCode, const QVector<DecodeRequest> &requests)
{
    ++progressDone;
    reportProgress(tr("prepare files for reading..."));
    if (resultCode != ResultCode::Ok) {
        countDecoderUnitAsFailed(fileData.fileNumber, resultCode);
        return;
    }
    QVector<DecodeRequest> present;
    QList<int> missingStreams;
    for (DecodeRequest request : requests) {
        request.fileId = fileData.fileNumber;
        // Decoded with the options of the request that asked for this file.
        request.readRequested = fileData.audioTCReadRequested;
        request.preferSlope = fileData.isGoPro;
        request.sourcePath = fileData.filePath;
        request.duration = fileData.duration;
        if (QFileInfo(request.wavPath).isFile())
            present.append(request);
        else
            missingStreams.append(request.streamIndex);
    }
    if (present.isEmpty()) {
        // A "successful" extraction that wrote nothing.
        countDecoderUnitAsFailed(fileData.fileNumber, ResultCode::ExtractionFailed);
        return;
    }
    // Streams without a WAV were never counted; the file still hears of them,
    // before the decoder reports of its other streams.
    for (const int streamIndex : missingStreams)
        emit audioTCReadResult(QJsonObject(), fileData.fileNumber, streamIndex, ResultCode::ExtractionFailed);
    extraDecoderRuns += static_cast<quint32>(present.size() - 1);
    for (const DecodeRequest &request : present)
        decode(request);
}

// The file's one decoder unit of the batch total will not come from a run.
void ReadBatch::countDecoderUnitAsFailed(int fileId, int resultCode)
{
    ++progressDone;
    reportProgress(tr("prepare files for reading..."));
    emit audioTCReadResult(QJsonObject(), fileId, -1, resultCode);
    completeIfDone();
}

void ReadBatch::decode(const DecodeRequest &request)
{
    auto *job = new DecodeJob(request, readOptions.value(request.fileId));
    connect(job, &Job::finished, this, [this](Job *done) { onDecodeFinished(static_cast<DecodeJob *>(done)); });
    runner->submit(job, JobRunner::Lane::Decode);
}

void ReadBatch::onDecodeFinished(DecodeJob *job)
{
    const DecodeRequest &request = job->request();
    // Nothing in the first seconds of a longer stream: its result is that of
    // the search further in, which adds its own units before this one counts.
    if (job->resultCode() == ResultCode::LtcNotFound && !request.searchLater
        && request.duration > firstWindowSeconds)
        searchLater(request);
    else
        emit audioTCReadResult(job->report(), request.fileId, request.streamIndex, job->resultCode());
    ++progressDone;
    reportProgress(tr("reading audio TC..."));
    completeIfDone();
}

// One more read of the stream, from its first sample through the first minute:
// a WAV read in place is searched in place; anything else costs one
// extraction of that stream, whether or not it holds timecode.
void ReadBatch::searchLater(const DecodeRequest &request)
{
    DecodeRequest later = request;
    later.searchLater = true;
    if (!request.temporary && request.duration <= laterSearchSeconds) {
        ++extraDecoderRuns;
        decode(later);
        return;
    }
    extraDecoderRuns += 2;    // the extraction and the decoder run
    FileData piece;
    piece.filePath = request.sourcePath;
    piece.duration = request.duration;
    piece.fileNumber = request.fileId;
    piece.audioStreamIndexes = QByteArray(1, static_cast<char>(static_cast<qint8>(request.streamIndex)));
    auto *job = new ExtractJob(piece, laterSearchSeconds);
    connect(job, &Job::finished, this,
            [this, later](Job *done) { onLaterExtractFinished(static_cast<ExtractJob *>(done), later); });
    runner->submit(job, JobRunner::Lane::LaterExtract);
}

void ReadBatch::onLaterExtractFinished(ExtractJob *job, DecodeRequest request)
{
    ++progressDone;
    reportProgress(tr("prepare files for reading..."));
    if (job->resultCode() != ResultCode::Ok) {
        reportNotFound(request);
        return;
    }
    // The piece starts where the first extraction did, so the request's reference holds.
    request.wavPath = job->wavPath(request.streamIndex);
    request.temporary = true;
    decode(request);
}

// The first seconds held no timecode and the rest could not be read: that is
// the stream's result, and its decoder unit is done.
void ReadBatch::reportNotFound(const DecodeRequest &request)
{
    ++progressDone;
    reportProgress(tr("reading audio TC..."));
    emit audioTCReadResult(QJsonObject(), request.fileId, request.streamIndex, ResultCode::LtcNotFound);
    completeIfDone();
}

// ---- progress and the end of the batch -------------------------------------

quint32 ReadBatch::batchTotal() const
{
    return 3 * filesToRead + 2 * userFilesToRead + extraDecoderRuns;
}

void ReadBatch::reportProgress(const QString &text)
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

void ReadBatch::completeIfDone()
{
    const quint32 total = batchTotal();
    if (total == 0 || progressDone < total)
        return;
    readOptions.clear();
    // Both waiting parties hear of the end when an import and a user read overlapped.
    const bool hadImport = filesToRead > 0 || (!userReadLast && userFilesToRead == 0);
    const bool hadUserRead = userFilesToRead > 0 || (userReadLast && filesToRead == 0);
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
