#pragma once

#include "AudioTCOptions.h"
#include "DecodeRequest.h"
#include "FileData.h"
#include "Job.h"

#include <QByteArray>
#include <QJsonObject>

// Pelbrook on one WAV. When the reading algorithm is left automatic and a run
// finds no timecode (205), the same file is read again with the next
// algorithm of automaticAlgorithms(), one run after the other, until one
// finds it. The result is that of the successful run, or of the last one. A
// WAV the extraction wrote goes once it has been read.
class DecodeJob : public Job
{
    Q_OBJECT

public:
    // A run that ended with 0 but printed no report holding a timecode: taken
    // as a failure, so no row ever shows an empty timecode as found.
    static constexpr int unreadableReportExitCode = ResultCode::UnreadableReport;

    // Read with the user's options when the request was asked for by the
    // user, else automatically.
    DecodeJob(const DecodeRequest &request, const AudioTCOptions &userOptions,
              QObject *parent = nullptr);

    const DecodeRequest &request() const { return req; }
    // The decoder's report as it printed it; empty unless it read to the end.
    QJsonObject report() const { return json; }
    // Decoder runs started so far.
    int runsStarted() const { return runCount; }

    // A source the decoder reads as it is: a RIFF WAV of integer PCM (8-32 bit)
    // or 32-bit float, plain or extensible, any channel count. Others are extracted first.
    static bool readsSourceDirectly(const FileData &fileData);
    // "-a" arguments of an automatic read, in the order they are tried; an
    // empty entry is the decoder's own default (LOW).
    static QStringList automaticAlgorithms(bool preferSlope);

protected:
    void run() override;
    void toolEnded(int exitCode) override;
    void toolFailed(int resultCode) override;

private:
    void startRun();
    void done(int resultCode);

    DecodeRequest req;
    QStringList fixedArguments;    // the WAV path and any -c/-f/-s/-o
    QStringList algorithmsToTry;   // "-a" argument of each run still to come
    QJsonObject json;
    int runCount = 0;
};
