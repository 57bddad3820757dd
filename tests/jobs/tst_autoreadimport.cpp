// An import of a shooting day whose recorders wrote LTC that the default
// reading misses: after the import every row shows its timecode, that of its
// first video frame where it has video.
#include "ControlHarness.h"
#include "MetaTypes.h"
#include "TestMedia.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace TestMedia;

class AutoReadImportTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMetaTypes(); }
    void folderImportShowsEveryTimecode();
};

void AutoReadImportTest::folderImportShowsEveryTimecode()
{
    struct Recording
    {
        QString fileName;
        QStringList ltcgenArguments;
        QString start;
        QString shown = {}; // when not the start
    };
    const QList<Recording> day{
        {"clean.wav", {}, "08:00:00:00"},
        // Only the last algorithm reads it (which reads which signal: the decode job's test).
        {"camera.mov", {"--pulses", "--level", "0.5", "--dc", "5000"}, "08:40:33:03"},
        // AC-3 in a transport stream: audio (256 samples of encoder padding, then LTC
        // frame k at 0.012 + k/25 s) starts before the first video frame at 0.08 s,
        // 1.7 frames after LTC frame 0: nearest to frame 2.
        {"00001.MTS", {}, "08:50:44:04", "08:50:44:06"},
    };

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("day 1"));
    const QString folder = QDir(dir.path()).filePath("day 1");
    for (const Recording &recording : day) {
        MediaRecipe recipe = TestMedia::recipe(recording.fileName, 1, 0, recording.start);
        recipe.ltcgenArguments = recording.ltcgenArguments;
        recipe.videoDelay = 0.08;
        recipe.audioDelay = 0.012;
        const QString path = recording.fileName.endsWith(".mov")   ? makeMov(folder, recipe)
                             : recording.fileName.endsWith(".MTS") ? makeMts(folder, recipe)
                                                                   : makeLtcWav(folder, recipe);
        QVERIFY2(!path.isEmpty(), qPrintable(lastError()));
    }

    ControlHarness harness(true);
    harness.drop({QUrl::fromLocalFile(dir.path())});
    QVERIFY(harness.waitFor([&] { return harness.importReadyCount == 1; }));
    QVERIFY(harness.settle());
    QCOMPARE(harness.rows.size(), day.size());
    for (const FileData &row : harness.rows) {
        const auto recording = std::find_if(day.begin(), day.end(),
                                            [&](const Recording &r) { return r.fileName == row.fileName; });
        QVERIFY2(recording != day.end(), qPrintable(row.fileName));
        QVERIFY2(row.hasAudioTC, qPrintable(row.fileName));
        QCOMPARE(row.audioTC, recording->shown.isEmpty() ? recording->start : recording->shown);
    }
    // One decoder result per file, however many runs it took.
    QCOMPARE(harness.audioResults.size(), day.size());
}

QTEST_GUILESS_MAIN(AutoReadImportTest)
#include "tst_autoreadimport.moc"
