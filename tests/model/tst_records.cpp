// The records' two readers against what the real tools print, and the one
// formatter of times and durations.
#include "ExportCheck.h"
#include "TestMedia.h"
#include "TimeText.h"

#include <QJsonDocument>
#include <QtTest>

using namespace TestMedia;

class RecordsTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    // A 29.97 QuickTime clip with two stereo streams, a drop-frame timecode
    // track and a creation time, probed as the export's check probes.
    void probeOfRealMedia()
    {
        MediaRecipe clip = recipe("clip.mov");
        clip.fps = "29.97";
        clip.audioStreams = 2;
        clip.fileTimecode = "01:00:00;00";
        clip.muxArguments = QStringList{"-metadata", "creation_time=2024-05-01T12:00:00.000000Z"};
        const QString mov = makeMov(dir.path(), clip);
        MADE(mov);
        const ToolRun run = runTool("ffprobe", ExportCheck::probeArguments(mov));
        const ProbeRecord probe = ProbeRecord::fromJson(QJsonDocument::fromJson(run.standardOutput).object());
        QVERIFY(probe.valid && probe.format.formatName.contains("mov"));
        QVERIFY(probe.format.hasDuration && qAbs(probe.format.duration - 4.0) < 0.1);
        QCOMPARE(probe.format.creationTime, QString("2024-05-01T12:00:00.000000Z"));
        QCOMPARE(probe.streams.size(), 4);
        const ProbeStream &video = probe.streams.at(0);
        QVERIFY(video.isVideo() && video.codecName == "mpeg4" && video.width == 160 && video.height == 120);
        QCOMPARE(QString("%1/%2").arg(video.rFrameRate.num).arg(video.rFrameRate.den), QString("30000/1001"));
        QVERIFY(video.avgFrameRate.sameRate(Fraction::fromText("60000/2002")));
        QCOMPARE(video.nbReadPackets, qint64(120));
        QCOMPARE(video.nbFrames, qint64(120));
        QVERIFY(video.hasStartTime && video.startTime == 0.0 && qAbs(video.duration - 4.0) < 0.1);
        for (int i : {1, 2}) {
            const ProbeStream &audio = probe.streams.at(i);
            QVERIFY(audio.isAudio() && audio.index == i && audio.codecName == "pcm_s16le");
            QVERIFY(audio.channels == 2 && audio.channelLayout == "stereo");
            QVERIFY(audio.sampleRate == 48000 && audio.bitsPerSample == 16);
        }
        QVERIFY(probe.streams.at(3).isTimecodeTrack() && probe.streams.at(3).hasTimecode);
        QCOMPARE(probe.streams.at(3).timecode, QString("01:00:00;00"));
        QVERIFY(!ProbeRecord::fromJson(QJsonObject()).valid);
    }

    // Pelbrook's reports of a 25 fps signal on the second channel: searched
    // for, forced to a rate the signal contradicts, and of a file without LTC.
    void decoderReports()
    {
        const QString wav = makeLtcWav(dir.path(), recipe("ltc.wav", 2, 1, "10:00:00:00"));
        MADE(wav);
        const auto read = [&](const QString &path, const QStringList &options) {
            const ToolRun run = runTool("Pelbrook", QStringList{path} + options);
            return AudioTCReading::fromReport(QJsonDocument::fromJson(run.standardOutput).object());
        };
        const AudioTCReading found = read(wav, {"-s0", "-aHIGH"});
        QVERIFY(found.isValid() && found.timecode == "10:00:00:00" && found.frameCount == 900000);
        // 10 hours of 48 kHz samples, within the millisecond the decoder's position allows.
        QVERIFY2(qAbs(found.samplesSinceMidnight - 1728000000LL) <= 48, qPrintable(QString::number(found.samplesSinceMidnight)));
        QVERIFY(found.frameRateFound == 25.0 && found.frameRateBase == 25 && !found.ntsc && !found.dropFrame);
        QVERIFY(found.channel == 1 && found.algorithm == "HIGH" && found.errorNumber == 0);
        QVERIFY(found.foundAt >= 0.0 && found.foundAt < 0.1 && !found.contradictsSignal());
        QVERIFY(read(wav, {"-f25"}).foundAt < 0.0);
        QVERIFY(!read(wav, {"-f25"}).contradictsSignal());
        QCOMPARE(read(wav, {"-f24"}).rateContradiction(), QString("read at 24.00 fps, but the signal runs at 25.00 fps"));

        MediaRecipe silent = recipe("silent.wav");
        silent.ltcStream = -1;
        const QString none = makeLtcWav(dir.path(), silent);
        MADE(none);
        const AudioTCReading missing = read(none, {});
        QVERIFY(missing.errorNumber == 205 && !missing.isValid());
    }

    void timeTexts()
    {
        // Table durations: cut to the second, hours beyond a day, never a non-time.
        QCOMPARE(TimeText::duration(86399.99), QString("23:59:59"));
        QCOMPARE(TimeText::duration(360000.0), QString("100:00:00"));
        QCOMPARE(TimeText::duration(qQNaN()), QString("00:00:00"));
        QCOMPARE(TimeText::duration(1e300), QString("00:00:00"));
        // Report durations to the nearest millisecond; WAV time references with them cut.
        QCOMPARE(TimeText::durationMillis(3725.9996), QString("01:02:06.000"));
        QCOMPARE(TimeText::samplePosition(4320000000LL, 48000), QString("25:00:00.000"));
        QCOMPARE(TimeText::samplePosition(47999, 48000), QString("00:00:00.999"));
        QCOMPARE(TimeText::label(3600, 2, true), QString("01:00:00;02"));
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
