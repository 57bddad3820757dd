// A sound roll and a camera card read by `Dorrik --report`, each against a
// plain loop that runs the decoder alone, one file after the other, on the
// same audio in the same run, so the ratio holds whatever else loads the
// machine.
//
//  1. Sound roll: N two-second broadcast WAVs (stereo, 48 kHz, LTC, time
//     reference), as a sound department hands them over.
//  2. Camera card: N/2 four-second MOV clips (video + stereo PCM with LTC);
//     the loop decodes a WAV of the same audio (the decoder reads no MOV).
//
// Wall time and CPU time (Dorrik and every tool it started, or the loop's
// decoders) are printed with the machine's load average. Target: the sound
// roll within 3x the decoder loop's wall time.
//
// `bench_roll --reads 1,2,4` instead imports both through MainControl at
// each number of reading tools at once, three runs each, and prints wall
// and CPU time of each run.

#include "BenchSupport.h"
#include "ControlHarness.h"
#include "MainControl.h"
#include "MetaTypes.h"
#include "TestMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Figures
{
    double wall = 0.0;
    double cpu = 0.0;
    int failed = 0;
};

double loadAverage()
{
    double load[1] = {0.0};
    return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

// Pelbrook on each file in turn, its report thrown away.
Figures decoderLoop(const QString &pelbrook, const QStringList &wavs)
{
    Figures f;
    const std::string program = QFile::encodeName(pelbrook).toStdString();
    const double cpu0 = Bench::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    for (const QString &wav : wavs) {
        const std::string path = QFile::encodeName(wav).toStdString();
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            if (!std::freopen("/dev/null", "w", stdout))
                _exit(127);
            execl(program.c_str(), program.c_str(), path.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        f.failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    f.wall = clock.elapsed() / 1000.0;
    f.cpu = Bench::cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    return f;
}

// Dorrik --report over the folder; failed counts a run that did not read every file.
Figures reportRun(const QString &dorrik, const QString &folder, const QString &tmp)
{
    Figures f;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A working folder of our own: another Dorrik of this user clears the shared one.
    environment.insert(QStringLiteral("TMPDIR"), tmp);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const double cpu0 = Bench::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    process.start(dorrik, {QStringLiteral("--report"), tmp + QStringLiteral("/report.csv"), folder});
    process.waitForFinished(-1);
    f.wall = clock.elapsed() / 1000.0;
    f.cpu = Bench::cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    f.failed = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 ? 0 : 1;
    return f;
}

// An import of the folder through MainControl with `reads` reading tools at once.
Figures importAt(const QString &folder, int files, int reads)
{
    Figures f;
    ControlHarness table(true);
    QMetaObject::invokeMethod(table.controller(), [&] { table.controller()->setReadsAtOnce(reads); },
                              Qt::BlockingQueuedConnection);
    const double cpu0 = Bench::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    table.drop({QUrl::fromLocalFile(folder)});
    if (!table.waitFor([&] { return table.importReadyCount == 1; }, 1800000))
        std::fprintf(stderr, "import did not end\n");
    f.wall = clock.elapsed() / 1000.0;
    f.cpu = Bench::cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    for (const FileData &row : table.rows)
        f.failed += !row.hasAudioTC;
    f.failed += files - int(table.rows.size());
    return f;
}

void sweep(const QString &name, const QString &folder, int files, const QList<int> &settings)
{
    std::printf("%s, %d files, through MainControl:\n", qPrintable(name), files);
    for (int reads : settings) {
        std::printf("  %2d at once:", reads);
        for (int run = 0; run < 3; ++run) {
            const double load = loadAverage();
            const Figures f = importAt(folder, files, reads);
            std::printf("  %.2f s (cpu %.2f, load %.1f%s)", f.wall, f.cpu, load, f.failed ? ", UNREAD FILES" : "");
        }
        std::printf("\n");
    }
}

QStringList copies(const QString &source, const QString &folder, const QString &pattern, int count)
{
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        paths << folder + QLatin1Char('/') + pattern.arg(i, 4, 10, QLatin1Char('0'));
        QFile::copy(source, paths.last());
    }
    return paths;
}

// Prints one case; true when Dorrik read every file.
bool runCase(const char *name, const QString &folder, const QStringList &loopFiles, const QString &tmp,
             double *ratio)
{
    const double loadBefore = loadAverage();
    const Figures loop = decoderLoop(TestMedia::toolPath(QStringLiteral("Pelbrook")), loopFiles);
    const Figures dorrik = reportRun(TestMedia::toolPath(QStringLiteral("Dorrik")), folder, tmp);
    *ratio = dorrik.wall / loop.wall;
    std::printf("%s, %d files (load average %.1f before, %.1f after):\n"
                "  decoder loop:    wall %.2f s, cpu %.2f s%s\n"
                "  Dorrik --report: wall %.2f s, cpu %.2f s%s  (%.2fx the wall, %.2fx the cpu)\n",
                name, int(loopFiles.size()), loadBefore, loadAverage(), loop.wall, loop.cpu,
                loop.failed ? "  SOME DECODES FAILED" : "", dorrik.wall, dorrik.cpu,
                dorrik.failed ? "  NOT EVERY FILE READ" : "", *ratio, dorrik.cpu / loop.cpu);
    return dorrik.failed == 0 && loop.failed == 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    registerMetaTypes();
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    const QString tmp = Bench::ownTempFolder(root.path());
    QList<int> readSettings;
    const int readsOption = app.arguments().indexOf(QStringLiteral("--reads"));
    if (readsOption > 0)
        for (const QString &number : app.arguments().value(readsOption + 1).split(QLatin1Char(',')))
            readSettings << number.toInt();

    TestMedia::MediaRecipe recipe = TestMedia::recipe(QStringLiteral("roll.wav"), 2, 1);
    recipe.seconds = 2.0;
    const QString bwf = TestMedia::makeBwfWav(root.path(), recipe, 36000LL * 48000);
    recipe.fileName = QStringLiteral("card.mov");
    recipe.seconds = 4.0;
    const QString mov = TestMedia::makeMov(root.path(), recipe);
    recipe.fileName = QStringLiteral("card.wav");
    const QString movAudio = TestMedia::makeLtcWav(root.path(), recipe);
    if (bwf.isEmpty() || mov.isEmpty() || movAudio.isEmpty()) {
        std::fprintf(stderr, "cannot make the files: %s\n", qPrintable(TestMedia::lastError()));
        return 1;
    }
    const int rollFiles = Bench::scaled(200, 2);
    const int cardFiles = Bench::scaled(100, 2);
    const QString rollFolder = root.filePath(QStringLiteral("roll"));
    const QStringList roll = copies(bwf, rollFolder, QStringLiteral("T%1.wav"), rollFiles);
    const QString cardFolder = root.filePath(QStringLiteral("card"));
    copies(mov, cardFolder, QStringLiteral("A001C%1.mov"), cardFiles);
    const QStringList cardAudio = copies(movAudio, root.filePath(QStringLiteral("cardaudio")),
                                         QStringLiteral("A001C%1.wav"), cardFiles);
    std::printf("%d cores\n", Bench::cores());
    if (!readSettings.isEmpty()) {
        sweep(QStringLiteral("sound roll"), rollFolder, rollFiles, readSettings);
        sweep(QStringLiteral("camera card"), cardFolder, cardFiles, readSettings);
        return 0;
    }

    double rollRatio = 0.0;
    double cardRatio = 0.0;
    bool read = runCase("sound roll (2 s BWF, stereo 16-bit 48 kHz)", rollFolder, roll, tmp, &rollRatio);
    read = runCase("camera card (4 s MOV, video + stereo PCM)", cardFolder, cardAudio, tmp, &cardRatio) && read;
    const bool met = read && rollRatio <= 3.0;
    std::printf("target (every file read, sound roll within 3x the decoder loop): %s\n", met ? "met" : "NOT met");
    return met ? 0 : 1;
}
