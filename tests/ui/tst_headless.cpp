// Dorrik without a window, started as a script would: its command line, an
// export with the real tools on generated clips (the copies read back with
// ffprobe), and a stop by SIGTERM in the middle of one.

#include "TestMedia.h"
#include "TestWait.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using TestMedia::MediaRecipe;
using TestMedia::withoutDisplay;

namespace {

// Everything in the folder, hidden files included.
QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class HeadlessTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // One clip done with its audio timecode as the copy's own, one refused
    // with its reason on standard error, and the report after the export.
    void clipDoneAndClipRefused()
    {
        MediaRecipe take = TestMedia::recipe("take.mov", 2, 1, "14:20:30:12");
        take.fileTimecode = "09:00:00:00";
        const QString done = TestMedia::makeMov(dir.path(), take);
        MediaRecipe odd = TestMedia::recipe("odd.mov");
        odd.fps = "30";
        odd.videoFps = "25";
        const QString refused = TestMedia::makeMov(dir.path(), odd);
        MADE(done);
        MADE(refused);

        const QString out = dir.filePath("out");
        const QString report = dir.filePath("after.csv");
        const TestMedia::ToolRun run =
            TestMedia::runTool("Dorrik", {"--export", out, "--video", "mov-copy", "--report", report, done, refused},
                               withoutDisplay());
        QVERIFY(run.finished && !run.crashed);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.standardOutput, QByteArray());
        const QStringList lines = QString::fromUtf8(run.standardError).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.filter(QRegularExpression("^[12]/2 (reading|exporting)\\.\\.\\.$")).size(), 4);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.last(), "Dorrik: not exported: " + refused + ": LTC 30 fps does not match video 25 fps");

        // ffprobe sees the audio timecode in every timecode the copy carries, not the file's old one.
        QCOMPARE(entriesOf(out), QStringList{"take.MOV"});
        const QStringList timecodes = TestMedia::timecodesOf(TestMedia::probe(out + "/take.MOV"));
        QVERIFY(!timecodes.isEmpty());
        QCOMPARE(timecodes.filter(take.ltcStart).size(), timecodes.size());

        QFile csv(report);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(csv.readAll());
        QVERIFY2(text.contains(',' + out + "/take.MOV,14:20:30:12,done,-480762\r\n"), qPrintable(text));
        QVERIFY2(text.contains(",ok,,,the audio timecode's rate does not match the video: LTC 30 fps"
                                               " does not match video 25 fps,\r\n"), qPrintable(text));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString folder = dir.path();
        const QString csv = dir.filePath("r.csv");
        const QString out = dir.filePath("never");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "mov-dnxhd-high     QuickTime - DNxHD 175x";
        QTest::newRow("other suffix") << QStringList{"--report", dir.filePath("r.txt"), folder} << 2 << ".csv";
        QTest::newRow("report folder") << QStringList{"--report", dir.filePath("gone/r.csv"), folder} << 2 << "folder";
        // The read options and paths are the same for both runs.
        QTest::newRow("missing path") << QStringList{"--report", csv, dir.filePath("gone")} << 2 << "no such file";
        QTest::newRow("algorithm") << QStringList{"--report", csv, "--read-algorithm", "FAST", folder} << 2 << "FAST";
        QTest::newRow("channel 0") << QStringList{"--report", csv, "--channel", "0", folder} << 2 << "--channel";
        QTest::newRow("fps 26") << QStringList{"--report", csv, "--fps", "26", folder} << 2 << "--fps";
        QTest::newRow("unknown option") << QStringList{"--export", out, "--fast", folder} << 2 << "fast";
        QTest::newRow("no paths") << QStringList{"--export", out} << 2 << "no file or folder";
        QTest::newRow("video word") << QStringList{"--export", out, "--video", "dnxhd", folder} << 2 << "mov-dnxhd-low";
        QTest::newRow("audio word") << QStringList{"--export", out, "--audio", "aac", folder} << 2 << "pcm24";
        QTest::newRow("mxf audio") << QStringList{"--export", out, "--video", "mxf-mpeg2", "--audio", "copy", folder}
                                   << 2 << "pcm16 or pcm24";
        QTest::newRow("no folder") << QStringList{"--export", "", folder} << 2 << "--export FOLDER";
        QTest::newRow("export report") << QStringList{"--export", out, "--report", out + "/r.txt", folder} << 2
                                       << ".csv";
    }

    // Wrong arguments end before anything is read, made or written.
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const TestMedia::ToolRun run = TestMedia::runTool("Dorrik", arguments, withoutDisplay());
        QVERIFY(run.finished && !run.crashed);
        QCOMPARE(run.exitCode, exitCode);
        const QString text = QString::fromUtf8(exitCode == 0 ? run.standardOutput : run.standardError);
        const QString reason = exitCode == 0 ? text : text.section('\n', 0, 0); // the usage names every word
        QVERIFY2(text.contains("Usage: Dorrik --report") && reason.contains(message)
                     && (exitCode == 0 || reason.startsWith("Dorrik: ")), qPrintable(text));
        QVERIFY(!QFileInfo::exists(dir.filePath("r.csv")) && !QFileInfo::exists(dir.filePath("never")));
    }

    // Ctrl-C in a terminal while the copies are being written (SIGINT to the
    // whole process group) cancels as the Cancel button does: no copy is left,
    // finished or not, and the exit code says why. The tools, in a group of
    // their own, are stopped by the cancel, not by the signal.
    void ctrlCCancels()
    {
        const QString source = dir.filePath("long");
        QVERIFY(QDir().mkpath(source));
        for (const QString name : {"a.mov", "b.mov", "c.mov"}) {
            MediaRecipe clip = TestMedia::recipe(name);
            clip.seconds = 12.0;
            MADE(TestMedia::makeMov(source, clip));
        }
        const QString out = dir.filePath("cancelled");
        QProcess dorrik;
        dorrik.setProcessEnvironment(withoutDisplay());
        // setsid: Dorrik leads a process group of its own, as a shell's job does.
        dorrik.start("setsid", {TestMedia::toolPath("Dorrik"), "--export", out, "--video", "mov-dnxhd-high", source});
        QVERIFY(dorrik.waitForStarted());
        // The first export has started once its hidden file is there.
        QVERIFY(QTest::qWaitFor([&] { return !entriesOf(out).filter(".partial-").isEmpty(); }, TestWait::toolWorkMs));
        QVERIFY(entriesOf(out).filter(QRegularExpression("^[^.]")).isEmpty());
        QVERIFY(::kill(-pid_t(dorrik.processId()), SIGINT) == 0);
        QVERIFY(dorrik.waitForFinished(TestWait::toolWorkMs));
        QCOMPARE(dorrik.exitStatus(), QProcess::NormalExit);
        QCOMPARE(dorrik.exitCode(), 130);
        QVERIFY2(entriesOf(out).isEmpty(), qPrintable(entriesOf(out).join(", ")));
        QVERIFY(QString::fromUtf8(dorrik.readAllStandardError()).endsWith("Dorrik: export cancelled\n"));
    }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "tst_headless.moc"
