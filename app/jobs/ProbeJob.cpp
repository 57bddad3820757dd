#include "ProbeJob.h"

#include "ResultCode.h"
#include "ToolProcess.h"
#include "WavProbe.h"

#include <QJsonDocument>

namespace {

const Job::Codes probeCodes{ResultCode::ProbeStartFailed, ResultCode::ProbeCrashed, ResultCode::ProbeFailed};

} // namespace

ProbeJob::ProbeJob(const QString &filePath, int fileId, QObject *parent)
    : Job(QStringLiteral("ffprobe"), probeCodes, parent), path(filePath), id(fileId)
{
    // Read here, so the runner knows before the start that no tool will run.
    readInProcess = WavProbe::read(path, &probed);
}

QStringList ProbeJob::arguments(const QString &filePath)
{
    return {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
            filePath};
}

void ProbeJob::run()
{
    if (readInProcess) {
        finishLater(ResultCode::Ok);
        return;
    }
    runTool(QStringLiteral("ffprobe"), arguments(path));
}

void ProbeJob::toolEnded(int exitCode)
{
    // QProcess keeps all the tool printed until it is read.
    const QJsonObject json = QJsonDocument::fromJson(process()->readAllStandardOutput()).object();
    probed = ProbeRecord::fromJson(json);
    if (exitCode != 0)
        finish(ResultCode::ProbeFailed);
    else
        finish(json.isEmpty() ? int(ResultCode::ProbeEmpty) : int(ResultCode::Ok));
}
