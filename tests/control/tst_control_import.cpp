// Import and audio timecode reading through MainControl on its own thread,
// with the real ffprobe, ffmpeg and Pelbrook on generated media.

#include "ControlHarness.h"
#include "DecodeJob.h"
#include "TestMedia.h"
#include "WorkFolder.h"

#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using TestMedia::MediaRecipe;
using TestMedia::recipe;

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

int rowOf(const ControlHarness &table, const QString &fileName)
{
    for (const FileData &row : table.rows)
        if (row.fileName == fileName)
            return row.fileNumber;
    return -1;
}

QList<ControlHarness::AudioResult> resultsOf(const ControlHarness &table, int row)
{
    QList<ControlHarness::AudioResult> found;
    for (const auto &result : table.audioResults)
        if (result.row == row)
            found << result;
    return found;
}

// Progress must only go forward and end exactly at its total.
void verifyProgress(const QList<ControlHarness::Progress> &progress, int expectedTotal)
{
    QVERIFY(!progress.isEmpty());
    double last = 0.0;
    for (const auto &p : progress) {
        QVERIFY(p.all > 0);
        const double fraction = double(p.current) / double(p.all);
        QVERIFY2(fraction > last, qPrintable(QStringLiteral("%1/%2").arg(p.current).arg(p.all)));
        last = fraction;
    }
    QCOMPARE(progress.last().current, expectedTotal);
    QCOMPARE(progress.last().all, expectedTotal);
}

} // namespace

class TestControlImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void droppedFoldersYieldMediaAtEveryDepthOnly();
    void fileTimecodeFromEverySource();
    void readAfterImportReportsEveryStream();
    void sameBaseNameFilesReadOnlyTheirOwnWavs();
    void sourcesAreReadUntouchedAndLongNamesRead();
    void timecodeStartingLaterIsFoundAndCountedBack();
    void importAndUserReadOverlappingBothEnd();
    void overlappingReadsKeepTheirOwnOptions_data();
    void overlappingReadsKeepTheirOwnOptions();

private:
    QTemporaryDir media;
};

void TestControlImport::initTestCase()
{
    QVERIFY(media.isValid());
    QVERIFY2(QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/Pelbrook")).isExecutable(),
             "Pelbrook is expected beside the test");
}

void TestControlImport::droppedFoldersYieldMediaAtEveryDepthOnly()
{
    QTemporaryDir tree;
    const QStringList accepted{QStringLiteral("CLIP.MOV"), QStringLiteral("a/b.mxf"),
                               QStringLiteral("a/b/c/deep.Mp4"), QStringLiteral("a/b/c/d/sound.WAV"),
                               QStringLiteral("a/x y ä.mts")};
    const QStringList ignored{QStringLiteral("readme.txt"), QStringLiteral("a/b/c/clip.mov.bak"),
                              QStringLiteral("a/b/.hidden.mov"), QStringLiteral("a/noext")};
    for (const QString &name : accepted + ignored)
        writeBytes(tree.filePath(name), "x");
    QVERIFY(QDir().mkpath(tree.filePath(QStringLiteral("a/b/empty.mov"))));
    QTemporaryDir single;
    writeBytes(single.filePath(QStringLiteral("one.Wav")), "x");
    writeBytes(single.filePath(QStringLiteral("notes.txt")), "x");
    writeBytes(single.filePath(QStringLiteral("notes_wav")), "x");
    QTemporaryDir empty;
    QVERIFY(QDir().mkpath(empty.filePath(QStringLiteral("sub/subsub"))));
    writeBytes(empty.filePath(QStringLiteral("sub/notes.txt")), "x");

    ControlHarness harness;
    // Folders without media, and files of other kinds, say nothing at all.
    harness.drop({QUrl::fromLocalFile(empty.path()),
                  QUrl::fromLocalFile(single.filePath(QStringLiteral("notes.txt"))),
                  QUrl::fromLocalFile(single.filePath(QStringLiteral("notes_wav"))),
                  QUrl(QStringLiteral("https://example.invalid/clip.mov"))});
    harness.sync();
    QVERIFY(harness.announced.isEmpty());
    QVERIFY(harness.importProgress.isEmpty());

    harness.drop({QUrl::fromLocalFile(tree.path()),
                  QUrl::fromLocalFile(single.filePath(QStringLiteral("one.Wav")))});
    harness.sync();
    QSet<QString> found;
    for (const QFileInfo &info : harness.announced)
        found << info.absoluteFilePath();
    QSet<QString> expected{QFileInfo(single.filePath(QStringLiteral("one.Wav"))).absoluteFilePath()};
    for (const QString &name : accepted)
        expected << QFileInfo(tree.filePath(name)).absoluteFilePath();
    QCOMPARE(found, expected);
    QCOMPARE(harness.announced.size(), expected.size());
}

void TestControlImport::fileTimecodeFromEverySource()
{
    const QString dir = media.filePath(QStringLiteral("sources"));
    QVERIFY(QDir().mkpath(dir));
    MediaRecipe mxf = recipe(QStringLiteral("format tag.mxf"), 1);
    mxf.fileTimecode = QStringLiteral("01:02:03:04");
    MADE(TestMedia::makeMxf(dir, mxf));
    MediaRecipe mov = recipe(QStringLiteral("track ä.mov"));
    mov.fileTimecode = QStringLiteral("10:11:12:13");
    mov.ltcStream = -1;
    MADE(TestMedia::makeMov(dir, mov));
    MediaRecipe plainMp4 = recipe(QStringLiteral("plain.mp4"));
    plainMp4.ltcStream = -1;
    const QString plain = TestMedia::makeMp4(media.path(), plainMp4);
    MADE(plain);
    QVERIFY(TestMedia::runTool(QStringLiteral("ffmpeg"),
                               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                QStringLiteral("-i"), plain, QStringLiteral("-map"), QStringLiteral("0"),
                                QStringLiteral("-c"), QStringLiteral("copy"),
                                QStringLiteral("-metadata:s:v:0"),
                                QStringLiteral("encoder=gopro AVC encoder"),
                                dir + QStringLiteral("/none.mp4")}).ok());
    MADE(TestMedia::makeBwfWav(dir, recipe(QStringLiteral("bext.wav"), 2, 1), 175752000));
    MADE(TestMedia::makeBwfWav(dir, recipe(QStringLiteral("zero.wav"), 1), 0));
    MADE(TestMedia::makeCorruptFile(dir, QStringLiteral("corrupt.mov")));
    MADE(TestMedia::makeNonMediaFile(dir, QStringLiteral("notes.mts")));

    ControlHarness table(true);
    table.drop({QUrl::fromLocalFile(dir)});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }));
    QCOMPARE(table.probeResults.size(), 7);

    struct Expected { const char *name; int code; bool hasTC; const char *tc; int audioStreams; };
    const Expected expected[] = {
        {"format tag.mxf", 0, true, "01:02:03:04", 1},
        {"track ä.mov", 0, true, "10:11:12:13", 1},
        {"none.mp4", 0, false, "", 1},
        {"bext.wav", 0, true, "01:01:01.500", 1},
        {"zero.wav", 0, false, "", 1},
        {"corrupt.mov", 1000, false, "", 0},
        {"notes.mts", 1000, false, "", 0},
    };
    for (const Expected &e : expected) {
        const int row = rowOf(table, QString::fromUtf8(e.name));
        QVERIFY2(row >= 0, e.name);
        bool seen = false;
        for (const auto &result : table.probeResults) {
            if (result.row != row)
                continue;
            QVERIFY2(!seen, e.name);
            seen = true;
            QCOMPARE(result.code, e.code);
            QCOMPARE(result.fileData.hasFileTC, e.hasTC);
            QCOMPARE(result.fileData.fileTC, QString::fromUtf8(e.tc));
            QCOMPARE(result.fileData.audioStreamIndexes.size(), e.audioStreams);
            QCOMPARE(result.fileData.fileNumber, -1);
            if (e.code == 0)
                QVERIFY(result.fileData.duration > 3.9 && result.fileData.duration < 4.1);
        }
        QVERIFY2(seen, e.name);
    }
    const FileData mp4 = table.rows.at(rowOf(table, QStringLiteral("none.mp4")));
    QVERIFY(mp4.isGoPro);
    QCOMPARE(mp4.audioStreamIndexes, QByteArray(1, char(1)));
    QVERIFY(mp4.hasVideo());
    const FileData wav = table.rows.at(rowOf(table, QStringLiteral("bext.wav")));
    QCOMPARE(wav.timeReference, qint64(175752000));
    QCOMPARE(wav.audioChannelCount, 2);
    QVERIFY(!wav.hasVideo());
    QCOMPARE(table.rows.at(rowOf(table, QStringLiteral("track ä.mov"))).audioChannelCount, 0);
}

void TestControlImport::readAfterImportReportsEveryStream()
{
    const QString dir = media.filePath(QStringLiteral("read"));
    QVERIFY(QDir().mkpath(dir));
    // Video 0, LTC on the second channel of stream 1, tones only on stream 2.
    MediaRecipe two = recipe(QStringLiteral("two streams.mov"), 2, 1);
    two.audioStreams = 2;
    MADE(TestMedia::makeMov(dir, two));
    MADE(TestMedia::makeLtcWav(dir, recipe(QStringLiteral("take_2.wav"), 1, 0,
                                         QStringLiteral("11:22:33:10"))));
    MADE(TestMedia::makeClipWithoutAudio(dir, QStringLiteral("silent.mp4")));
    MADE(TestMedia::makeCorruptFile(dir, QStringLiteral("broken.mxf")));

    ControlHarness table(true);
    table.drop({QUrl::fromLocalFile(dir)});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }));
    QVERIFY(table.settle());
    QCOMPARE(table.importReadyCount, 1);
    QCOMPARE(table.readingFinishedCount, 0);
    // Three units per file, one more decoder run for the second stream, and
    // the search further into the stream without timecode: its extraction and run.
    verifyProgress(table.importProgress, 4 * 3 + 1 + 2);
    QVERIFY(!QFileInfo::exists(workFolderPath()));

    const int mov = rowOf(table, QStringLiteral("two streams.mov"));
    const auto movResults = resultsOf(table, mov);
    QCOMPARE(movResults.size(), 2);
    for (const auto &result : movResults) {
        if (result.stream == 1) {
            QCOMPARE(result.code, 0);
            QCOMPARE(result.report.value(QStringLiteral("Timecode")).toString(),
                     QStringLiteral("10:00:00:00"));
            QCOMPARE(result.report.value(QStringLiteral("ChannelFound")).toInt(), 1);
        } else {
            QCOMPARE(result.stream, 2);
            QCOMPARE(result.code, 205);
        }
    }
    QCOMPARE(table.rows.at(mov).audioTCStreamIndex, 1);
    QCOMPARE(table.rows.at(mov).audioTCChannel, 1);

    const auto wavResults = resultsOf(table, rowOf(table, QStringLiteral("take_2.wav")));
    QCOMPARE(wavResults.size(), 1);
    QCOMPARE(wavResults.first().stream, 0);
    QCOMPARE(wavResults.first().code, 0);
    QCOMPARE(wavResults.first().report.value(QStringLiteral("Timecode")).toString(),
             QStringLiteral("11:22:33:10"));

    const auto silent = resultsOf(table, rowOf(table, QStringLiteral("silent.mp4")));
    QCOMPARE(silent.size(), 1);
    QCOMPARE(silent.first().stream, -1);
    QCOMPARE(silent.first().code, 2001);
    QVERIFY(resultsOf(table, rowOf(table, QStringLiteral("broken.mxf"))).isEmpty());
    QCOMPARE(table.audioResults.size(), 4);

    // The user's read of three rows: two units each plus the extra run, the
    // user's settings reach the decoder (channel 5 exists nowhere), and the
    // end is readingFinished.
    QVector<FileData> request;
    for (const QString &name : {QStringLiteral("two streams.mov"), QStringLiteral("take_2.wav"),
                                QStringLiteral("silent.mp4")}) {
        FileData row = table.rows.at(rowOf(table, name));
        row.audioTCReadRequested = true;
        request << row;
    }
    table.importProgress.clear();
    table.audioResults.clear();
    table.userRead(request, AudioTCOptions{ReadAlgorithm::Mid, 5, 25.0, false});
    QVERIFY(table.waitFor([&] { return table.readingFinishedCount == 1; }));
    QVERIFY(table.settle());
    QCOMPARE(table.importReadyCount, 1);
    verifyProgress(table.importProgress, 3 * 2 + 1);
    QCOMPARE(table.audioResults.size(), 4);
    for (const auto &result : table.audioResults)
        QCOMPARE(result.code, result.row == rowOf(table, QStringLiteral("silent.mp4")) ? 2001 : 202);
    QVERIFY(!QFileInfo::exists(workFolderPath()));
}

void TestControlImport::sameBaseNameFilesReadOnlyTheirOwnWavs()
{
    // Six files of base name "clip": their extractions must not mix.
    const QString dir = media.filePath(QStringLiteral("same"));
    QStringList names;
    for (int i = 0; i < 5; ++i) {
        const QString name = QStringLiteral("d%1/clip.mov").arg(i);
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/d%1").arg(i)));
        MADE(TestMedia::makeMov(dir + QStringLiteral("/d%1").arg(i),
                                recipe(QStringLiteral("clip.mov"), 2, 1,
                                     QStringLiteral("0%1:00:00:00").arg(i + 1))));
        names << name;
    }
    MADE(TestMedia::makeMxf(dir + QStringLiteral("/d0"),
                            recipe(QStringLiteral("clip.mxf"), 2, 0, QStringLiteral("07:00:00:00"))));

    ControlHarness table(true);
    table.drop({QUrl::fromLocalFile(dir)});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }));
    QVERIFY(table.settle());
    verifyProgress(table.importProgress, 6 * 3);
    QCOMPARE(table.audioResults.size(), 6);
    for (const FileData &row : table.rows) {
        const auto results = resultsOf(table, row.fileNumber);
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.first().code, 0);
        const QString folder = QFileInfo(row.filePath).dir().dirName();
        const QString own = row.suffix == QLatin1String("mxf")
            ? QStringLiteral("07:00:00:00")
            : QStringLiteral("0%1:00:00:00").arg(folder.mid(1).toInt() + 1);
        QCOMPARE(results.first().report.value(QStringLiteral("Timecode")).toString(), own);
    }
}

// WAVs the decoder reads are read where they lie, others are extracted first;
// no source changes, whichever road it takes, and a base name near the file
// system's limit still reads.
// LTC heard only from 2.5 s, 7 s or 45 s on (after silence or noise), in MOV,
// MXF and WAV: the first seconds hold none, so each stream is searched further
// in, and the row gets the timecode of the file's first sample, to the sample,
// with where it was found. A clip without any LTC ends as not found. The same
// holds for the user's reads.
void TestControlImport::timecodeStartingLaterIsFoundAndCountedBack()
{
    const QString dir = media.filePath(QStringLiteral("later"));
    QVERIFY(QDir().mkpath(dir));
    struct Case { QString name; double leadIn; QString start; QString fps; bool dropFrame; QString noise; };
    const QList<Case> cases{
        {QStringLiteral("late.mov"), 2.5, QStringLiteral("10:00:00:00"), QStringLiteral("25"), false, {}},
        {QStringLiteral("late.mxf"), 7.0, QStringLiteral("00:08:59;00"), QStringLiteral("29.97"), true, {}},
        {QStringLiteral("late.wav"), 45.0, QStringLiteral("14:30:00:00"), QStringLiteral("23.976"), false, {}},
        {QStringLiteral("noisy.mov"), 7.0, QStringLiteral("23:59:58:00"), QStringLiteral("30"), false,
         QStringLiteral("1500")},
    };
    for (const Case &c : cases) {
        MediaRecipe r = recipe(c.name, c.name.endsWith(QLatin1String(".mxf")) ? 1 : 2, 0, c.start);
        r.seconds = c.leadIn + 3.0;
        r.fps = c.fps;
        r.dropFrame = c.dropFrame;
        r.withVideo = c.leadIn < 10.0;
        r.ltcgenArguments = QStringList{QStringLiteral("--lead-in"), QString::number(c.leadIn)};
        if (!c.noise.isEmpty())
            r.ltcgenArguments << QStringLiteral("--noise") << c.noise;
        if (c.name.endsWith(QLatin1String(".mov")))
            MADE(TestMedia::makeMov(dir, r));
        else if (c.name.endsWith(QLatin1String(".mxf")))
            MADE(TestMedia::makeMxf(dir, r));
        else
            MADE(TestMedia::makeLtcWav(dir, r));
    }
    MediaRecipe none = recipe(QStringLiteral("none.mov"));
    none.ltcStream = -1;
    none.seconds = 10.0;
    MADE(TestMedia::makeMov(dir, none));

    ControlHarness table(true);
    table.drop({QUrl::fromLocalFile(dir)});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }, 120000));
    QVERIFY(!QFileInfo::exists(workFolderPath()));

    auto verifyRows = [&] {
        for (const Case &c : cases) {
            const auto results = resultsOf(table, rowOf(table, c.name));
            QVERIFY2(results.size() == 1, qPrintable(c.name));
            const QJsonObject report = results.first().report;
            QVERIFY2(results.first().code == 0, qPrintable(QStringLiteral("%1: %2 %3").arg(c.name).arg(results.first().code).arg(QString::fromUtf8(QJsonDocument(report).toJson()))));
            QCOMPARE(report.value(QStringLiteral("Timecode")).toString(), c.start);
            // Sample 0 starts the label: its nominal count times 48000 / nominal rate.
            const int nominal = qRound(c.fps.toDouble());
            const QStringList f = c.start.split(QRegularExpression(QStringLiteral("[:;]")));
            const qint64 count = ((f[0].toLongLong() * 60 + f[1].toInt()) * 60 + f[2].toInt()) * nominal + f[3].toInt();
            QCOMPARE(qint64(report.value(QStringLiteral("SamplesSinceMidnight")).toDouble()), count * 48000 / nominal);
            // Within the window that first holds whole frames; noise may spoil
            // the first window for one algorithm, not the next one.
            const double foundAt = report.value(QStringLiteral("FoundAt")).toDouble(-1.0);
            QVERIFY2(foundAt >= c.leadIn && foundAt < c.leadIn + 2.0,
                     qPrintable(QStringLiteral("%1 found at %2").arg(c.name).arg(foundAt)));
        }
        const auto missing = resultsOf(table, rowOf(table, QStringLiteral("none.mov")));
        QCOMPARE(missing.size(), 1);
        QCOMPARE(missing.first().code, 205);
    };
    verifyRows();

    QVector<FileData> request;
    for (FileData row : table.rows) {
        row.audioTCReadRequested = true;
        request << row;
    }
    table.audioResults.clear();
    table.userRead(request, AudioTCOptions{ReadAlgorithm::Auto, -1, -1.0, false});
    QVERIFY(table.waitFor([&] { return table.readingFinishedCount == 1; }, 120000));
    verifyRows();
    QVERIFY(!QFileInfo::exists(workFolderPath()));
}

void TestControlImport::sourcesAreReadUntouchedAndLongNamesRead()
{
    const QString dir = media.filePath(QStringLiteral("untouched"));
    QVERIFY(QDir().mkpath(dir));
    const QString s16 = TestMedia::makeLtcWav(dir, recipe(QStringLiteral("s16.wav"), 2, 1,
                                                          QStringLiteral("01:00:00:00")));
    MADE(s16);
    struct Case { QString name; QStringList codec; bool direct; };
    const QList<Case> cases{
        {QStringLiteral("s16.wav"), {}, true},
        {QStringLiteral("s24 extensible.wav"),
         {"-c:a", "pcm_s24le", "-rf64", "never", "-write_bext", "0"}, true},
        {QStringLiteral("f32.wav"), {"-c:a", "pcm_f32le"}, true},
        {QStringLiteral("u8.wav"), {"-c:a", "pcm_u8"}, true},
        {QStringLiteral("alaw.wav"), {"-c:a", "pcm_alaw"}, false},
        {QStringLiteral("rf64.wav"), {"-c:a", "pcm_s16le", "-rf64", "always"}, false},
    };
    for (const Case &c : cases) {
        if (c.codec.isEmpty())
            continue;
        QVERIFY(TestMedia::runTool(QStringLiteral("ffmpeg"),
                                   QStringList{"-v", "error", "-y", "-i", s16} + c.codec
                                       + QStringList{dir + QLatin1Char('/') + c.name}).ok());
    }
    MediaRecipe longName = recipe(QString(248, QLatin1Char('n')) + QStringLiteral(".mov"), 2, 1,
                                  QStringLiteral("01:00:00:00"));
    MADE(TestMedia::makeMov(dir, longName));

    QMap<QString, QByteArray> before;
    for (const QString &name : QDir(dir).entryList(QDir::Files)) {
        QFile file(dir + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        before[name] = file.readAll();
    }

    ControlHarness table(true);
    table.drop({QUrl::fromLocalFile(dir)});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 1; }));
    QCOMPARE(table.rows.size(), cases.size() + 1);
    for (const FileData &row : table.rows) {
        QVERIFY2(row.hasAudioTC, qPrintable(row.fileName));
        QCOMPARE(row.audioTC, QStringLiteral("01:00:00:00"));
        bool direct = false;
        for (const Case &c : cases)
            direct = direct || (c.name == row.fileName && c.direct);
        QCOMPARE(DecodeJob::readsSourceDirectly(row), direct);
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        QFile file(dir + QLatin1Char('/') + it.key());
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(it.key()));
        QVERIFY2(file.readAll() == it.value(), qPrintable(it.key()));
    }
    QVERIFY(!QFileInfo::exists(workFolderPath()));
}

void TestControlImport::importAndUserReadOverlappingBothEnd()
{
    const QString dir = media.filePath(QStringLiteral("overlap"));
    QVERIFY(QDir().mkpath(dir));
    for (int i = 0; i < 3; ++i)
        MADE(TestMedia::makeLtcWav(dir, recipe(QStringLiteral("in%1.wav").arg(i), 1)));
    const QString other = TestMedia::makeLtcWav(media.path(), recipe(QStringLiteral("other.wav"), 1, 0,
                                                                   QStringLiteral("05:00:00:00")));
    MADE(other);
    FileData userRow = TestMedia::probedRecord(other, 50);
    userRow.audioTCReadRequested = true;

    ControlHarness table(true);
    // The user's read arrives while the import's probes are still out.
    table.drop({QUrl::fromLocalFile(dir)});
    table.userRead({userRow}, AudioTCOptions{});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 1
                                       && table.readingFinishedCount == 1; }));
    QVERIFY(table.settle());
    QCOMPARE(table.importReadyCount, 1);
    QCOMPARE(table.readingFinishedCount, 1);
    QCOMPARE(table.audioResults.size(), 4);
    verifyProgress(table.importProgress, 3 * 3 + 2);
    const auto own = resultsOf(table, 50);
    QCOMPARE(own.size(), 1);
    QCOMPARE(own.first().report.value(QStringLiteral("Timecode")).toString(),
             QStringLiteral("05:00:00:00"));

    // The next import is a batch of its own again; a file the table holds is
    // not read again, and an import of nothing else ends all the same.
    table.importProgress.clear();
    table.drop({QUrl::fromLocalFile(dir + QStringLiteral("/in0.wav")), QUrl::fromLocalFile(other)});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 2; }));
    verifyProgress(table.importProgress, 3);
    const int steps = table.importProgress.size();
    table.drop({QUrl::fromLocalFile(dir)});
    QVERIFY(table.waitFor([&] { return table.importReadyCount == 3; }));
    QCOMPARE(table.importProgress.size(), steps);
}

void TestControlImport::overlappingReadsKeepTheirOwnOptions_data()
{
    QTest::addColumn<int>("order");
    QTest::newRow("user read, then automatic read") << 0;
    QTest::newRow("automatic read, then user read") << 1;
    QTest::newRow("user read, then user read") << 2;
}

// Clips that need an extraction, the second request taken while the first is
// still extracting: each file must still be decoded with its own request's options.
void TestControlImport::overlappingReadsKeepTheirOwnOptions()
{
    QFETCH(int, order);
    const QString dir = media.filePath(QStringLiteral("own options %1").arg(order));
    QVERIFY(QDir().mkpath(dir));
    const QString userMov = TestMedia::makeMov(dir, recipe(QStringLiteral("user.mov")));
    const QString otherMov = TestMedia::makeMov(dir, recipe(QStringLiteral("other.mov")));
    MADE(userMov);
    MADE(otherMov);
    const FileData userRow = TestMedia::probedRecord(userMov, 3);
    const FileData otherRow = TestMedia::probedRecord(otherMov, 7);
    AudioTCOptions options;
    options.channel = 5; // beyond a stereo file: the decoder says so (202)

    ControlHarness table;
    const bool automatic = order < 2;
    if (automatic) { // the automatic read of an import: counted by the drop and the probe
        table.drop({QUrl::fromLocalFile(otherRow.filePath)});
        table.probe(otherRow, otherRow.fileNumber);
    }
    const auto readOther = [&] {
        if (automatic)
            table.initRead(otherRow, otherRow.fileNumber);
        else
            table.userRead({otherRow}, AudioTCOptions());
    };
    if (order == 1)
        readOther();
    table.userRead({userRow}, options);
    if (order != 1)
        readOther();
    QVERIFY(table.waitFor([&] { return table.importReadyCount == int(automatic) && table.readingFinishedCount == 1; }));
    QVERIFY(table.settle());
    QCOMPARE(table.audioResults.size(), 2);
    QCOMPARE(resultsOf(table, userRow.fileNumber).size(), 1);
    QCOMPARE(resultsOf(table, userRow.fileNumber).first().code, 202);
    QCOMPARE(resultsOf(table, otherRow.fileNumber).size(), 1);
    QCOMPARE(resultsOf(table, otherRow.fileNumber).first().code, 0);
}

QTEST_GUILESS_MAIN(TestControlImport)
#include "tst_control_import.moc"
