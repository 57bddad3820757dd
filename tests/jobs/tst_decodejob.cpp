// The decode job: real Pelbrook runs on generated signals, among them the
// recorder failures that only a later algorithm reads. The order of the
// algorithms, argument by argument, is proven with a fake decoder in tst_jobs.
#include "DecodeJob.h"
#include "JobWait.h"
#include "MetaTypes.h"
#include "TestMedia.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace TestMedia;

namespace {

struct ReadOutcome
{
    int results = 0;
    QJsonObject report;
    int code = -1;
    int runs = 0;
};

// Reads with settings when `options` is given, automatically otherwise.
ReadOutcome readThroughJob(const QString &wav, bool preferSlope, const AudioTCOptions *options = nullptr)
{
    DecodeRequest request;
    request.wavPath = wav;
    request.preferSlope = preferSlope;
    request.readRequested = options != nullptr;
    ReadOutcome outcome;
    outcome.results = runToEnd(new DecodeJob(request, options ? *options : AudioTCOptions()),
                               [&outcome](DecodeJob *job) {
                                   outcome.report = job->report();
                                   outcome.code = job->resultCode();
                                   outcome.runs = job->runsStarted();
                               });
    return outcome;
}

AudioTCOptions options(int algorithm, int channel = -1)
{
    AudioTCOptions o;
    o.readingAlgorithm = ReadAlgorithm(algorithm);
    o.channel = channel;
    return o;
}

} // namespace

class DecodeJobTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void decoderErrorIsANormalResult();

    void automaticReadRetries_data();
    void automaticReadRetries();

private:
    QString signal(const QString &name, const QStringList &ltcgenArguments, int channels = 1, int ltcChannel = 0);

    QTemporaryDir dir;
};

void DecodeJobTest::initTestCase()
{
    registerMetaTypes();
    QVERIFY(dir.isValid());
}

QString DecodeJobTest::signal(const QString &name, const QStringList &ltcgenArguments, int channels, int ltcChannel)
{
    MediaRecipe recipe = TestMedia::recipe(name);
    recipe.seconds = 3.0;
    recipe.channels = channels;
    recipe.ltcChannel = ltcChannel;
    recipe.ltcgenArguments = ltcgenArguments;
    const QString wav = makeLtcWav(dir.path(), recipe);
    if (wav.isEmpty())
        qWarning("%s", qPrintable(lastError()));
    return wav;
}

void DecodeJobTest::decoderErrorIsANormalResult()
{
    const QString wav = signal("stereo.wav", {}, 2, 0);
    QVERIFY(!wav.isEmpty());
    // Channel 5 of a stereo file: 202, passed on with its report, not retried.
    const AudioTCOptions outOfRange = options(0, 5);
    const ReadOutcome outcome = readThroughJob(wav, false, &outOfRange);
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.code, 202);
    QCOMPARE(outcome.report.value("ErrorNo").toInt(), 202);
    QCOMPARE(outcome.runs, 1);

    const ReadOutcome missing = readThroughJob(QDir(dir.path()).filePath("gone_1_0.wav"), false);
    QCOMPARE(missing.results, 1);
    QCOMPARE(missing.code, 201);
    QCOMPARE(missing.runs, 1);
}

void DecodeJobTest::automaticReadRetries_data()
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

void DecodeJobTest::automaticReadRetries()
{
    QFETCH(QStringList, ltcgenArguments);
    QFETCH(QString, foundBy);
    QFETCH(int, runs);
    const QString wav = signal(QStringLiteral("rec_%1_0.wav").arg(QTest::currentDataTag()).replace(' ', '-'),
                               ltcgenArguments + QStringList{"--start", "09:41:07:19"});
    QVERIFY(!wav.isEmpty());

    for (bool withSettings : {false, true}) {
        const AudioTCOptions automatic = options(0);
        const ReadOutcome outcome = readThroughJob(wav, false, withSettings ? &automatic : nullptr);
        QCOMPARE(outcome.results, 1);
        QCOMPARE(outcome.code, 0);
        QCOMPARE(outcome.report.value("Timecode").toString(), QStringLiteral("09:41:07:19"));
        QCOMPARE(outcome.report.value("ReadingAlgorithm").toString(), foundBy);
        QCOMPARE(outcome.runs, runs);
    }

    // A chosen algorithm runs once, whether it reads the signal or not.
    const AudioTCOptions low = options(1);
    const ReadOutcome explicitLow = readThroughJob(wav, false, &low);
    QCOMPARE(explicitLow.code, 205);
    QCOMPARE(explicitLow.runs, 1);
    const AudioTCOptions found = options(QStringList{"LOW", "MID", "HIGH", "SLOPE"}.indexOf(foundBy) + 1);
    const ReadOutcome explicitFound = readThroughJob(wav, true, &found);
    QCOMPARE(explicitFound.report.value("ReadingAlgorithm").toString(), foundBy);
    QCOMPARE(explicitFound.runs, 1);
}

QTEST_GUILESS_MAIN(DecodeJobTest)
#include "tst_decodejob.moc"
