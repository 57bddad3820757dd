#pragma once

#include "FileData.h"
#include "Job.h"

// ffmpeg writes the first seconds of some audio streams of one file (all of a
// shorter file) to one WAV each, in a sub-folder of the working folder that
// the job makes for itself, named by a number: no two runs share a name and no
// source name makes a path too long. On failure the job takes what it wrote
// away again; a written WAV is removed by whoever reads it.
class ExtractJob : public Job
{
    Q_OBJECT

public:
    // Three seconds hold the decoder's first two with room to spare.
    static constexpr int firstReadSeconds = 3;

    // Extracts the streams in the record's audioStreamIndexes.
    ExtractJob(const FileData &fileData, int seconds = firstReadSeconds, QObject *parent = nullptr);

    static QStringList arguments(const FileData &fileData, const QString &folder,
                                 int seconds = firstReadSeconds);
    // <folder><sep><fileId>_<stream>.wav: the source's name is left out, so a
    // long one cannot push the path past the file system's limit.
    static QString wavPath(const QString &folder, int streamIndex, int fileId);

    const FileData &fileData() const { return record; }
    // The job's own folder; empty until it has started.
    QString folder() const { return folderPath; }
    QString wavPath(int streamIndex) const;

protected:
    void run() override;
    void toolEnded(int exitCode) override;
    void toolFailed(int resultCode) override;

private:
    void removeOutput();

    FileData record;
    int seconds;
    QString folderPath;
};
