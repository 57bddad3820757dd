#pragma once

#include <QList>
#include <QObject>

#include <array>

class Job;

// Starts jobs within the process budget and queues what does not fit. Work on
// files already known comes first: a freed place goes to a decoder read, then
// an extraction for a later search, then an extraction, then an export, and
// only then to a new probe, so timecodes show from the start of a large
// import instead of after its last probe. Exports and reads each wait for one
// of their own few places.
class JobRunner : public QObject
{
    Q_OBJECT

public:
    enum class Lane { Decode, LaterExtract, Extract, Export, Probe };

    static constexpr int maxRunningJobs = 45;

    explicit JobRunner(QObject *parent = nullptr);
    ~JobRunner() override;

    // Exports at once on a machine with `cores` cores.
    static int exportsAtOnce(int cores);
    // A fixed number of exports at once instead (0: as exportsAtOnce says).
    void setExportsAtOnce(int exports);
    // Reading jobs (probes, extractions, decoder reads) at once on a machine
    // with `cores` cores.
    static int readsAtOnce(int cores);
    // A fixed number of reading jobs at once instead (0: as readsAtOnce says).
    void setReadsAtOnce(int reads);

    // Takes the job, and starts it now if there is room, else when there is.
    // Connect to its finished() before: the job's place is freed, and the next
    // queued one started, after the other handlers have run.
    void submit(Job *job, Lane lane);

    int runningCount() const { return running.size(); }
    int runningCount(Lane lane) const;
    // Jobs of the lane started and not finished yet.
    QList<Job *> runningJobs(Lane lane) const;
    // Jobs of the lane waiting for a place, in the order they will start.
    QList<Job *> queuedJobs(Lane lane) const { return queues.at(index(lane)); }

private:
    struct Running
    {
        Job *job;
        Lane lane;
    };

    static int index(Lane lane) { return static_cast<int>(lane); }
    bool hasRoom(Lane lane) const;
    void start(Job *job, Lane lane);
    void onFinished(Job *job);
    void startQueued();

    std::array<QList<Job *>, 5> queues;
    QList<Running> running;
    // Places per lane on this machine, or as a benchmark set them.
    int exportLimit;
    int readLimit;
};
