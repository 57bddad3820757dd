// What reading timecode that starts late costs, and how exact the position
// of the first sample is.
//
// 1. Import of 200 20-second MOV clips (video + stereo PCM) without any LTC,
//    and of one 10-minute clip without LTC, through MainControl: wall time
//    and the tools' CPU time. Every stream ends as "not found".
// 2. SamplesSinceMidnight against the truth at every rate and sample rate:
//    LTC from ltcgen (step edges) and libltc (ltcref, with its rise time),
//    starting on sample 0 (and 3 samples in, where ltcgen can delay it). The
//    error is the reported integer minus the true nominal position.
//
// Measured 2026-12-08 on 2 cores (Debian 12) under a load average of 33 to 54
// from other builds, twice each; "before" is this program built from the code
// before the search was added:
//
//                                   before                    after
//   200 clips of 20 s, no LTC      46.8 / 65.1 s wall,       97.5 / 120.9 s wall,
//                                  30.4 / 35.8 s tools CPU   51.5 / 64.3 s tools CPU
//   one clip of 10 min, no LTC     0.28 / 0.42 s wall        0.73 / 0.85 s wall
//   position error (samples)       -1 to -5                  0 on sample 0 (ltcgen, libltc);
//                                                            -0.003 three samples in at the
//                                                            NTSC rates (the truth is fractional)

#include "BenchSupport.h"
#include "ControlHarness.h"
#include "TestMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <sys/resource.h>

namespace {

double childCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Import
{
    double wall = 0.0;
    double toolsCpu = 0.0;
    QMap<int, int> codes;
};

Import importFolder(const QString &folder)
{
    Import result;
    ControlHarness table(true);
    const double tools0 = childCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    table.drop({QUrl::fromLocalFile(folder)});
    if (!table.waitFor([&] { return table.importReadyCount == 1; }, 1800000))
        std::fprintf(stderr, "import of %s did not end\n", qPrintable(folder));
    result.wall = timer.elapsed() / 1000.0;
    result.toolsCpu = childCpuSeconds() - tools0;
    for (const auto &read : table.audioResults)
        ++result.codes[read.code];
    return result;
}

QString codesText(const QMap<int, int> &codes)
{
    QStringList parts;
    for (auto it = codes.cbegin(); it != codes.cend(); ++it)
        parts << QStringLiteral("%1x%2").arg(it.value()).arg(it.key());
    return parts.join(QLatin1Char(' '));
}

QString makeClip(const QString &folder, const QString &name, double seconds)
{
    TestMedia::MediaRecipe recipe;
    recipe.fileName = name;
    recipe.seconds = seconds;
    recipe.ltcStream = -1;
    return TestMedia::makeMov(folder, recipe);
}

// Error of SamplesSinceMidnight for one generated file; NAN when it was not read.
double positionError(const QString &wav, qint64 labelCount, int nominal, int sampleRate, double offsetSamples,
                     bool ntsc)
{
    const TestMedia::ToolRun run = TestMedia::runTool(QStringLiteral("Pelbrook"), {wav});
    if (!run.ok())
        return NAN;
    const QJsonObject report = QJsonDocument::fromJson(run.standardOutput).object();
    const double truth = double(labelCount) * sampleRate / nominal - offsetSamples * (ntsc ? 1000.0 / 1001.0 : 1.0);
    return report.value(QStringLiteral("SamplesSinceMidnight")).toDouble() - truth;
}

void positionTable(const QString &folder)
{
    struct Rate { const char *fps; int nominal; bool ntsc; bool df; };
    const Rate rates[] = {{"23.976", 24, true, false}, {"24", 24, false, false}, {"25", 25, false, false},
                          {"29.97", 30, true, false}, {"29.97", 30, true, true}, {"30", 30, false, false}};
    std::printf("\nSamplesSinceMidnight minus the truth, in samples (worst of the files read; '-' none read)\n");
    std::printf("%-10s %6s %12s %12s %12s\n", "rate", "kHz", "ltcgen @0", "ltcgen @3", "libltc @0");
    const QString wav = folder + QStringLiteral("/position.wav");
    for (const Rate &rate : rates) {
        for (const int sr : {44100, 48000, 96000}) {
            const QString start = rate.df ? QStringLiteral("13:24:35;10") : QStringLiteral("13:24:35:10");
            const qint64 count = qint64((13 * 60 + 24) * 60 + 35) * rate.nominal + 10;
            double worst[3] = {NAN, NAN, NAN};
            auto note = [&](int column, double error) {
                if (!std::isnan(error) && (std::isnan(worst[column]) || std::fabs(error) > std::fabs(worst[column])))
                    worst[column] = error;
            };
            for (const char *level : {"0.01", "0.1", "1.0"}) {
                for (const int offset : {0, 3}) {
                    QStringList gen{wav, "--fps", rate.fps, "--rate", QString::number(sr), "--start", start,
                                    "--seconds", "2.1", "--level", level};
                    if (offset > 0)
                        gen << "--offset" << QString::number(offset);
                    if (rate.df)
                        gen << "--df";
                    if (!TestMedia::runTool(QStringLiteral("ltcgen"), gen).ok())
                        continue;    // an ltcgen without --offset
                    // Delayed by 3 samples, sample 0 lies in the label before.
                    note(offset ? 1 : 0, positionError(wav, count, rate.nominal, sr, offset, rate.ntsc));
                }
            }
            for (const char *volume : {"-30", "-20", "0"}) {
                QStringList enc{"encode", wav, "--fps", rate.fps, "--rate", QString::number(sr), "--start", start,
                                "--seconds", "2.1", "--volume", volume};
                if (rate.df)
                    enc << "--df";
                if (TestMedia::runTool(QStringLiteral("ltcref"), enc).ok())
                    note(2, positionError(wav, count, rate.nominal, sr, 0, rate.ntsc));
            }
            auto text = [](double v) { return std::isnan(v) ? QStringLiteral("-") : QString::number(v, 'f', 3); };
            std::printf("%-10s %6.1f %12s %12s %12s\n", qPrintable(QString(rate.fps) + (rate.df ? " DF" : "")),
                        sr / 1000.0, qPrintable(text(worst[0])), qPrintable(text(worst[1])),
                        qPrintable(text(worst[2])));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    Bench::ownTempFolder(root.path());

    const QString clips = root.filePath(QStringLiteral("clips"));
    const QString longClip = root.filePath(QStringLiteral("long"));
    QDir().mkpath(clips);
    QDir().mkpath(longClip);
    const QString clip = makeClip(root.path(), QStringLiteral("source.mov"), 20.0);
    const QString ten = makeClip(longClip, QStringLiteral("ten minutes.mov"), 600.0);
    if (clip.isEmpty() || ten.isEmpty()) {
        std::fprintf(stderr, "cannot make the clips: %s\n", qPrintable(TestMedia::lastError()));
        return 1;
    }
    for (int n = 0; n < 200; ++n)
        QFile::copy(clip, clips + QStringLiteral("/clip%1.mov").arg(n, 3, 10, QLatin1Char('0')));

    std::printf("import without LTC (video + stereo PCM), %d cores\n", QThread::idealThreadCount());
    std::printf("%-28s %8s %10s  %s\n", "", "wall s", "tools cpu", "results (count x code)");
    const Import many = importFolder(clips);
    std::printf("%-28s %8.2f %9.2fs  %s\n", "200 clips of 20 s", many.wall, many.toolsCpu,
                qPrintable(codesText(many.codes)));
    const Import one = importFolder(longClip);
    std::printf("%-28s %8.2f %9.2fs  %s\n", "one clip of 10 min", one.wall, one.toolsCpu,
                qPrintable(codesText(one.codes)));

    positionTable(root.path());
    return 0;
}
