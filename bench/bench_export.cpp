// Export All of N 1080p clips (DNxHD and pass-through) through MainControl at
// a given number of exports at once: wall time, the tools' CPU time, when the
// first file's worth of progress was reached, and the peak memory of the
// running tools together. The last row of each kind is the controller's own
// choice for this machine.

#include "BenchSupport.h"
#include "ControlHarness.h"
#include "MainControl.h"
#include "TestMedia.h"
#include "TestWait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

struct Run
{
    QString label;
    int atOnce = 0;
    double wall = 0.0;
    double toolsCpu = 0.0;
    double firstFile = -1.0;
    double peakToolsMb = 0.0;
    int result = -1;
};

Run exportAll(ControlHarness &table, const QVector<FileData> &rows, int videoType, int atOnce,
              const QString &target)
{
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    QMetaObject::invokeMethod(table.controller(), [&] { table.controller()->setExportsAtOnce(atOnce); },
                              Qt::BlockingQueuedConnection);
    Run run;
    run.atOnce = atOnce;
    QElapsedTimer clock;
    QObject context;
    QObject::connect(table.controller(), &MainControl::exportProgress, &context,
                     [&](int current, int all, QString) {
                         if (run.firstFile < 0 && all > 1 && current >= 15)
                             run.firstFile = clock.elapsed() / 1000.0;
                     });
    QTimer sampler;
    long peakKb = 0;
    QObject::connect(&sampler, &QTimer::timeout, [&] { peakKb = std::max(peakKb, TestWait::runningChildrenRssKb()); });
    sampler.start(100);
    const int before = table.exportResults.size();
    const double cpu0 = Bench::cpuSeconds(RUSAGE_CHILDREN);
    clock.start();
    table.exportFiles(rows, ExportOptions{target, VideoExportType(videoType), {}, false, true, 15});
    if (!table.waitFor([&] { return table.exportResults.size() > before; }, 900000))
        std::fprintf(stderr, "export did not end\n");
    run.wall = clock.elapsed() / 1000.0;
    run.toolsCpu = Bench::cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    run.peakToolsMb = peakKb / 1024.0;
    run.result = table.exportResults.size() > before ? table.exportResults.last().result : -1;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    // Lines appear as they are measured, also into a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    Bench::ownTempFolder(root.path());

    const int files = Bench::scaled(20, 2);
    const double seconds = 1.0;
    TestMedia::MediaRecipe recipe;
    recipe.fileName = QStringLiteral("ltc.wav");
    // The audio outlasts the video: the decoder needs two seconds of it to
    // read the timecode that every export writes.
    recipe.seconds = 2.5;
    recipe.ltcChannel = 1;
    const QString ltc = TestMedia::makeLtcWav(root.path(), recipe);
    const QString clip = root.filePath(QStringLiteral("source.mov"));
    const TestMedia::ToolRun made = TestMedia::runTool(
        QStringLiteral("ffmpeg"),
        {"-v", "error", "-y", "-f", "lavfi", "-i",
         QStringLiteral("testsrc2=size=1920x1080:rate=25:duration=%1").arg(seconds), "-i", ltc,
         "-map", "0:v", "-map", "1:a", "-c:v", "mpeg4", "-q:v", "4", "-c:a", "pcm_s16le", clip});
    if (ltc.isEmpty() || !made.ok()) {
        std::fprintf(stderr, "cannot make the clip: %s %s\n", qPrintable(TestMedia::lastError()),
                     made.standardError.constData());
        return 1;
    }
    const QString folder = root.filePath(QStringLiteral("clips"));
    QDir().mkpath(folder);
    for (int i = 0; i < files; ++i)
        QFile::copy(clip, folder + QStringLiteral("/clip%1.mov").arg(i, 2, 10, QLatin1Char('0')));

    ControlHarness table(true);
    table.drop({QUrl::fromLocalFile(folder)});
    if (!table.waitFor([&] { return table.importReadyCount == 1; }, 300000)) {
        std::fprintf(stderr, "import did not end\n");
        return 1;
    }

    const int cores = Bench::cores();
    QList<int> counts{1, 2, cores, 2 * cores, MainControl::maxRunningProcesses};
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());

    std::printf("Export All of %d 1080p25 clips (%.0f s of mpeg4 video, 2.5 s of PCM with LTC), %d cores\n",
                files, seconds, cores);
    std::printf("%-22s %8s %8s %10s %11s %12s %7s\n", "kind", "at once", "wall s", "tools cpu",
                "first file", "tools peak MB", "result");
    bool allOk = true;
    const struct { const char *name; int type; } kinds[] = {
        {"QuickTime DNxHD 120", 7}, {"pass through", 0}};
    for (const auto &kind : kinds) {
        const int chosen = MainControl::exportsAtOnce(cores);
        QList<int> kindCounts = counts;
        if (!kindCounts.contains(chosen))
            kindCounts << chosen;
        std::sort(kindCounts.begin(), kindCounts.end());
        QList<Run> runs;
        for (const int count : kindCounts) {
            // The controller's own choice runs as it would for the user.
            runs << exportAll(table, table.rows, kind.type, count == chosen ? 0 : count,
                              root.filePath(QStringLiteral("out")));
            runs.last().atOnce = count;
            if (count == chosen)
                runs.last().label = QStringLiteral("*");
        }
        const Run *best = &runs.first();
        const Run *automatic = &runs.first();
        for (const Run &run : runs) {
            std::printf("%-22s %5d%-3s %8.2f %9.2fs %10.2fs %12.1f %7d\n", kind.name, run.atOnce,
                        run.label.isEmpty() ? "" : " *", run.wall, run.toolsCpu, run.firstFile,
                        run.peakToolsMb, run.result);
            allOk = allOk && run.result == 0;
            if (run.wall < best->wall)
                best = &run;
            if (!run.label.isEmpty())
                automatic = &run;
        }
        const Run &all = runs.last();
        std::printf("  %s: fastest %d at once (%.2f s); chosen %d at once: %.2fx the wall time of %d at once, "
                    "first file after %.2f s instead of %.2f s\n",
                    kind.name, best->atOnce, best->wall, automatic->atOnce, automatic->wall / all.wall,
                    all.atOnce, automatic->firstFile, all.firstFile);
    }
    std::printf("* = the controller's own choice\n");
    return allOk ? 0 : 1;
}
