#include "BenchSupport.h"

#include <QEvent>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

namespace Bench {

double threadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

int scaled(int count, int minimum)
{
    const char *text = std::getenv("BENCH_SCALE");
    const double scale = text ? std::atof(text) : 1.0;
    return std::max(minimum, int(count * (scale > 0.0 ? scale : 1.0) + 0.5));
}

int cores()
{
    return std::max(1, QThread::idealThreadCount());
}

Spread spreadOf(QVector<double> values)
{
    Spread s;
    if (values.isEmpty())
        return s;
    std::sort(values.begin(), values.end());
    s.median = values.at(values.size() / 2);
    s.p95 = values.at(std::min<int>(values.size() - 1, int(values.size() * 0.95)));
    s.worst = values.last();
    return s;
}

bool TimedApplication::notify(QObject *receiver, QEvent *event)
{
    if (depth > 0 || receiver == ignored) {
        ++depth;
        const bool result = QApplication::notify(receiver, event);
        --depth;
        return result;
    }
    // CPU time of this thread, so that other programs on a loaded machine do
    // not count as the window's own work.
    const int type = event->type();
    const double start = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    ++depth;
    const bool result = QApplication::notify(receiver, event);
    --depth;
    const double seconds = threadCpuSeconds() - start;
    const double wallSeconds = wall.nsecsElapsed() / 1e9;
    if (wallSeconds > worstWallSeconds) {
        worstWallSeconds = wallSeconds;
        worstWallType = type;
    }
    if (type == QEvent::MetaCall || type == QEvent::Timer) {
        handlerSeconds += seconds;
        worstHandlerSeconds = std::max(worstHandlerSeconds, seconds);
    } else {
        otherSeconds += seconds;
        if (seconds > worstOtherSeconds) {
            worstOtherSeconds = seconds;
            worstOtherType = type;
        }
    }
    return result;
}

void TimedApplication::reset()
{
    handlerSeconds = 0.0;
    worstHandlerSeconds = 0.0;
    otherSeconds = 0.0;
    worstOtherSeconds = 0.0;
    worstOtherType = 0;
    worstWallSeconds = 0.0;
    worstWallType = 0;
}

namespace {

class StampEvent : public QEvent
{
public:
    static QEvent::Type kind()
    {
        static const int registered = QEvent::registerEventType();
        return QEvent::Type(registered);
    }
    explicit StampEvent(qint64 postedNs) : QEvent(kind()), postedNs(postedNs) {}
    const qint64 postedNs;
};

} // namespace

LatenessProbe::LatenessProbe(int intervalMs)
{
    clock.start();
    lateness.reserve(4096);
    poster = std::thread([this, intervalMs] {
        while (running) {
            QCoreApplication::postEvent(this, new StampEvent(clock.nsecsElapsed()));
            std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        }
    });
}

LatenessProbe::~LatenessProbe()
{
    stop();
}

void LatenessProbe::stop()
{
    running = false;
    if (poster.joinable())
        poster.join();
}

bool LatenessProbe::event(QEvent *event)
{
    if (event->type() != StampEvent::kind())
        return QObject::event(event);
    lateness.append((clock.nsecsElapsed() - static_cast<StampEvent *>(event)->postedNs) / 1e6);
    return true;
}

QString ownTempFolder(const QString &root)
{
    const QString tmp = root + QStringLiteral("/tmp");
    QDir().mkpath(tmp);
    qputenv("TMPDIR", QFile::encodeName(tmp));
    return tmp;
}

} // namespace Bench
