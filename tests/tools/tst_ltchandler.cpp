// LTCHandler: real Pelbrook runs on generated signals, among them the recorder
// failures that only a later algorithm reads.
#include "FFMpegHandler.h"
#include "LTCHandler.h"
#include "MetaTypes.h"
#include "TestMedia.h"
#include "TestWait.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestMedia;

namespace {

struct ReadOutcome
{
    int results = 0;
    QJsonObject report;
    QString filePath;
    int exitCode = -1;
    int runs = 0;
};

// Reads with settings when `options` is given, without them otherwise.
ReadOutcome readThroughHandler(const QString &wav, bool preferSlope, const AudioTCOptions *options = nullptr)
{
    LTCHandler handler;
    QSignalSpy spy(&handler, &LTCHandler::pelbrookResult);
    if (options)
        handler.readTimecode(wav, *options, preferSlope);
    else
        handler.readTimecode(wav, preferSlope);
    ReadOutcome outcome;
    if (!spy.wait(TestWait::toolWorkMs))
        return outcome;
    TestWait::drainEvents();
    outcome.results = spy.count();
    if (spy.at(0).at(0).value<LTCHandler *>() != &handler)
        outcome.results = -1;
    outcome.report = spy.at(0).at(1).toJsonObject();
    outcome.filePath = spy.at(0).at(2).toString();
    outcome.exitCode = spy.at(0).at(3).toInt();
    outcome.runs = handler.runsStarted();
    return outcome;
}

AudioTCOptions options(int algorithm, int channel = -1, double frameRate = -1.0)
{
    AudioTCOptions o;
    o.readingAlgorithm = ReadAlgorithm(algorithm);
    o.channel = channel;
    o.frameRate = frameRate;
    return o;
}

} // namespace

class LTCHandlerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void readsExtractedStream();
    void decoderErrorIsANormalResult();

    void automaticReadRetries_data();
    void automaticReadRetries();
    void noLtcTriesEachAlgorithmOnce();
    void preferSlopeTriesSlopeFirst();
    void retriesKeepChannelAndRate();

private:
    QString signal(const QString &name, const QStringList &ltcgenArguments, int channels = 1, int ltcChannel = 0);

    QTemporaryDir dir;
};

void LTCHandlerTest::initTestCase()
{
    registerMetaTypes();
    QVERIFY(dir.isValid());
}

QString LTCHandlerTest::signal(const QString &name, const QStringList &ltcgenArguments, int channels, int ltcChannel)
{
    MediaRecipe recipe;
    recipe.fileName = name;
    recipe.seconds = 3.0;
    recipe.channels = channels;
    recipe.ltcChannel = ltcChannel;
    recipe.ltcgenArguments = ltcgenArguments;
    const QString wav = makeLtcWav(dir.path(), recipe);
    if (wav.isEmpty())
        qWarning("%s", qPrintable(lastError()));
    return wav;
}

void LTCHandlerTest::readsExtractedStream()
{
    // The road of the import: a MOV's LTC stream extracted by FFMpegHandler, then read.
    MediaRecipe recipe;
    recipe.fileName = QStringLiteral("take 7.mov");
    recipe.audioStreams = 2;
    recipe.ltcStream = 1;
    recipe.ltcChannel = 1;
    recipe.ltcStart = QStringLiteral("14:59:58:12");
    const QString mov = makeMov(dir.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));
    FileData record;
    record.filePath = mov;
    record.fileName = QStringLiteral("take 7.mov");
    record.duration = 4.0;
    record.audioStreamIndexes = QByteArray("\x02", 1);
    record.fileNumber = 3;
    QTemporaryDir work;
    FFMpegHandler extractor;
    QSignalSpy extracted(&extractor, &FFMpegHandler::ffmpegAudioExtractResult);
    extractor.ffmpegAudioExtract(record, work.path());
    QVERIFY(extracted.wait(TestWait::toolWorkMs));
    QCOMPARE(extracted.at(0).at(2).toInt(), 0);

    const QString wav = FFMpegHandler::tempWavPath(work.path(), 2, 3);
    const ReadOutcome outcome = readThroughHandler(wav, false);
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.filePath, wav);
    QCOMPARE(outcome.report.value("Timecode").toString(), QStringLiteral("14:59:58:12"));
    QCOMPARE(outcome.report.value("ChannelFound").toInt(), 1);
    QCOMPARE(outcome.runs, 1);
}

void LTCHandlerTest::decoderErrorIsANormalResult()
{
    const QString wav = signal("stereo.wav", {}, 2, 0);
    QVERIFY(!wav.isEmpty());
    // Channel 5 of a stereo file: 202, passed on with its report, not retried.
    const AudioTCOptions outOfRange = options(0, 5);
    const ReadOutcome outcome = readThroughHandler(wav, false, &outOfRange);
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.exitCode, 202);
    QCOMPARE(outcome.report.value("ErrorNo").toInt(), 202);
    QCOMPARE(outcome.runs, 1);

    const ReadOutcome missing = readThroughHandler(QDir(dir.path()).filePath("gone_1_0.wav"), false);
    QCOMPARE(missing.results, 1);
    QCOMPARE(missing.exitCode, 201);
    QCOMPARE(missing.runs, 1);
}

void LTCHandlerTest::automaticReadRetries_data()
{
    QTest::addColumn<QStringList>("ltcgenArguments");
    QTest::addColumn<QString>("foundBy");
    QTest::addColumn<int>("runs");

    // LTC through an AC-coupled input arrives as short pulses at each transition,
    // so the level between them is whatever offset or noise the recorder adds.
    QTest::newRow("pulses on a DC offset of 300") << QStringList{"--pulses", "--level", "0.5", "--dc", "300"} << "HIGH" << 2;
    QTest::newRow("noise floor -41 dBFS under -10 dBFS pulses")
        << QStringList{"--pulses", "--level", "0.316", "--noise", "300"} << "HIGH" << 2;
    QTest::newRow("mic-level pulses over noise") << QStringList{"--pulses", "--level", "0.1", "--noise", "300"} << "MID" << 3;
    QTest::newRow("pulses on a DC offset of 5000") << QStringList{"--pulses", "--level", "0.5", "--dc", "5000"} << "SLOPE" << 4;
}

void LTCHandlerTest::automaticReadRetries()
{
    QFETCH(QStringList, ltcgenArguments);
    QFETCH(QString, foundBy);
    QFETCH(int, runs);
    const QString wav = signal(QStringLiteral("rec_%1_0.wav").arg(QTest::currentDataTag()).replace(' ', '-'),
                               ltcgenArguments + QStringList{"--start", "09:41:07:19"});
    QVERIFY(!wav.isEmpty());

    for (bool withSettings : {false, true}) {
        const AudioTCOptions automatic = options(0);
        const ReadOutcome outcome = readThroughHandler(wav, false, withSettings ? &automatic : nullptr);
        QCOMPARE(outcome.results, 1);
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(outcome.report.value("Timecode").toString(), QStringLiteral("09:41:07:19"));
        QCOMPARE(outcome.report.value("ReadingAlgorithm").toString(), foundBy);
        QCOMPARE(outcome.runs, runs);
    }

    // A chosen algorithm runs once, whether it reads the signal or not.
    const AudioTCOptions low = options(1);
    const ReadOutcome explicitLow = readThroughHandler(wav, false, &low);
    QCOMPARE(explicitLow.exitCode, 205);
    QCOMPARE(explicitLow.runs, 1);
    const AudioTCOptions found = options(QStringList{"LOW", "MID", "HIGH", "SLOPE"}.indexOf(foundBy) + 1);
    const ReadOutcome explicitFound = readThroughHandler(wav, true, &found);
    QCOMPARE(explicitFound.report.value("ReadingAlgorithm").toString(), foundBy);
    QCOMPARE(explicitFound.runs, 1);
}

void LTCHandlerTest::noLtcTriesEachAlgorithmOnce()
{
    MediaRecipe recipe;
    recipe.fileName = QStringLiteral("tones_1_0.wav");
    recipe.seconds = 3.0;
    recipe.ltcStream = -1;
    const QString wav = makeLtcWav(dir.path(), recipe);
    QVERIFY2(!wav.isEmpty(), qPrintable(lastError()));
    for (bool preferSlope : {false, true}) {
        const ReadOutcome outcome = readThroughHandler(wav, preferSlope);
        QCOMPARE(outcome.results, 1);
        QCOMPARE(outcome.exitCode, 205);
        QCOMPARE(outcome.report.value("ErrorNo").toInt(), 205);
        QCOMPARE(outcome.runs, 4);
    }
}

void LTCHandlerTest::preferSlopeTriesSlopeFirst()
{
    const QString clean = signal("gopro.wav", {});
    QVERIFY(!clean.isEmpty());
    const ReadOutcome first = readThroughHandler(clean, true);
    QCOMPARE(first.exitCode, 0);
    QCOMPARE(first.report.value("ReadingAlgorithm").toString(), QStringLiteral("SLOPE"));
    QCOMPARE(first.runs, 1);

    // SLOPE and HIGH miss mic-level pulses, MID reads them: the third run.
    const QString faint = signal("gopro-faint.wav", {"--pulses", "--level", "0.1", "--noise", "300"});
    QVERIFY(!faint.isEmpty());
    const AudioTCOptions automatic = options(0);
    const ReadOutcome third = readThroughHandler(faint, true, &automatic);
    QCOMPARE(third.exitCode, 0);
    QCOMPARE(third.report.value("ReadingAlgorithm").toString(), QStringLiteral("MID"));
    QCOMPARE(third.runs, 3);
}

void LTCHandlerTest::retriesKeepChannelAndRate()
{
    // LTC that HIGH reads on channel 0, a tone on channel 1.
    const QString wav = signal("two.wav", {"--pulses", "--level", "0.5", "--dc", "300"}, 2, 0);
    QVERIFY(!wav.isEmpty());
    const AudioTCOptions toneChannel = options(0, 1);
    const ReadOutcome onTone = readThroughHandler(wav, false, &toneChannel);
    QCOMPARE(onTone.exitCode, 205);
    QCOMPARE(onTone.runs, 4);

    // A given rate is taken as given: the HIGH run reports 30, not the detected 25.
    const AudioTCOptions givenRate = options(0, 0, 30.0);
    const ReadOutcome atThirty = readThroughHandler(wav, false, &givenRate);
    QCOMPARE(atThirty.exitCode, 0);
    QCOMPARE(atThirty.report.value("ReadingAlgorithm").toString(), QStringLiteral("HIGH"));
    QCOMPARE(atThirty.report.value("FrameRateFound").toDouble(), 30.0);
    QCOMPARE(atThirty.runs, 2);
}

QTEST_GUILESS_MAIN(LTCHandlerTest)
#include "tst_ltchandler.moc"
