// The runner's budget and queue order. Its jobs here run no tool: each notes
// when it starts and ends when the test says, so every step is exact.
#include "JobRunner.h"
#include "Job.h"
#include "ResultCode.h"

#include <QtTest>

namespace {

class HeldJob : public Job
{
public:
    HeldJob(const QString &name, QStringList *started)
        : Job(QStringLiteral("none"), {ResultCode::ToolStartFailed, ResultCode::ToolCrashed, ResultCode::ExportCancelled},
              nullptr),
          name(name), started(started)
    {
    }
    void release() { finish(ResultCode::Ok); }

protected:
    void run() override { started->append(name); }
    void toolEnded(int) override {}

private:
    QString name;
    QStringList *started;
};

} // namespace

class JobRunnerTest : public QObject
{
    Q_OBJECT

private slots:
    void fullBudgetStartsKnownFilesWorkFirst();
    void exportsAndReadsRunAFewAtATime();

private:
    HeldJob *submit(JobRunner &runner, const QString &name, JobRunner::Lane lane)
    {
        auto *job = new HeldJob(name, &started);
        runner.submit(job, lane);
        return job;
    }

    QStringList started;
};

// A freed place goes to a decoder read, then a later search's extraction, an
// extraction, an export and only then a probe; each lane in its own order.
void JobRunnerTest::fullBudgetStartsKnownFilesWorkFirst()
{
    started.clear();
    JobRunner runner;
    runner.setReadsAtOnce(JobRunner::maxRunningJobs);
    QList<HeldJob *> probes;
    for (int i = 0; i < JobRunner::maxRunningJobs + 2; ++i)
        probes << submit(runner, QStringLiteral("probe %1").arg(i), JobRunner::Lane::Probe);
    QCOMPARE(runner.runningCount(), JobRunner::maxRunningJobs);
    using Lane = JobRunner::Lane;
    submit(runner, "export", Lane::Export);
    submit(runner, "extract", Lane::Extract);
    submit(runner, "later", Lane::LaterExtract);
    submit(runner, "decode 1", Lane::Decode);
    submit(runner, "decode 2", Lane::Decode);
    QCOMPARE(started.size(), JobRunner::maxRunningJobs);

    const QStringList expected{"decode 1", "decode 2", "later", "extract", "export", "probe 45", "probe 46"};
    for (int i = 0; i < expected.size(); ++i) {
        probes.at(i)->release();
        QCOMPARE(runner.runningCount(), JobRunner::maxRunningJobs);
        QCOMPARE(started.last(), expected.at(i));
    }
    QCOMPARE(started.size(), JobRunner::maxRunningJobs + expected.size());
}

// Exports and reads each wait for one of their few places while the other
// goes ahead; a waiting job that is cancelled ends at once and never starts.
void JobRunnerTest::exportsAndReadsRunAFewAtATime()
{
    QCOMPARE(JobRunner::exportsAtOnce(0), 2);
    QCOMPARE(JobRunner::exportsAtOnce(4), 8);
    QCOMPARE(JobRunner::exportsAtOnce(64), JobRunner::maxRunningJobs);
    QCOMPARE(JobRunner::readsAtOnce(0), 2);
    QCOMPARE(JobRunner::readsAtOnce(2), 4);
    QCOMPARE(JobRunner::readsAtOnce(64), JobRunner::maxRunningJobs);

    started.clear();
    JobRunner runner;
    runner.setExportsAtOnce(2);
    runner.setReadsAtOnce(2);
    using Lane = JobRunner::Lane;
    HeldJob *first = submit(runner, "e0", Lane::Export);
    submit(runner, "e1", Lane::Export);
    submit(runner, "e2", Lane::Export);
    HeldJob *last = submit(runner, "e3", Lane::Export);
    HeldJob *probe = submit(runner, "probe", Lane::Probe);
    submit(runner, "decode", Lane::Decode);
    submit(runner, "probe 2", Lane::Probe);
    QCOMPARE(started, (QStringList{"e0", "e1", "probe", "decode"}));
    QCOMPARE(runner.runningCount(Lane::Export), 2);

    int cancelled = 0;
    connect(last, &Job::finished, this, [&cancelled](Job *job) { cancelled += job->resultCode() == ResultCode::ExportCancelled; });
    last->cancel();
    QCOMPARE(cancelled, 1);
    QCOMPARE(runner.queuedJobs(Lane::Export).size(), 1);
    first->release();
    QCOMPARE(started.last(), QStringLiteral("e2"));
    QCOMPARE(runner.queuedJobs(Lane::Export).size(), 0);
    probe->release();
    QCOMPARE(started.last(), QStringLiteral("probe 2"));
    QCOMPARE(runner.runningCount(), 4);
}

QTEST_GUILESS_MAIN(JobRunnerTest)
#include "tst_jobrunner.moc"
