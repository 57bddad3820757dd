#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class ToolProcess;

// One run of one of our tools (or of a short chain of them, such as an
// export and its check) on behalf of one file.
//
// start() never reports inside the call; finished(job) is emitted exactly
// once, whatever happens, and the job deletes itself right after (read its
// result in the handler). A tool that cannot be started or that crashes is
// named here, by the codes the kind of job gives. A job destroyed while its
// tool runs kills the tool and reports nothing.
class Job : public QObject
{
    Q_OBJECT

public:
    // The codes a kind of job reports for its tool's failures and a cancel.
    struct Codes
    {
        int startFailed;
        int crashed;
        int cancelled;
    };

    ~Job() override;

    void start();
    // A job not started yet finishes at once as cancelled; a running one has
    // its tool killed and finishes when that has ended.
    void cancel();

    bool wasStarted() const { return started; }
    // False for a job that knows before it starts that it will run no tool:
    // it takes no place of the process budget.
    virtual bool startsTool() const { return true; }
    // 0 for success, else one of ResultCode's codes; complete at finished().
    int resultCode() const { return code; }

signals:
    void finished(Job *job);

protected:
    Job(const QString &toolName, const Codes &codes, QObject *parent);

    // Starts the first tool, or finishes the job by finishLater().
    virtual void run() = 0;
    // The tool last started ended on its own with this exit code.
    virtual void toolEnded(int exitCode) = 0;
    // The tool could not be started or crashed (resultCode names it), or the
    // job was cancelled while it ran (resultCode is the cancel's code).
    virtual void toolFailed(int resultCode) { finish(resultCode); }

    // A fresh process per run: what the last one printed is never mixed in.
    void runTool(const QString &toolName, const QStringList &arguments);
    ToolProcess *process() const { return tool; }

    // Reports the result; every later call is ignored.
    void finish(int resultCode);
    // Reports from the event loop: for a job that ends before any tool runs.
    void finishLater(int resultCode);
    bool isFinished() const { return done; }

private:
    void onToolFinished(int exitCode);
    void stopTool();

    QString mainTool;
    Codes codes;
    ToolProcess *tool = nullptr;
    QString runningTool;
    int code = 0;
    bool started = false;
    bool cancelRequested = false;
    bool done = false;
};
