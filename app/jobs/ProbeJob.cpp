#include "ProbeJob.h"

#include "ResultCode.h"
#include "ToolProcess.h"

#include <QJsonDocument>

namespace {

const Job::Codes probeCodes{ResultCode::ProbeStartFailed, ResultCode::ProbeCrashed, ResultCode::ProbeFailed};

} // namespace

ProbeJob::ProbeJob(const QString &filePath, int fileId, QObject *parent)
    : Job(QStringLiteral("ffprobe"), probeCodes, parent), path(filePath), id(fileId)
{
}

QStringList ProbeJob::arguments(const QString &filePath)
{
    return {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_format"), QStringLiteral("-show_streams"),
            filePath};
}

void ProbeJob::run()
{
    runTool(QStringLiteral("ffprobe"), arguments(path));
}

void ProbeJob::toolEnded(int exitCode)
{
    // QProcess keeps all the tool printed until it is read.
    json = QJsonDocument::fromJson(process()->readAllStandardOutput()).object();
    if (exitCode != 0)
        finish(ResultCode::ProbeFailed);
    else
        finish(json.isEmpty() ? int(ResultCode::ProbeEmpty) : int(ResultCode::Ok));
}
