#pragma once

#include "Job.h"

#include "ProbeRecord.h"

// The probe of one media file: its format and streams. A WAV whose chunks we
// read ourselves finishes without ffprobe (its start alone costs some 65 ms
// of CPU, against a few kilobytes read here), every other file runs it.
class ProbeJob : public Job
{
    Q_OBJECT

public:
    ProbeJob(const QString &filePath, int fileId, QObject *parent = nullptr);

    static QStringList arguments(const QString &filePath);

    int fileId() const { return id; }
    // What the probe found; not valid when it printed nothing or failed.
    const ProbeRecord &record() const { return probed; }
    bool startsTool() const override { return !readInProcess; }

protected:
    void run() override;
    void toolEnded(int exitCode) override;

private:
    QString path;
    int id;
    ProbeRecord probed;
    bool readInProcess = false;
};
