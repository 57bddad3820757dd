// The media makers that every suite relies on: what they promise is in the files.
#include "TestMedia.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestMedia;

namespace {

QJsonArray streamsOfType(const QJsonObject &probeJson, const QString &type)
{
    QJsonArray result;
    for (const QJsonValue &stream : probeJson.value(QStringLiteral("streams")).toArray()) {
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == type)
            result.append(stream);
    }
    return result;
}

} // namespace

class TestMediaTest : public QObject
{
    Q_OBJECT

private slots:
    void movCarriesTimecodeTrackLtcAndTones();
    void mxfHasMonoStreams();
    void otherContainers();
    void ltcCheckTellsLtcFromTone();

private:
    QTemporaryDir dir;
};

void TestMediaTest::movCarriesTimecodeTrackLtcAndTones()
{
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("two streams ä.mov"));
    recipe.audioStreams = 2;
    recipe.ltcStream = 1;
    recipe.ltcChannel = 1;
    recipe.fileTimecode = QStringLiteral("01:02:03:04");
    const QString mov = makeMov(dir.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));

    QCOMPARE(timecodesOf(probe(mov)), QStringList({recipe.fileTimecode, recipe.fileTimecode})); // video and tmcd
    int rate = 0;
    const auto first = decodeAudio(mov, 0, &rate);
    QCOMPARE(rate, 48000);
    QCOMPARE(first.size(), 2);
    QVERIFY(qAbs(first[0].size() - 4 * 48000) < 1024);
    QVERIFY(hasTone(first[0], rate, toneFrequency(0, 0)));
    QVERIFY(hasTone(first[1], rate, toneFrequency(0, 1)));
    QVERIFY(!hasTone(first[1], rate, toneFrequency(0, 0)));

    const auto second = decodeAudio(mov, 1);
    QCOMPARE(second.size(), 2);
    QVERIFY(hasTone(second[0], rate, toneFrequency(1, 0)));
    QVERIFY(looksLikeLtc(second[1], rate));

    int exitCode = -1;
    const QJsonObject report = readLtc(mov, 1, 1, &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(report.value("Timecode").toString(), recipe.ltcStart);
    readLtc(mov, 1, 0, &exitCode);
    QCOMPARE(exitCode, 205);
}

void TestMediaTest::mxfHasMonoStreams()
{
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("card.mxf"));
    recipe.audioStreams = 4;
    recipe.channels = 1;
    recipe.ltcStream = 3;
    recipe.fileTimecode = QStringLiteral("10:00:00:00");
    const QString mxf = makeMxf(dir.path(), recipe);
    QVERIFY2(!mxf.isEmpty(), qPrintable(lastError()));
    const QJsonObject json = probe(mxf);
    QCOMPARE(json.value("format").toObject().value("format_name").toString(), QStringLiteral("mxf"));
    QCOMPARE(json.value("format").toObject().value("tags").toObject().value("timecode").toString(),
             QStringLiteral("10:00:00:00"));
    const QJsonArray audio = streamsOfType(json, QStringLiteral("audio"));
    QCOMPARE(audio.size(), 4);
    for (const QJsonValue &stream : audio)
        QCOMPARE(stream.toObject().value("channels").toInt(), 1);
    int rate = 0;
    const auto toneStream = decodeAudio(mxf, 2, &rate);
    QVERIFY(hasTone(toneStream.value(0), rate, toneFrequency(2, 0)));
    QVERIFY(looksLikeLtc(decodeAudio(mxf, 3).value(0), rate));
}

void TestMediaTest::otherContainers()
{
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("phone.mp4"));
    const QString mp4 = makeMp4(dir.path(), recipe);
    QVERIFY2(!mp4.isEmpty(), qPrintable(lastError()));
    QCOMPARE(streamsOfType(probe(mp4), QStringLiteral("audio"))[0].toObject().value("codec_name").toString(),
             QStringLiteral("aac"));

    recipe.fileName = QStringLiteral("00001.MTS");
    const QString mts = makeMts(dir.path(), recipe);
    QVERIFY2(!mts.isEmpty(), qPrintable(lastError()));
    QCOMPARE(probe(mts).value("format").toObject().value("format_name").toString(), QStringLiteral("mpegts"));

    const QString silent = makeClipWithoutAudio(dir.path(), QStringLiteral("silent.mov"), 2.0);
    QVERIFY2(!silent.isEmpty(), qPrintable(lastError()));
    const QJsonObject json = probe(silent);
    QCOMPARE(streamsOfType(json, QStringLiteral("audio")).size(), 0);
    QCOMPARE(json.value("format").toObject().value("duration").toString().toDouble(), 2.0);
}

void TestMediaTest::ltcCheckTellsLtcFromTone()
{
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("stereo.wav"), 2, 0);
    const QString wav = makeLtcWav(dir.path(), recipe);
    QVERIFY2(!wav.isEmpty(), qPrintable(lastError()));
    int rate = 0;
    const auto channels = decodeAudio(wav, 0, &rate);
    QCOMPARE(channels.size(), 2);
    QVERIFY(looksLikeLtc(channels[0], rate));
    QVERIFY(!looksLikeLtc(channels[1], rate));
    QVERIFY(!hasTone(channels[0], rate, toneFrequency(0, 1)));
    QVERIFY(toneShare(channels[0], rate, toneFrequency(0, 1)) < 0.1);
}

QTEST_GUILESS_MAIN(TestMediaTest)
#include "tst_testmedia.moc"
