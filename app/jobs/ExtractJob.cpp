#include "ExtractJob.h"

#include "ResultCode.h"
#include "WorkFolder.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>

namespace {

const Job::Codes extractCodes{ResultCode::ExtractionStartFailed, ResultCode::ExtractionCrashed,
                              ResultCode::ExtractionFailed};

// Numbers the sub-folders of this process's working folder.
QAtomicInteger<quint32> folderCount;

} // namespace

ExtractJob::ExtractJob(const FileData &fileData, int seconds, QObject *parent)
    : Job(QStringLiteral("ffmpeg"), extractCodes, parent), record(fileData), seconds(seconds)
{
}

QString ExtractJob::wavPath(const QString &folder, int streamIndex, int fileId)
{
    return folder + QDir::separator() + QStringLiteral("%1_%2.wav").arg(fileId).arg(streamIndex);
}

QString ExtractJob::wavPath(int streamIndex) const
{
    return wavPath(folderPath, streamIndex, record.fileNumber);
}

QStringList ExtractJob::arguments(const FileData &fileData, const QString &folder, int seconds)
{
    QStringList args{QStringLiteral("-y"), QStringLiteral("-guess_layout_max"), QStringLiteral("0")};
    const bool cut = static_cast<qint64>(fileData.duration) > seconds - 1;
    if (cut)
        args << QStringLiteral("-ss") << QStringLiteral("0");
    args << QStringLiteral("-i") << fileData.filePath;
    for (const char index : fileData.audioStreamIndexes) {
        const int streamIndex = static_cast<qint8>(index);
        if (cut)
            args << QStringLiteral("-t") << QString::number(seconds);
        args << QStringLiteral("-map") << QStringLiteral("0:%1").arg(streamIndex)
             << wavPath(folder, streamIndex, fileData.fileNumber);
    }
    return args;
}

void ExtractJob::run()
{
    const QString name = QString::number(++folderCount);
    // A folder we cannot trust gets no files written through it.
    if (!prepareWorkSubFolder(name)) {
        finishLater(ResultCode::ExtractionFailed);
        return;
    }
    folderPath = workSubFolderPath(name);
    runTool(QStringLiteral("ffmpeg"), arguments(record, folderPath, seconds));
}

void ExtractJob::toolEnded(int exitCode)
{
    if (exitCode != 0)
        toolFailed(ResultCode::ExtractionFailed);
    else
        finish(ResultCode::Ok);
}

void ExtractJob::toolFailed(int resultCode)
{
    removeOutput();
    finish(resultCode);
}

void ExtractJob::removeOutput()
{
    for (const char index : record.audioStreamIndexes)
        QFile::remove(wavPath(static_cast<qint8>(index)));
    QDir().rmdir(folderPath);
}
