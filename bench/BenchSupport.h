#pragma once

// Measuring helpers shared by the benchmarks: CPU times, peak memory, a size
// knob, the GUI thread's time per dispatched event and its lateness.

#include <QApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <thread>

namespace Bench {

double threadCpuSeconds();
// RUSAGE_SELF or RUSAGE_CHILDREN (children that have been waited for).
double cpuSeconds(int who);
// kB of a /proc/self/status line such as "VmHWM:".
long statusKb(const char *key);
// Starts a new peak for VmHWM.
void resetPeakMemory();
// BENCH_SCALE (default 1) times `count`, at least `minimum`.
int scaled(int count, int minimum = 1);
// A working folder of the run's own under `root`, also as TMPDIR: any other
// controller of this user (a running Dorrik, a test) clears the shared one.
QString ownTempFolder(const QString &root);
int cores();

struct Spread
{
    double median = 0.0;
    double p95 = 0.0;
    double worst = 0.0;
};
Spread spreadOf(QVector<double> values);

// The GUI thread's CPU time for every event it dispatches from its event loop
// (nested dispatches count towards the outer one).
class TimedApplication : public QApplication
{
public:
    TimedApplication(int &argc, char **argv) : QApplication(argc, argv) {}
    bool notify(QObject *receiver, QEvent *event) override;

    void reset();
    // Dispatches whose receiver is `ignored` are left out (the benchmark's own driver).
    QObject *ignored = nullptr;
    // Queued calls and timers: result handlers and work they defer.
    double handlerSeconds = 0.0;
    double worstHandlerSeconds = 0.0;
    // Everything else: painting, layout, input.
    double otherSeconds = 0.0;
    double worstOtherSeconds = 0.0;
    int worstOtherType = 0;
    // Wall time of the slowest dispatch of any kind: what a blocked thread shows.
    double worstWallSeconds = 0.0;
    int worstWallType = 0;

private:
    int depth = 0;
};

// Posts an event to the GUI thread every 50 ms from a thread of its own and
// records how late each is handled: how long the window would keep the
// window system waiting.
class LatenessProbe : public QObject
{
public:
    explicit LatenessProbe(int intervalMs = 50);
    ~LatenessProbe() override;
    void stop();
    QVector<double> latenessMs() const { return lateness; }

protected:
    bool event(QEvent *event) override;

private:
    QElapsedTimer clock;
    QVector<double> lateness;
    std::atomic<bool> running{true};
    std::thread poster;
};

} // namespace Bench
