#include "FFMpegHandler.h"

#include "ToolProcess.h"

#include <QDir>
#include <QJsonDocument>

// ---- construction and destruction ------------------------------------------

FFMpegHandler::FFMpegHandler(QObject *parent)
    : QObject(parent),
      probeProcess(new ToolProcess(this)),
      exportProcess(new ToolProcess(this)),
      extractProcess(new ToolProcess(this))
{
}

FFMpegHandler::~FFMpegHandler()
{
    // Every tool still running is ended here, so no child outlives its handler.
    // Nobody waits for a probe or an extraction of a handler that is being
    // destroyed: those end silently. An export still reports its end, which a
    // cancel counts on.
    const auto processes = findChildren<ToolProcess *>(QString(), Qt::FindDirectChildrenOnly);
    for (ToolProcess *process : processes) {
        if (process->state() == QProcess::NotRunning)
            continue;
        if (process == probeProcess || process == extractProcess)
            process->disconnect(this);
        process->close();
    }
}

// ---- probe -----------------------------------------------------------------

QStringList FFMpegHandler::probeArguments(const QString &filePath)
{
    return {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
            filePath};
}

void FFMpegHandler::ffprobeFile(QString filePath, uint fileNumber)
{
    this->fileNumber = fileNumber;
    connect(probeProcess, &QProcess::readyReadStandardOutput, this, &FFMpegHandler::ffprobeReady);
    connect(probeProcess, &ToolProcess::toolFinished, this, &FFMpegHandler::ffprobeFinished);
    probeProcess->startTool(QStringLiteral("ffprobe"), probeArguments(filePath));
}

void FFMpegHandler::ffprobeReady()
{
    outputBuffer.append(probeProcess->readAllStandardOutput());
}

void FFMpegHandler::ffprobeFinished(int exitCode)
{
    // Output still buffered when the end is reported belongs to the report too.
    outputBuffer.append(probeProcess->readAllStandardOutput());
    const QJsonObject report = QJsonDocument::fromJson(outputBuffer).object();
    outputBuffer.clear();
    emit ffprobeResult(this, report, fileNumber, exitCode);
}

// ---- audio extraction ------------------------------------------------------

QString FFMpegHandler::tempWavPath(const QString &tempDir, const QString &fileName, int streamIndex,
                                   int fileNumber)
{
    const QString baseName = fileName.section(QLatin1Char('.'), 0, 0);
    return tempDir + QDir::separator()
           + QStringLiteral("%1_%2_%3.wav").arg(baseName).arg(streamIndex).arg(fileNumber);
}

QStringList FFMpegHandler::audioExtractArguments(const FileData &fileData, const QString &tempDir)
{
    QStringList args{QStringLiteral("-y"), QStringLiteral("-guess_layout_max"), QStringLiteral("0")};
    // Three seconds hold the decoder's two with room to spare.
    const bool cut = static_cast<qint64>(fileData.duration) > 2;
    if (cut)
        args << QStringLiteral("-ss") << QStringLiteral("0");
    args << QStringLiteral("-i") << fileData.filePath;
    for (const char index : fileData.audioStreamIndexes) {
        const int streamIndex = static_cast<qint8>(index);
        if (cut)
            args << QStringLiteral("-t") << QStringLiteral("3");
        args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(streamIndex)
             << tempWavPath(tempDir, fileData.fileName, streamIndex, fileData.fileNumber);
    }
    return args;
}

void FFMpegHandler::ffmpegAudioExtract(FileData fileData, QString tempDir)
{
    fileRecord = fileData;
    connect(extractProcess, &ToolProcess::toolFinished, this, &FFMpegHandler::ffmpegAudioExtractFinished);
    extractProcess->startTool(QStringLiteral("ffmpeg"), audioExtractArguments(fileData, tempDir));
}

void FFMpegHandler::ffmpegAudioExtractFinished(int exitCode)
{
    const FileData copy = fileRecord;
    emit ffmpegAudioExtractResult(this, copy, exitCode);
}

// ---- export ----------------------------------------------------------------

void FFMpegHandler::ffmpegExport(FileData, ExportOptions) {}
void FFMpegHandler::ffmpegExportError() {}
void FFMpegHandler::ffmpegExportFinished(int) {}
void FFMpegHandler::onExportCancel() {}
