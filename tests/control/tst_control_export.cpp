// The export job through MainControl on its own thread, after a real import,
// with the real ffprobe, ffmpeg and Pelbrook on generated media.

#include "ControlHarness.h"
#include "TestMedia.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using TestMedia::MediaRecipe;
using TestMedia::recipe;

namespace {

ExportOptions options(const QString &target, bool mute = false)
{
    ExportOptions export_;
    export_.targetFolderPath = target;
    export_.videoExportType = VideoExportType::PassThrough;
    export_.audioExportType = AudioExportType::PassThrough;
    export_.muteAudioTC = mute;
    export_.exportAll = true;
    export_.progressUnitsPerFile = 3; // the controller makes it 15
    return export_;
}

const FileData &rowNamed(const ControlHarness &table, const QString &fileName)
{
    for (const FileData &row : table.rows)
        if (row.fileName == fileName)
            return row;
    static const FileData none;
    return none;
}

} // namespace

class TestControlExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void fourFilesGiveTheExactSignalSequence();
    void failedFileIsNamedAndSecondRequestRefused();
    void fullRoadWritesTheAudioTimecodeAndMutesIt();

private:
    // Imports the files of `folder` through the controller as the table does.
    void importFolder(ControlHarness &table, const QString &folder, int files);

    QTemporaryDir work;
};

void TestControlExport::initTestCase()
{
    QVERIFY(work.isValid());
}

void TestControlExport::importFolder(ControlHarness &table, const QString &folder, int files)
{
    table.drop({QUrl::fromLocalFile(folder)});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }));
    QCOMPARE(table.rows.size(), files);
    for (const FileData &row : table.rows)
        QVERIFY2(row.hasAudioTC, qPrintable(row.fileName));
}

void TestControlExport::fourFilesGiveTheExactSignalSequence()
{
    const QString source = work.filePath(QStringLiteral("four"));
    const QString target = work.filePath(QStringLiteral("four-out"));
    QVERIFY(QDir().mkpath(source) && QDir().mkpath(target));
    for (int i = 0; i < 4; ++i)
        MADE(TestMedia::makeMov(source, recipe(QStringLiteral("clip%1.mov").arg(i), 2, 1,
                                             QStringLiteral("0%1:10:20:00").arg(i + 1))));
    ControlHarness table(true);
    importFolder(table, source, 4);

    table.exportFiles(table.rows, options(target));
    QVERIFY(table.waitFor([&] { return !table.exportResults.isEmpty(); }));
    QVERIFY(table.settle());

    const QStringList log = table.exportLog;
    QVERIFY(log.size() > 5);
    QCOMPARE(log.at(0), QStringLiteral("progress 0/1 exporting files..."));
    QCOMPARE(log.at(1), QStringLiteral("started"));
    int last = 0;
    for (int i = 2; i < log.size() - 2; ++i) {
        QVERIFY2(log.at(i).startsWith(QLatin1String("progress ")), qPrintable(log.at(i)));
        QVERIFY2(log.at(i).endsWith(QLatin1String("/60 exporting files...")), qPrintable(log.at(i)));
        const int value = log.at(i).section(QLatin1Char(' '), 1, 1).section(QLatin1Char('/'), 0, 0).toInt();
        QVERIFY(value >= last);
        last = value;
    }
    QCOMPARE(last, 60);
    QCOMPARE(log.at(log.size() - 2), QStringLiteral("progress 4/4 exporting files..."));
    QCOMPARE(log.last(), QStringLiteral("ready 0 []"));
    QCOMPARE(table.exportResults.size(), 1);

    // Every copy carries its own audio timecode as its timecode.
    for (const FileData &row : table.rows) {
        const QString out = target + QLatin1Char('/') + row.baseName + QStringLiteral(".mov");
        QVERIFY2(QFileInfo::exists(out), qPrintable(out));
        QCOMPARE(TestMedia::timecodesOf(TestMedia::probe(out)).value(0), row.audioTC);
    }
    QCOMPARE(QDir(target).entryList(QDir::Files).size(), 4);

    // The same four again into the same folder take new names, and the first
    // copies stay.
    table.exportLog.clear();
    table.exportResults.clear();
    table.exportFiles(table.rows, options(target));
    QVERIFY(table.waitFor([&] { return !table.exportResults.isEmpty(); }));
    QCOMPARE(table.exportLog.last(), QStringLiteral("ready 0 []"));
    QCOMPARE(QDir(target).entryList(QDir::Files).size(), 8);
    QVERIFY(QFileInfo::exists(target + QStringLiteral("/clip0_1.mov")));
}

void TestControlExport::failedFileIsNamedAndSecondRequestRefused()
{
    const QString source = work.filePath(QStringLiteral("fail"));
    const QString target = work.filePath(QStringLiteral("fail-out"));
    QVERIFY(QDir().mkpath(source) && QDir().mkpath(target));
    for (const char *name : {"good.mov", "gone.mov", "later.mov"})
        MADE(TestMedia::makeMov(source, recipe(QString::fromLatin1(name), 2, 0,
                                             QStringLiteral("10:00:00:00"))));
    ControlHarness table(true);
    importFolder(table, source, 3);
    QVERIFY(QFile::remove(source + QStringLiteral("/gone.mov")));

    // The second request arrives while the first job runs: it is refused
    // whole, and the first job's result stays its own.
    table.exportFiles({rowNamed(table, QStringLiteral("good.mov")),
                       rowNamed(table, QStringLiteral("gone.mov"))}, options(target));
    table.exportFiles({rowNamed(table, QStringLiteral("later.mov"))}, options(target));
    QVERIFY(table.waitFor([&] { return !table.exportResults.isEmpty(); }));
    QVERIFY(table.settle());
    QCOMPARE(table.exportResults.size(), 1);
    QCOMPARE(table.exportStartedCount, 1);
    QCOMPARE(table.exportResults.first().result, 2);
    QCOMPARE(table.exportResults.first().failedFiles, QStringList{QStringLiteral("gone.mov")});
    QVERIFY(QFileInfo::exists(target + QStringLiteral("/good.mov")));
    QVERIFY(!QFileInfo::exists(target + QStringLiteral("/later.mov")));
    QCOMPARE(table.exportProgress.at(table.exportProgress.size() - 1).current, 2);
    QCOMPARE(table.exportProgress.at(table.exportProgress.size() - 1).all, 2);

    // Once it has ended, the next request is a job of its own.
    table.exportFiles({rowNamed(table, QStringLiteral("later.mov"))}, options(target));
    QVERIFY(table.waitFor([&] { return table.exportResults.size() == 2; }));
    QCOMPARE(table.exportResults.last().result, 0);
    QVERIFY(QFileInfo::exists(target + QStringLiteral("/later.mov")));

    // An empty request says nothing at all, nor does a cancel that comes
    // after the job has ended (it would leave "cancelling export..." standing).
    table.exportLog.clear();
    table.exportFiles({}, options(target));
    table.cancel();
    table.sync();
    QVERIFY(table.exportLog.isEmpty());
}

void TestControlExport::fullRoadWritesTheAudioTimecodeAndMutesIt()
{
    const QString source = work.filePath(QStringLiteral("road"));
    const QString target = work.filePath(QStringLiteral("road-out"));
    QVERIFY(QDir().mkpath(source) && QDir().mkpath(target));
    // LTC on the second channel of a stereo stream beside a tone.
    MADE(TestMedia::makeMov(source, recipe(QStringLiteral("camera.mov"), 2, 1,
                                         QStringLiteral("14:20:30:12"))));
    // Four mono tracks, LTC on the third, as MXF cameras write them.
    MediaRecipe mxf = recipe(QStringLiteral("camera b.mxf"), 1, 0, QStringLiteral("09:59:58:00"));
    mxf.audioStreams = 4;
    mxf.ltcStream = 2;
    MADE(TestMedia::makeMxf(source, mxf));
    // A two-channel recorder file, LTC on the first channel.
    MADE(TestMedia::makeBwfWav(source, recipe(QStringLiteral("sound.wav"), 2, 0,
                                            QStringLiteral("10:00:00:00")), 48000));

    ControlHarness table(true);
    importFolder(table, source, 3);
    const FileData mov = rowNamed(table, QStringLiteral("camera.mov"));
    const FileData mxfRow = rowNamed(table, QStringLiteral("camera b.mxf"));
    const FileData wav = rowNamed(table, QStringLiteral("sound.wav"));
    QCOMPARE(mov.audioTC, QStringLiteral("14:20:30:12"));
    QCOMPARE(mxfRow.audioTC, QStringLiteral("09:59:58:00"));
    QCOMPARE(mxfRow.audioTCStreamIndex, 3);
    QCOMPARE(wav.audioTC, QStringLiteral("10:00:00:00"));

    table.exportFiles(table.rows, options(target, true));
    QVERIFY(table.waitFor([&] { return !table.exportResults.isEmpty(); }));
    QCOMPARE(table.exportResults.first().result, 0);

    // QuickTime: the timecode track holds the audio timecode; the LTC channel
    // is gone and the tone beside it stays.
    const QString movOut = target + QStringLiteral("/camera.mov");
    QCOMPARE(TestMedia::timecodesOf(TestMedia::probe(movOut)).value(0), mov.audioTC);
    QVector<QVector<float>> audio = TestMedia::decodeAudio(movOut, 0);
    QCOMPARE(audio.size(), 1);
    QVERIFY(TestMedia::hasTone(audio.at(0), 48000, TestMedia::toneFrequency(0, 0)));
    QVERIFY(!TestMedia::looksLikeLtc(audio.at(0), 48000));

    // MXF: the material timecode; the mono LTC track is left out, the three
    // others keep their tones in order.
    const QString mxfOut = target + QStringLiteral("/camera b.mxf");
    const QJsonObject mxfProbe = TestMedia::probe(mxfOut);
    QCOMPARE(TestMedia::timecodesOf(mxfProbe), QStringList{mxfRow.audioTC});
    QCOMPARE(TestMedia::audioChannelsOf(mxfProbe), (QVector<int>{1, 1, 1}));
    const int expectedTones[] = {TestMedia::toneFrequency(0, 0), TestMedia::toneFrequency(1, 0),
                                 TestMedia::toneFrequency(3, 0)};
    for (int s = 0; s < 3; ++s) {
        audio = TestMedia::decodeAudio(mxfOut, s);
        QCOMPARE(audio.size(), 1);
        QVERIFY2(TestMedia::hasTone(audio.at(0), 48000, expectedTones[s]), qPrintable(QString::number(s)));
        QVERIFY(!TestMedia::looksLikeLtc(audio.at(0), 48000));
    }

    // WAV: the decoder's position of the first sample, within a millisecond of 10:00:00:00, as
    // its time reference (a muted WAV's channels and speed line: the export job's test).
    const QString wavOut = target + QStringLiteral("/sound.WAV");
    const qint64 samples = wav.audioTCReading.samplesSinceMidnight;
    QVERIFY2(qAbs(samples - qint64(1728000000)) <= 48, qPrintable(QString::number(samples)));
    QCOMPARE(TestMedia::formatTagsOf(TestMedia::probe(wavOut)).value("time_reference").toString(),
             QString::number(samples));
}

QTEST_GUILESS_MAIN(TestControlExport)
#include "tst_control_export.moc"
