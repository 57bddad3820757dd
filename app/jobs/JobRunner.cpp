#include "JobRunner.h"

#include "Job.h"

#include <QThread>

#include <algorithm>

namespace {

// Measured with bench_roll --reads on 2 shared cores (a sound roll of 200
// two-second WAVs, a camera card of 100 four-second MOVs through ffprobe,
// ffmpeg and Pelbrook; three runs each, wall time, load average 8 to 40 from
// other builds). Card: 2 at once 6.8 / 6.4 / 6.9 s, 4 6.7 / 12.1 / 9.0 s,
// 8 8.9 / 10.1 / 15.0 s, 45 18.3 / 38.5 / 37.8 s with 40 % more CPU; under a
// heavier load 2 took 23.5-33.2 s, 3 10.9-22.2 s and 4 14.3-20.4 s, and with
// 50 clips 4 at once was fastest (6.4-8.2 s). The roll took 0.5 to 0.8 s at
// any number. Two per core, as for exports: never far from the best, and
// the least CPU after one per core.
constexpr int readsPerCore = 2;

int perCore(int places, int cores)
{
    return std::min(JobRunner::maxRunningJobs, places * std::max(1, cores));
}

} // namespace

JobRunner::JobRunner(QObject *parent)
    : QObject(parent), exportLimit(exportsAtOnce(QThread::idealThreadCount())),
      readLimit(readsAtOnce(QThread::idealThreadCount()))
{
}

JobRunner::~JobRunner()
{
    // Every tool stops with its job; none of them reports any more.
    const QList<Job *> jobs = findChildren<Job *>(QString(), Qt::FindDirectChildrenOnly);
    for (Job *job : jobs) {
        job->disconnect();
        delete job;
    }
}

// Measured with bench_export on 2 shared cores (20 clips of 1080p, three runs
// under different load): DNxHD one at a time took 28.6 / 61.9 / 16.0 s, two
// 29.2 / 49.1 / 13.4 s, four 33.9 / 31.0 / 11.9 s, all at once 60.9 / 51.3 /
// 16.1 s with 5.7 GB of encoders, its first file done after 5-31 s instead of
// 1-3 s. Copies took 3.7 to 4.5 s at any number in the last run. Two per core
// was fastest or close to it for both, with a tenth of the memory.
int JobRunner::exportsAtOnce(int cores)
{
    return perCore(2, cores);
}

int JobRunner::readsAtOnce(int cores)
{
    return perCore(readsPerCore, cores);
}

void JobRunner::setExportsAtOnce(int exports)
{
    exportLimit = exports > 0 ? exports : exportsAtOnce(QThread::idealThreadCount());
}

void JobRunner::setReadsAtOnce(int reads)
{
    readLimit = reads > 0 ? reads : readsAtOnce(QThread::idealThreadCount());
}

int JobRunner::runningCount(Lane lane) const
{
    return int(std::count_if(running.cbegin(), running.cend(),
                             [lane](const Running &entry) { return entry.lane == lane; }));
}

QList<Job *> JobRunner::runningJobs(Lane lane) const
{
    QList<Job *> jobs;
    for (const Running &entry : running) {
        if (entry.lane == lane)
            jobs.append(entry.job);
    }
    return jobs;
}

bool JobRunner::hasRoom(Lane lane) const
{
    if (running.size() >= maxRunningJobs)
        return false;
    const int exporting = runningCount(Lane::Export);
    return lane == Lane::Export ? exporting < exportLimit : running.size() - exporting < readLimit;
}

void JobRunner::submit(Job *job, Lane lane)
{
    job->setParent(this);
    connect(job, &Job::finished, this, &JobRunner::onFinished);
    // A job that runs no tool needs no place, and waits for none.
    if (!job->startsTool()) {
        job->start();
        return;
    }
    // Nothing overtakes what waits in its own lane.
    if (queues.at(index(lane)).isEmpty() && hasRoom(lane))
        start(job, lane);
    else
        queues[index(lane)].append(job);
}

void JobRunner::start(Job *job, Lane lane)
{
    running.append({job, lane});
    job->start();
}

void JobRunner::onFinished(Job *job)
{
    // A queued job finishes too when it is cancelled before it started.
    for (QList<Job *> &queue : queues)
        queue.removeOne(job);
    const auto entry = std::find_if(running.begin(), running.end(),
                                    [job](const Running &r) { return r.job == job; });
    if (entry == running.end())
        return;
    running.erase(entry);
    startQueued();
}

// Free places go lane by lane, in the lanes' order.
void JobRunner::startQueued()
{
    for (int lane = 0; lane < int(queues.size()); ++lane) {
        QList<Job *> &queue = queues[lane];
        while (!queue.isEmpty() && hasRoom(Lane(lane)))
            start(queue.takeFirst(), Lane(lane));
    }
}
