#pragma once

#include "ExportCommand.h"
#include "ExportOptions.h"
#include "ExportResult.h"
#include "FileData.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;
class ToolProcess;

// Driver of ffprobe and ffmpeg: one handler serves one probe, one audio
// extraction or one export, and reports exactly one result.
class FFMpegHandler : public QObject
{
    Q_OBJECT

public:
    // Three seconds hold the decoder's first two with room to spare.
    static constexpr int firstReadSeconds = 3;

    explicit FFMpegHandler(QObject *parent = nullptr);
    ~FFMpegHandler() override;

    void ffprobeFile(QString filePath, uint fileNumber);
    // Writes the first `seconds` of every stream in audioStreamIndexes (all of a
    // shorter file) to one WAV each in tempDir.
    void ffmpegAudioExtract(FileData fileData, QString tempDir, int seconds = firstReadSeconds);
    void ffmpegExport(FileData fileData, ExportOptions exportOptions);

    // The verified file under its final name; empty until it is there.
    QString exportTargetPath() const { return exportPath; }
    FileData fileData() const { return fileRecord; }
    // The outcome of the export, complete once ffmpegExportResult is out.
    ExportResult exportResult() const { return outcome; }
    // Folder the extraction writes its WAVs into.
    QString audioExtractFolder() const { return extractFolder; }

    // Argument lists of the probe and the extraction, as the operations start them.
    static QStringList probeArguments(const QString &filePath);
    static QStringList audioExtractArguments(const FileData &fileData, const QString &tempDir,
                                             int seconds = firstReadSeconds);
    // Temporary WAV of one extracted stream: <tempDir><sep><fileNumber>_<stream>.wav. The
    // source's name is left out, so a long one cannot push the path past the file system's limit.
    static QString tempWavPath(const QString &tempDir, int streamIndex, int fileNumber);

signals:
    void ffprobeResult(FFMpegHandler *handler, QJsonObject ffprobeJson, uint fileNumber, int exitCode);
    void ffmpegAudioExtractResult(FFMpegHandler *handler, FileData fileData, int exitCode);
    void ffmpegExportResult(FFMpegHandler *handler, int exitCode);
    void ffmpegExportProgress(uint addedValueToProgress);

private slots:
    void ffprobeReady();
    void ffprobeFinished(int exitCode);
    void ffmpegAudioExtractFinished(int exitCode);
    void ffmpegExportError();
    void ffmpegExportFinished(int exitCode);
    void onExportCancel();

private:
    ToolProcess *probeProcess = nullptr;
    ToolProcess *exportProcess = nullptr;
    ToolProcess *extractProcess = nullptr;
    QByteArray outputBuffer;
    QString exportPath;
    QString extractFolder;
    uint fileNumber = 0;
    quint32 stepsReported = 0;
    FileData fileRecord;
    ExportOptions exportSettings;
    qint64 expectedSize = 0;
    qint64 bytesPerStep = 0;

    // Export: ffmpeg writes, then ffprobe checks what was written, on one process.
    enum class ExportPhase { Idle, Writing, Verifying, Reported };
    void verifyExport(int probeExitCode);
    void finishExport(int exitCode, int resultCode, const QString &reason = QString());
    bool commitOutput(QString *error);
    void discardOutput();
    QString intendedName;   // the first free final name when the export started
    QString partialPath;    // the file ffmpeg writes, beside it; empty once it is gone
    QString partialName;    // its file name, kept for the reasons
    QByteArray errorTail;
    std::unique_ptr<ExportCommand> exportCommand;
    ExportPhase exportPhase = ExportPhase::Idle;
    bool exportCancelled = false;
    ExportResult outcome;
};

Q_DECLARE_METATYPE(FFMpegHandler *)
