// Import at scale, from the drop to the end of the batch.
//  1. N WAV + N MOV clips through MainControl alone: wall time, the tools' CPU
//     time, the controller's CPU time, peak memory and when the first audio
//     timecode arrived.
//  2. The tools one WAV takes, run in a pool of one per core: probe, extraction
//     and decoder against probe and decoder alone, so the cost of the copy
//     shows in the same run.
//  3. M files (half WAV, half MOV) dropped on the real MainWindow (offscreen):
//     how late the window answers an event posted every 50 ms, when the first
//     audio timecode showed, and the GUI thread's time in handlers.

#include "BenchSupport.h"
#include "ControlHarness.h"
#include "FileList.h"
#include "MainControl.h"
#include "MainWindow.h"
#include "MetaTypes.h"
#include "TestMedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

double controllerCpu(MainControl *control)
{
    double seconds = 0.0;
    QMetaObject::invokeMethod(control, [&seconds] { seconds = Bench::threadCpuSeconds(); },
                              Qt::BlockingQueuedConnection);
    return seconds;
}

// A folder of `wavs` WAV and `movs` MOV copies of the two sources.
QString makeFolder(const QString &root, const QString &name, const QString &wav, const QString &mov,
                   int wavs, int movs)
{
    const QString folder = root + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    for (int i = 0; i < wavs; ++i)
        QFile::copy(wav, folder + QStringLiteral("/T%1_1.wav").arg(i, 4, 10, QLatin1Char('0')));
    for (int i = 0; i < movs; ++i)
        QFile::copy(mov, folder + QStringLiteral("/A001C%1.mov").arg(i, 4, 10, QLatin1Char('0')));
    return folder;
}

struct ImportFigures
{
    double wall = 0.0;
    double toolsCpu = 0.0;
    double controllerCpu = 0.0;
    double firstTimecode = -1.0;
    long peakKb = 0;
    int timecodes = 0;
};

ImportFigures importThroughController(const QString &folder, int files)
{
    ImportFigures f;
    ControlHarness table(true);
    QElapsedTimer clock;
    QObject context;
    QObject::connect(table.controller(), &MainControl::audioTCReadResult, &context,
                     [&](QJsonObject, int, int, int code) {
                         if (f.firstTimecode < 0 && code == 0)
                             f.firstTimecode = clock.elapsed() / 1000.0;
                     });
    Bench::resetPeakMemory();
    const double cpu0 = controllerCpu(table.controller());
    const double tools0 = Bench::cpuSeconds(RUSAGE_CHILDREN);
    clock.start();
    table.drop({QUrl::fromLocalFile(folder)});
    if (!table.waitFor([&] { return table.importReadyCount == 1; }, 1800000))
        std::fprintf(stderr, "import did not end\n");
    f.wall = clock.elapsed() / 1000.0;
    f.toolsCpu = Bench::cpuSeconds(RUSAGE_CHILDREN) - tools0;
    f.controllerCpu = controllerCpu(table.controller()) - cpu0;
    f.peakKb = Bench::statusKb("VmHWM:");
    for (const FileData &row : table.rows)
        f.timecodes += row.hasAudioTC;
    if (f.timecodes != files)
        std::fprintf(stderr, "%d of %d rows without a timecode\n", files - f.timecodes, files);
    return f;
}

// Runs every command list in a pool of `width` processes at a time.
struct PoolFigures
{
    double wall = 0.0;
    double cpu = 0.0;
    int failed = 0;
};

PoolFigures runPool(const QList<QList<QStringList>> &chains, int width)
{
    PoolFigures f;
    const double cpu0 = Bench::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    int next = 0;
    int running = 0;
    std::function<void(int, int)> step;
    step = [&](int chain, int link) {
        if (link == chains.at(chain).size()) {
            --running;
            if (next < chains.size()) {
                ++running;
                step(next++, 0);
            }
            return;
        }
        auto *process = new QProcess;
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                         [&, process, chain, link](int code, QProcess::ExitStatus) {
                             process->deleteLater();
                             f.failed += code != 0;
                             step(chain, link + 1);
                         });
        const QStringList command = chains.at(chain).at(link);
        process->start(command.first(), command.mid(1));
    };
    while (running < width && next < chains.size()) {
        ++running;
        step(next++, 0);
    }
    while (running > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    f.wall = clock.elapsed() / 1000.0;
    f.cpu = Bench::cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    return f;
}

struct WindowFigures
{
    double wall = 0.0;
    double firstTimecode = -1.0;
    Bench::Spread lateness;
    double handlers = 0.0;
    double worstHandlerMs = 0.0;
    double painting = 0.0;
    double worstWallMs = 0.0;
    int worstWallType = 0;
    long peakKb = 0;
    int timecodes = 0;
};

WindowFigures importThroughWindow(Bench::TimedApplication &app, const QString &folder, int files)
{
    WindowFigures f;
    MainWindow window{QUrl()};
    window.show();
    FileList *list = window.findChild<FileList *>();
    const QLabel *status = window.findChild<QLabel *>(QStringLiteral("statusLabel"));
    QCoreApplication::processEvents();
    Bench::resetPeakMemory();
    app.reset();
    Bench::LatenessProbe probe;
    QElapsedTimer clock;
    clock.start();
    window.importPaths({folder});
    bool done = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QVector<FileData> &rows = list->records();
        if (f.firstTimecode < 0)
            for (const FileData &row : rows)
                if (row.hasAudioTC) {
                    f.firstTimecode = clock.elapsed() / 1000.0;
                    break;
                }
        done = rows.size() == files && status->text() == QLatin1String("Status: import ready");
    });
    watch.start(100);
    while (!done && clock.elapsed() < 1800000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    f.wall = clock.elapsed() / 1000.0;
    probe.stop();
    f.lateness = Bench::spreadOf(probe.latenessMs());
    f.handlers = app.handlerSeconds;
    f.worstHandlerMs = app.worstHandlerSeconds * 1000.0;
    f.painting = app.otherSeconds;
    f.worstWallMs = app.worstWallSeconds * 1000.0;
    f.worstWallType = app.worstWallType;
    f.peakKb = Bench::statusKb("VmHWM:");
    for (const FileData &row : list->records())
        f.timecodes += row.hasAudioTC;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    // Lines appear as they are measured, also into a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    registerMetaTypes();
    Bench::TimedApplication app(argc, argv);
    QTemporaryDir root;
    const QString tmp = Bench::ownTempFolder(root.path());

    TestMedia::MediaRecipe recipe;
    recipe.fileName = QStringLiteral("source.mov");
    recipe.seconds = 4.0;
    recipe.ltcChannel = 1;
    const QString mov = TestMedia::makeMov(root.path(), recipe);
    recipe.fileName = QStringLiteral("source.wav");
    const QString wav = TestMedia::makeLtcWav(root.path(), recipe);
    if (mov.isEmpty() || wav.isEmpty()) {
        std::fprintf(stderr, "cannot make the clips: %s\n", qPrintable(TestMedia::lastError()));
        return 1;
    }
    const int cores = Bench::cores();
    const int each = Bench::scaled(200, 2);
    const int windowFiles = 2 * Bench::scaled(250, 2);
    bool met = true;

    std::printf("import of %d WAV + %d MOV clips of 4 s (stereo PCM, LTC) through MainControl, %d cores\n",
                each, each, cores);
    const ImportFigures c = importThroughController(
        makeFolder(root.path(), QStringLiteral("mixed"), wav, mov, each, each), 2 * each);
    std::printf("  wall %.2f s, tools cpu %.2f s, controller cpu %.3f s, first audio TC after %.2f s, "
                "peak memory %.1f MB, %d/%d timecodes\n",
                c.wall, c.toolsCpu, c.controllerCpu, c.firstTimecode, c.peakKb / 1024.0, c.timecodes,
                2 * each);
    met = met && c.timecodes == 2 * each;

    const int roadFiles = each;
    QList<QList<QStringList>> copyRoad;
    QList<QList<QStringList>> directRoad;
    const QString ffprobe = TestMedia::toolPath(QStringLiteral("ffprobe"));
    const QString ffmpeg = TestMedia::toolPath(QStringLiteral("ffmpeg"));
    const QString pelbrook = TestMedia::toolPath(QStringLiteral("Pelbrook"));
    for (int i = 0; i < roadFiles; ++i) {
        const QString temp = tmp + QStringLiteral("/road%1.wav").arg(i);
        const QStringList probe{ffprobe, "-v", "quiet", "-print_format", "json", "-show_format",
                                "-show_streams", wav};
        copyRoad << QList<QStringList>{probe,
                                       {ffmpeg, "-y", "-guess_layout_max", "0", "-ss", "0", "-i", wav,
                                        "-t", "3", "-map", "0:0", temp},
                                       {pelbrook, temp}};
        directRoad << QList<QStringList>{probe, {pelbrook, wav}};
    }
    const PoolFigures copied = runPool(copyRoad, cores);
    const PoolFigures direct = runPool(directRoad, cores);
    std::printf("the tools of %d WAVs, %d at a time:\n"
                "  probe + extraction + decoder: wall %.2f s, cpu %.2f s\n"
                "  probe + decoder on the source: wall %.2f s, cpu %.2f s  (%.2fx the wall, %.2fx the cpu)\n",
                roadFiles, cores, copied.wall, copied.cpu, direct.wall, direct.cpu, direct.wall / copied.wall,
                direct.cpu / copied.cpu);
    if (copied.failed + direct.failed > 0)
        std::fprintf(stderr, "%d tool runs failed\n", copied.failed + direct.failed);

    std::printf("import of %d files (half WAV, half MOV) dropped on MainWindow (offscreen), an event "
                "posted every 50 ms\n", windowFiles);
    const WindowFigures w = importThroughWindow(
        app, makeFolder(root.path(), QStringLiteral("window"), wav, mov, windowFiles / 2, windowFiles / 2),
        windowFiles);
    std::printf("  wall %.2f s, first audio TC shown after %.2f s, %d/%d timecodes\n"
                "  window lateness: median %.1f ms, 95%% %.1f ms, worst %.1f ms\n"
                "  GUI thread cpu: %.3f s in handlers (worst %.2f ms), %.3f s painting; longest dispatch "
                "%.1f ms wall (event type %d); peak memory %.1f MB\n",
                w.wall, w.firstTimecode, w.timecodes, windowFiles, w.lateness.median, w.lateness.p95,
                w.lateness.worst, w.handlers, w.worstHandlerMs, w.painting, w.worstWallMs, w.worstWallType,
                w.peakKb / 1024.0);
    const bool windowMet = w.lateness.median < 100.0 && w.lateness.worst < 500.0 && w.firstTimecode >= 0
        && w.firstTimecode < 10.0 && w.timecodes == windowFiles;
    std::printf("targets (lateness median < 100 ms and worst < 500 ms, first audio TC within 10 s, "
                "every TC read): %s\n", windowMet && met ? "met" : "NOT met");
    return windowMet && met ? 0 : 1;
}
