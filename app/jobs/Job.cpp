#include "Job.h"

#include "ToolProcess.h"

#include <QTimer>

Job::Job(const QString &toolName, const Codes &codes, QObject *parent)
    : QObject(parent), mainTool(toolName), codes(codes)
{
}

Job::~Job()
{
    // Nobody waits for the result of a job that is being destroyed.
    stopTool();
}

void Job::stopTool()
{
    if (tool && tool->state() != QProcess::NotRunning) {
        tool->disconnect(this);
        tool->close();
    }
}

void Job::start()
{
    if (started || done)
        return;
    started = true;
    run();
}

void Job::cancel()
{
    if (done || cancelRequested)
        return;
    cancelRequested = true;
    if (!started) {
        finish(codes.cancelled);
        return;
    }
    // The killed tool's end is reported like any other; the job finishes then.
    if (tool && tool->state() != QProcess::NotRunning)
        tool->kill();
}

void Job::runTool(const QString &toolName, const QStringList &arguments)
{
    // The finished process goes once control is back in the loop.
    if (tool)
        tool->deleteLater();
    tool = new ToolProcess(this);
    runningTool = toolName;
    connect(tool, &ToolProcess::toolFinished, this, &Job::onToolFinished);
    tool->startTool(toolName, arguments);
}

void Job::onToolFinished(int exitCode)
{
    if (done)
        return;
    if (cancelRequested) {
        toolFailed(codes.cancelled);
        return;
    }
    // Only the job's own tool is named by the job's codes; a helper tool's
    // failure (the check of an export) is the job's to judge.
    if (runningTool == mainTool && exitCode == ToolProcess::startFailedExitCode)
        toolFailed(codes.startFailed);
    else if (runningTool == mainTool && exitCode == ToolProcess::crashedExitCode)
        toolFailed(codes.crashed);
    else
        toolEnded(exitCode);
}

void Job::finish(int resultCode)
{
    if (done)
        return;
    done = true;
    code = resultCode;
    stopTool();
    emit finished(this);
    deleteLater();
}

void Job::finishLater(int resultCode)
{
    // A cancel that comes before the event loop does is still a cancel.
    QTimer::singleShot(0, this, [this, resultCode] { finish(cancelRequested ? codes.cancelled : resultCode); });
}
