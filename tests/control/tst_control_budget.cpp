// A cancel while the budget is full, and every way a tool can fail to
// deliver: tools that hang, are missing, or report success without output.
// Such tools are stand-ins written here; everything else is the real thing.

#include "ControlHarness.h"
#include "FakeToolDir.h"
#include "MainControl.h"
#include "TestMedia.h"
#include "WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using TestMedia::fileRecord;

namespace {

// Stand-in ffprobe: logs the probed path, then waits for "release-<name>" or
// "release-all" beside itself before printing a small report.
const char fakeProbe[] = R"(dir=$(dirname "$0")
for last; do :; done
echo "$last" >> "$dir/probe.log"
name=$(basename "$last")
while [ ! -e "$dir/release-$name" ] && [ ! -e "$dir/release-all" ]; do sleep 0.02; done
echo '{"format":{"format_name":"mov","duration":"1.0"},"streams":[]}'
)";

// Stand-in ffmpeg, in the mode named by the file "mode" beside it:
//   fail     exits 1 at once;
//   hang     writes a little to its last argument (the export target) and waits;
//   partial  copies sine.wav to the first WAV output only and reports success;
//   nothing  writes nothing and reports success.
const char fakeFfmpeg[] = R"(dir=$(dirname "$0")
echo "$*" >> "$dir/ffmpeg.log"
mode=$(cat "$dir/mode")
for last; do :; done
case "$mode" in
  fail) exit 1 ;;
  hang) echo partial > "$last"; while :; do sleep 0.05; done ;;
  partial)
    for a; do case "$a" in *.wav) cp "$dir/sine.wav" "$a"; exit 0 ;; esac; done
    exit 0 ;;
  nothing) exit 0 ;;
esac
exit 2
)";

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class TestControlBudget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cancelDropsQueuedExportsAndDeletesRunningOutput();
    void missingToolsStillEndEveryJob();
    void extractionWithoutAllItsWavsStillEndsTheBatch();
    void untrustedWorkFolderFailsEveryReadAndEndsTheBatch();

private:
    void useFakeTools(bool realProbe);

    QString realFfprobe;
    QTemporaryDir work;
    // This test function's own folder in front of PATH.
    std::unique_ptr<FakeToolDir> fakes;
    QString bin;
};

void TestControlBudget::initTestCase()
{
    realFfprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    QVERIFY2(!realFfprobe.isEmpty(), "ffprobe is needed");
}

void TestControlBudget::init()
{
    QVERIFY(work.isValid());
    fakes = std::make_unique<FakeToolDir>();
    bin = fakes->path();
}

void TestControlBudget::cleanup()
{
    fakes.reset();
}

// The stand-in ffmpeg, and the real ffprobe or the stand-in; they come first on PATH.
void TestControlBudget::useFakeTools(bool realProbe)
{
    if (realProbe)
        QVERIFY(QFile::link(realFfprobe, fakes->filePath(QStringLiteral("ffprobe"))));
    else
        QVERIFY(fakes->add(QStringLiteral("ffprobe"), fakeProbe));
    QVERIFY(fakes->add(QStringLiteral("ffmpeg"), fakeFfmpeg));
}

void TestControlBudget::cancelDropsQueuedExportsAndDeletesRunningOutput()
{
    useFakeTools(false);
    {
        QFile mode(bin + QStringLiteral("/mode"));
        QVERIFY(mode.open(QIODevice::WriteOnly));
        mode.write("hang");
    }
    const QString probeLog = bin + QStringLiteral("/probe.log");
    const QString ffmpegLog = bin + QStringLiteral("/ffmpeg.log");
    const QString target = work.filePath(QStringLiteral("target"));
    QVERIFY(QDir().mkpath(target));

    ControlHarness harness;
    // Reads may take the whole budget here: 43 hanging probes leave room for
    // two exports; three more must wait.
    QMetaObject::invokeMethod(harness.controller(), [&] { harness.controller()->setReadsAtOnce(MainControl::maxRunningProcesses); },
                              Qt::BlockingQueuedConnection);
    for (int row = 0; row < 43; ++row)
        harness.probe(fileRecord(work.filePath(QStringLiteral("p%1.mov").arg(row)), row), row);
    QVERIFY(harness.waitFor([&] { return readLines(probeLog).size() == 43; }));

    QVector<FileData> rows;
    for (int row = 0; row < 5; ++row)
        rows << fileRecord(work.filePath(QStringLiteral("clip%1.mov").arg(row)), row);
    harness.exportFiles(rows, ExportOptions{target, {}, {}, false, true, 0});
    QVERIFY(harness.waitFor([&] { return readLines(ffmpegLog).size() == 2
                                         && QDir(target).entryList(QDir::Files | QDir::Hidden).size() == 2; }));

    harness.cancel();
    QVERIFY(harness.waitFor([&] { return !harness.exportResults.isEmpty(); }));
    // Only the hanging probes are left; nothing of the export is still to come.
    QVERIFY(harness.waitFor([&] { return harness.drivers() == 43; }));
    harness.sync();
    QCOMPARE(harness.exportResults.size(), 1);
    QCOMPARE(harness.exportResults.first().result, 1);
    // The two killed runs are failures; the queued ones never ran.
    QStringList failed = harness.exportResults.first().failedFiles;
    failed.sort();
    QCOMPARE(failed, (QStringList{QStringLiteral("clip0.mov"), QStringLiteral("clip1.mov")}));
    QCOMPARE(readLines(ffmpegLog).size(), 2);
    QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(harness.exportLog.contains(QStringLiteral("progress 0/1 export cancelled")));
    QVERIFY(harness.exportLog.contains(QStringLiteral("ready 1 [%1]").arg(
        harness.exportResults.first().failedFiles.join(QLatin1Char(',')))));

    // The freed places go to nothing of the cancelled job.
    touch(bin + QStringLiteral("/release-all"));
    QVERIFY(harness.settle());
    QCOMPARE(harness.probeResults.size(), 43);
    QCOMPARE(readLines(ffmpegLog).size(), 2);
}

void TestControlBudget::missingToolsStillEndEveryJob()
{
    TestMedia::MediaRecipe recipe;
    recipe.seconds = 1.0;
    recipe.ltcStream = -1;
    const QString clip = TestMedia::makeMov(work.path(), recipe);
    QVERIFY2(!clip.isEmpty(), qPrintable(TestMedia::lastError()));

    // No ffprobe at all: the probe fails once and the import still ends.
    fakes->hideSystemTools();
    {
        ControlHarness table(true);
        table.drop({QUrl::fromLocalFile(clip)});
        QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }));
        QVERIFY(table.settle());
        QCOMPARE(table.probeResults.size(), 1);
        // Named as the tool that could not start, not as a damaged file.
        QCOMPARE(table.probeResults.first().code, int(ResultCode::ProbeStartFailed));
        QCOMPARE(table.importProgress.last().current, 3);
        QCOMPARE(table.importProgress.last().all, 3);
        QCOMPARE(table.importReadyCount, 1);

        // No ffmpeg either: an export that cannot start is a failed file.
        table.exportFiles({fileRecord(clip, 0)}, ExportOptions{work.path(), {}, {}, false, true, 0});
        QVERIFY(table.waitFor([&] { return table.exportResults.size() == 1; }));
        QCOMPARE(table.exportResults.first().result, 2);
        QCOMPARE(table.exportResults.first().failedFiles, QStringList{QStringLiteral("clip.mov")});
    }

    // ffprobe but no ffmpeg: the extraction fails once and the import ends.
    QVERIFY(QFile::link(realFfprobe, fakes->filePath(QStringLiteral("ffprobe"))));
    {
        ControlHarness table(true);
        table.drop({QUrl::fromLocalFile(clip)});
        QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }));
        QVERIFY(table.settle());
        QCOMPARE(table.probeResults.size(), 1);
        QCOMPARE(table.probeResults.first().code, 0);
        QCOMPARE(table.audioResults.size(), 1);
        QCOMPARE(table.audioResults.first().code, int(ResultCode::ExtractionStartFailed));
        QCOMPARE(table.audioResults.first().stream, -1);
        QCOMPARE(table.importProgress.last().current, 3);
        QCOMPARE(table.importReadyCount, 1);
    }
}

void TestControlBudget::extractionWithoutAllItsWavsStillEndsTheBatch()
{
    // Two audio streams (1 and 2) beside a video stream.
    TestMedia::MediaRecipe recipe;
    recipe.fileName = QStringLiteral("take_2.mov");
    recipe.seconds = 1.0;
    recipe.audioStreams = 2;
    recipe.ltcStream = -1;
    const QString clip = TestMedia::makeMov(work.path(), recipe);
    QVERIFY2(!clip.isEmpty(), qPrintable(TestMedia::lastError()));
    recipe.fileName = QStringLiteral("sine.wav");
    recipe.channels = 1;
    QVERIFY2(!TestMedia::makeLtcWav(bin, recipe).isEmpty(), qPrintable(TestMedia::lastError()));
    useFakeTools(true);

    for (const char *mode : {"partial", "nothing"}) {
        QFile modeFile(bin + QStringLiteral("/mode"));
        QVERIFY(modeFile.open(QIODevice::WriteOnly));
        modeFile.write(mode);
        modeFile.close();

        ControlHarness table(true);
        table.drop({QUrl::fromLocalFile(clip)});
        QVERIFY2(table.waitFor([&] { return table.importReadyCount == 1; }), mode);
        QVERIFY(table.settle());
        QCOMPARE(table.probeResults.size(), 1);
        QCOMPARE(table.importReadyCount, 1);
        QCOMPARE(table.importProgress.last().current, table.importProgress.last().all);
        if (QByteArray(mode) == "partial") {
            // Stream 1 was written and decoded (no timecode in a sine),
            // stream 2 is reported missing.
            QCOMPARE(table.audioResults.size(), 2);
            QCOMPARE(table.audioResults.at(0).stream, 2);
            QCOMPARE(table.audioResults.at(0).code, 2001);
            QCOMPARE(table.audioResults.at(1).stream, 1);
            QCOMPARE(table.audioResults.at(1).row, 0);
            QVERIFY(table.audioResults.at(1).code != 0);
            QVERIFY(table.audioResults.at(1).code != 2001);
            QCOMPARE(table.importProgress.last().all, 3);
        } else {
            QCOMPARE(table.audioResults.size(), 1);
            QCOMPARE(table.audioResults.first().stream, -1);
            QCOMPARE(table.audioResults.first().code, 2001);
            QCOMPARE(table.importProgress.last().all, 3);
        }
    }
}

void TestControlBudget::untrustedWorkFolderFailsEveryReadAndEndsTheBatch()
{
    // More than twice the budget: more reads wait in the queue while probes
    // run than there are results left to take them out one by one, and each
    // of them fails without starting a tool. Clips, as a WAV the decoder
    // reads needs no working folder.
    TestMedia::MediaRecipe recipe;
    recipe.fileName = QStringLiteral("w.mov");
    recipe.seconds = 1.0;
    recipe.channels = 1;
    recipe.withVideo = false;
    const QString clip = TestMedia::makeMov(work.path(), recipe);
    QVERIFY2(!clip.isEmpty(), qPrintable(TestMedia::lastError()));
    const QString folder = work.filePath(QStringLiteral("many"));
    QVERIFY(QDir().mkpath(folder));
    constexpr int files = 110;
    for (int i = 0; i < files; ++i)
        QVERIFY(QFile::copy(clip, folder + QStringLiteral("/w%1.mov").arg(i)));

    // Someone else's link where our working folder belongs.
    const QString planted = work.filePath(QStringLiteral("planted"));
    QVERIFY(QDir().mkpath(planted));
    QFile::remove(workFolderPath());
    QDir(workFolderPath()).removeRecursively();
    QVERIFY(QFile::link(planted, workFolderPath()));

    {
        ControlHarness table(true);
        table.drop({QUrl::fromLocalFile(folder)});
        QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }));
        QVERIFY(table.settle());
        QCOMPARE(table.probeResults.size(), files);
        QCOMPARE(table.audioResults.size(), files);
        for (const auto &result : table.audioResults)
            QCOMPARE(result.code, 2001);
        QCOMPARE(table.importProgress.last().current, 3 * files);
    }
    QVERIFY(QFileInfo(workFolderPath()).isSymLink());
    QCOMPARE(QDir(planted).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(QFile::remove(workFolderPath()));
}

QTEST_GUILESS_MAIN(TestControlBudget)
#include "tst_control_budget.moc"
