// Import of N short clips through MainControl, from the drop to importReady,
// against the same probe, extraction and decoder commands run one after
// another. Reports wall time, speed-up, the controller's CPU time and the
// program's peak memory.

#include "ControlHarness.h"
#include "MainControl.h"
#include "TestMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

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

// kB of a /proc/self/status line such as VmHWM.
long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double controllerCpu(MainControl *control)
{
    double seconds = 0.0;
    QMetaObject::invokeMethod(control, [&seconds] { seconds = threadCpuSeconds(); },
                              Qt::BlockingQueuedConnection);
    return seconds;
}

bool runQuiet(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitCode() == 0;
}

// The commands the handlers run for one file, one after another.
double sequentialSeconds(const QStringList &files, const QString &scratch)
{
    const QString ffprobe = TestMedia::toolPath(QStringLiteral("ffprobe"));
    const QString ffmpeg = TestMedia::toolPath(QStringLiteral("ffmpeg"));
    const QString pelbrook = TestMedia::toolPath(QStringLiteral("Pelbrook"));
    QElapsedTimer timer;
    timer.start();
    for (int n = 0; n < files.size(); ++n) {
        const QString wav = scratch + QStringLiteral("/clip_1_%1.wav").arg(n);
        runQuiet(ffprobe, {QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-print_format"),
                           QStringLiteral("json"), QStringLiteral("-show_format"),
                           QStringLiteral("-show_streams"), files.at(n)});
        runQuiet(ffmpeg, {QStringLiteral("-y"), QStringLiteral("-guess_layout_max"), QStringLiteral("0"),
                          QStringLiteral("-ss"), QStringLiteral("0"), QStringLiteral("-i"), files.at(n),
                          QStringLiteral("-t"), QStringLiteral("3"), QStringLiteral("-map"),
                          QStringLiteral("0:1"), wav});
        if (!runQuiet(pelbrook, {wav}))
            std::fprintf(stderr, "sequential decode failed for %s\n", qPrintable(files.at(n)));
        QFile::remove(wav);
    }
    return timer.elapsed() / 1000.0;
}

struct Figures
{
    int files = 0;
    double wall = 0.0;
    double sequential = 0.0;
    double controllerCpu = 0.0;
    double processCpu = 0.0;
    double toolsCpu = 0.0;
    double sequentialToolsCpu = 0.0;
    long baseKb = 0;
    long peakKb = 0;
    int timecodes = 0;
};

Figures measure(int files, const QString &clip, const QString &root)
{
    Figures f;
    f.files = files;
    const QString folder = root + QStringLiteral("/n%1").arg(files);
    QDir().mkpath(folder);
    QStringList paths;
    for (int n = 0; n < files; ++n) {
        const QString path = folder + QStringLiteral("/clip%1.mov").arg(n, 3, 10, QLatin1Char('0'));
        QFile::copy(clip, path);
        paths << path;
    }

    {
        ControlHarness table(true);
        resetPeakMemory();
        f.baseKb = statusKb("VmRSS:");
        const double cpu0 = controllerCpu(table.controller());
        const double proc0 = cpuSeconds(RUSAGE_SELF);
        const double tools0 = cpuSeconds(RUSAGE_CHILDREN);
        QElapsedTimer timer;
        timer.start();
        table.drop({QUrl::fromLocalFile(folder)});
        if (!table.waitFor([&] { return table.importReadyCount == 1; }, 600000))
            std::fprintf(stderr, "import of %d files did not end\n", files);
        f.wall = timer.elapsed() / 1000.0;
        f.processCpu = cpuSeconds(RUSAGE_SELF) - proc0;
        f.toolsCpu = cpuSeconds(RUSAGE_CHILDREN) - tools0;
        f.controllerCpu = controllerCpu(table.controller()) - cpu0;
        f.peakKb = statusKb("VmHWM:");
        for (const FileData &row : table.rows)
            f.timecodes += row.hasAudioTC;
        QMap<int, int> codes;
        for (const auto &result : table.audioResults)
            ++codes[result.code];
        if (f.timecodes != files)
            for (auto it = codes.cbegin(); it != codes.cend(); ++it)
                std::fprintf(stderr, "N=%d: %d reads ended with code %d\n", files, it.value(), it.key());
    }

    const QString scratch = root + QStringLiteral("/seq%1").arg(files);
    QDir().mkpath(scratch);
    const double seqTools0 = cpuSeconds(RUSAGE_CHILDREN);
    f.sequential = sequentialSeconds(paths, scratch);
    f.sequentialToolsCpu = cpuSeconds(RUSAGE_CHILDREN) - seqTools0;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    // A temporary directory of our own: any other controller of this user
    // (a running Dorrik, a test) clears the shared working folder.
    const QString tmp = root.filePath(QStringLiteral("tmp"));
    QDir().mkpath(tmp);
    qputenv("TMPDIR", QFile::encodeName(tmp));
    TestMedia::MediaRecipe recipe;
    recipe.fileName = QStringLiteral("source.mov");
    recipe.seconds = 4.0;
    recipe.ltcChannel = 1;
    const QString clip = TestMedia::makeMov(root.path(), recipe);
    if (clip.isEmpty()) {
        std::fprintf(stderr, "cannot make the clip: %s\n", qPrintable(TestMedia::lastError()));
        return 1;
    }

    std::printf("import of N 4-second MOV clips (video + stereo PCM with LTC), %d cores\n",
                QThread::idealThreadCount());
    std::printf("%5s %8s %8s %8s %6s %9s %9s %9s %9s %8s %6s\n", "N", "wall s", "seq s",
                "speedup", "ratio", "ctrl cpu", "ctrl/wall", "tools cpu", "seq tools", "peak MB",
                "TC ok");
    bool targetsMet = true;
    for (const int files : {50, 200}) {
        const Figures f = measure(files, clip, root.path());
        const double ratio = f.wall / f.sequential;
        const double cpuShare = f.controllerCpu / f.wall;
        std::printf("%5d %8.2f %8.2f %7.2fx %6.2f %8.3fs %8.2f%% %8.2fs %8.2fs %8.1f %6d\n",
                    f.files, f.wall, f.sequential, f.sequential / f.wall, ratio, f.controllerCpu,
                    100.0 * cpuShare, f.toolsCpu, f.sequentialToolsCpu, f.peakKb / 1024.0,
                    f.timecodes);
        targetsMet = targetsMet && ratio <= 0.6 && cpuShare < 0.05 && f.timecodes == files;
    }
    std::printf("targets (wall <= 0.6 x sequential, controller cpu < 5%% of wall, every TC read): %s\n",
                targetsMet ? "met" : "NOT met");
    return targetsMet ? 0 : 1;
}
