#pragma once

#include "ExportCommand.h"
#include "ExportOptions.h"
#include "ExportResult.h"
#include "FileData.h"
#include "Job.h"

#include <QByteArray>
#include <QString>

#include <memory>

// Export of one file: ffmpeg writes a hidden partial file beside the final
// name, ffprobe checks what was written, and only a verified file is renamed
// onto the first free name, never over anything. On any other end the
// partial file goes; one that a crash left is recognised by the process id in
// its name (ExportTarget::removeAbandonedPartialFiles). Reasons name the
// final name, never the partial one.
class ExportJob : public Job
{
    Q_OBJECT

public:
    ExportJob(const FileData &fileData, const ExportOptions &options, QObject *parent = nullptr);
    ~ExportJob() override;

    // The outcome, complete at finished(); before that the file's names only.
    const ExportResult &result() const { return outcome; }
    // The verified file under its final name; empty until it is there.
    QString targetPath() const { return exportPath; }

signals:
    // Progress units gained; options.progressUnitsPerFile in all, the last at the end.
    void progress(int units);

protected:
    void run() override;
    void toolEnded(int exitCode) override;
    void toolFailed(int resultCode) override;

private:
    void readErrors();
    void verify(int probeExitCode);
    bool commitOutput(QString *error);
    void discardOutput();
    void finishExport(int resultCode, const QString &reason = QString());

    FileData record;
    ExportOptions settings;
    std::unique_ptr<ExportCommand> command;
    qint64 bytesPerStep = 0;
    int stepsReported = 0;
    bool verifying = false;
    QString intendedName;   // the first free final name when the export started
    QString partialPath;    // the file ffmpeg writes, beside it; empty once it is gone
    QString partialName;    // its file name, kept for the reasons
    QString exportPath;
    QByteArray errorTail;
    ExportResult outcome;
};
