#pragma once

#include "AudioTCOptions.h"
#include "DecoderJob.h"
#include "FileData.h"
#include "ResultCode.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

class ToolProcess;

// Driver of the Pelbrook decoder: one handler serves one read of one WAV file
// and reports exactly one result.
//
// When the reading algorithm is left automatic and a run finds no timecode
// (205), the same file is read again with the next algorithm of
// automaticAlgorithms(), one run after the other, until one finds it. The
// result is that of the successful run, or of the last one.
class LTCHandler : public QObject
{
    Q_OBJECT

public:
    static constexpr int ltcNotFoundExitCode = ResultCode::LtcNotFound;
    // A run that ended with 0 but printed no report holding a timecode: taken
    // as a failure, so no row ever shows an empty timecode as found.
    static constexpr int unreadableReportExitCode = ResultCode::UnreadableReport;

    explicit LTCHandler(QObject *parent = nullptr);
    ~LTCHandler() override;

    // One WAV outside a batch: read automatically, or with these options.
    void readTimecode(QString wavPath, bool preferSlope);
    void readTimecode(QString wavPath, AudioTCOptions options, bool preferSlope);
    // Reads the job's WAV: with the user's options when the job was asked for
    // by the user, else automatically. The job comes back with job().
    void read(const DecoderJob &job, const AudioTCOptions &userOptions);
    const DecoderJob &job() const { return decoderJob; }

    // A source the decoder reads as it is: a RIFF WAV of integer PCM (8-32 bit)
    // or 32-bit float, plain or extensible, any channel count. Others are extracted first.
    static bool readsSourceDirectly(const FileData &fileData);

    // "-a" arguments of an automatic read, in the order they are tried; an
    // empty entry is the decoder's own default (LOW).
    static QStringList automaticAlgorithms(bool preferSlope);

    // Decoder runs started by this handler's read so far.
    int runsStarted() const { return runCount; }

signals:
    void pelbrookResult(LTCHandler *handler, QJsonObject ltcReadResultJson, QString filePath, int exitCode);

private slots:
    void pelbrookReady();
    void pelbrookFinished(int exitCode);

private:
    void startRun();

    ToolProcess *decoderProcess = nullptr;
    QByteArray outputBuffer;
    QString wavPath;
    DecoderJob decoderJob;
    QStringList fixedArguments;    // the WAV path and any -c/-f
    QStringList algorithmsToTry;   // "-a" argument of each run still to come
    int runCount = 0;
};

Q_DECLARE_METATYPE(LTCHandler *)
