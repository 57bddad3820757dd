// Probe and audio extraction through FFMpegHandler, with the real ffprobe and
// ffmpeg on generated media (fake tools only to hang or to print slowly).
#include "FFMpegHandler.h"
#include "FakeToolDir.h"
#include "MetaTypes.h"
#include "TestMedia.h"
#include "TestWait.h"
#include "ToolProcess.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#endif

using namespace TestMedia;

namespace {

struct ProbeOutcome
{
    int results = 0;
    QJsonObject json;
    uint fileNumber = 0;
    int exitCode = -1;
};

ProbeOutcome probeThroughHandler(const QString &path, uint fileNumber)
{
    FFMpegHandler handler;
    QSignalSpy spy(&handler, &FFMpegHandler::ffprobeResult);
    handler.ffprobeFile(path, fileNumber);
    ProbeOutcome outcome;
    if (!spy.wait(TestWait::toolWorkMs))
        return outcome;
    TestWait::drainEvents();
    outcome.results = spy.count();
    outcome.json = spy.at(0).at(1).toJsonObject();
    outcome.fileNumber = spy.at(0).at(2).toUInt();
    outcome.exitCode = spy.at(0).at(3).toInt();
    if (spy.at(0).at(0).value<FFMpegHandler *>() != &handler)
        outcome.results = -1;
    return outcome;
}

double durationOf(const QString &path)
{
    return probe(path).value("format").toObject().value("duration").toString().toDouble();
}

QStringList capturedWarnings;

void captureWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        capturedWarnings << message;
}

} // namespace

class FFMpegHandlerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void probeMovWithTimecodeTrack();
    void probeNonMediaFile();
    void probeOutputInPieces();
    void probeStartFailureReportedOnce();

    void extractArguments_data();
    void extractArguments();
    void extractTwoStreamsCutToThreeSeconds();
    void extractShortFileWhole();
    void extractStartFailureReportedOnce();

    void destroyedWhileToolRunsLeavesNoProcess_data();
    void destroyedWhileToolRunsLeavesNoProcess();

private:
    QTemporaryDir dir;
    QString mov;
};

void FFMpegHandlerTest::initTestCase()
{
    registerMetaTypes();
    QVERIFY(dir.isValid());
    MediaRecipe recipe;
    recipe.fileName = QStringLiteral("take one ü.A01.mov");
    recipe.seconds = 4.0;
    recipe.audioStreams = 2;
    recipe.ltcStream = 1;
    recipe.ltcChannel = 1;
    recipe.fileTimecode = QStringLiteral("10:00:00:00");
    mov = makeMov(dir.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));
}

void FFMpegHandlerTest::probeMovWithTimecodeTrack()
{
    const ProbeOutcome outcome = probeThroughHandler(mov, 7);
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.fileNumber, 7u);
    // The probe's whole JSON (its reading is the records' own test): the file's timecode track in it.
    const FileData probed = FileData::fromProbe(ProbeRecord::fromJson(outcome.json));
    QCOMPARE(probed.fileTC, QStringLiteral("10:00:00:00"));
    QCOMPARE(probed.audioStreamIndexes.size(), 2);
}

void FFMpegHandlerTest::probeNonMediaFile()
{
    const QString text = makeNonMediaFile(dir.path(), QStringLiteral("notes.mov"));
    QVERIFY2(!text.isEmpty(), qPrintable(lastError()));
    const ProbeOutcome outcome = probeThroughHandler(text, 11);
    QCOMPARE(outcome.results, 1);
    QVERIFY(outcome.exitCode != 0);
    QCOMPARE(outcome.fileNumber, 11u);
    QVERIFY(outcome.json.value("streams").toArray().isEmpty());

    const QString corrupt = makeCorruptFile(dir.path(), QStringLiteral("cut off.mov"));
    QVERIFY2(!corrupt.isEmpty(), qPrintable(lastError()));
    const ProbeOutcome cut = probeThroughHandler(corrupt, 12);
    QCOMPARE(cut.results, 1);
    QVERIFY(cut.exitCode != 0);
    QVERIFY(cut.json.value("streams").toArray().isEmpty());
}

void FFMpegHandlerTest::probeOutputInPieces()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    // The report comes in three writes with pauses between them, and the fake
    // records the arguments it got, one per line.
    FakeToolDir fakes;
    const QString argsFile = QDir(fakes.path()).filePath("args.txt");
    QVERIFY(fakes.add("ffprobe",
                      "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + argsFile.toUtf8() + "'\n"
                      "printf '{\"format\": {\"format_name\": \"mov,mp4\", '\n"
                      "sleep 0.3\n"
                      "printf '\"duration\": \"12.5\"}, \"streams\": [{\"codec_type\": \"au'\n"
                      "sleep 0.3\n"
                      "printf 'dio\"}]}'\n"));
    const QString name = QStringLiteral("/media/card 1/Ø clip \"final\".mov");
    const ProbeOutcome outcome = probeThroughHandler(name, 4);
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.json.value("format").toObject().value("duration").toString(), QStringLiteral("12.5"));
    QCOMPARE(outcome.json.value("streams").toArray()[0].toObject().value("codec_type").toString(), QStringLiteral("audio"));

    QFile recorded(argsFile);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    const QStringList args = QString::fromUtf8(recorded.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(args, (QStringList{"-v", "quiet", "-print_format", "json", "-show_format", "-show_streams", name}));
}

void FFMpegHandlerTest::probeStartFailureReportedOnce()
{
    FakeToolDir fakes;
    fakes.hideSystemTools();
    const ProbeOutcome outcome = probeThroughHandler(mov, 9);
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.exitCode, ToolProcess::startFailedExitCode);
    QCOMPARE(outcome.fileNumber, 9u);
    QVERIFY(outcome.json.isEmpty());
}

void FFMpegHandlerTest::extractArguments_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QByteArray>("streams");
    QTest::addColumn<int>("fileNumber");
    QTest::addColumn<QStringList>("expected");

    const QString t = QStringLiteral("/tmp/work/clip");
    const QChar sep = QDir::separator();
    auto wav = [&](const QString &name) { return t + sep + name; };

    QTest::newRow("3.0 s is cut") << "clip.mov" << 3.0 << QByteArray("\x01", 1) << 7
        << QStringList{"-y", "-guess_layout_max", "0", "-ss", "0", "-i", "/media/clip.mov",
                       "-t", "3", "-map", "0:1", wav("7_1.wav")};
    QTest::newRow("2.99 s is whole") << "clip.mov" << 2.99 << QByteArray("\x01", 1) << 7
        << QStringList{"-y", "-guess_layout_max", "0", "-i", "/media/clip.mov", "-map", "0:1", wav("7_1.wav")};
    QTest::newRow("unknown duration is whole") << "clip.mov" << 0.0 << QByteArray("\x02", 1) << 0
        << QStringList{"-y", "-guess_layout_max", "0", "-i", "/media/clip.mov", "-map", "0:2", wav("0_2.wav")};
    QTest::newRow("two streams") << "a.b.c.mov" << 60.5 << QByteArray("\x01\x0c", 2) << 12
        << QStringList{"-y", "-guess_layout_max", "0", "-ss", "0", "-i", "/media/clip.mov",
                       "-t", "3", "-map", "0:1", wav("12_1.wav"), "-t", "3", "-map", "0:12", wav("12_12.wav")};
    QTest::newRow("name of any length is left out") << QString(248, QLatin1Char('n')) + ".mov" << 1.0 << QByteArray("\x00", 1) << 3
        << QStringList{"-y", "-guess_layout_max", "0", "-i", "/media/clip.mov", "-map", "0:0", wav("3_0.wav")};
    QTest::newRow("no streams still runs") << "clip.mov" << 10.0 << QByteArray() << 3
        << QStringList{"-y", "-guess_layout_max", "0", "-ss", "0", "-i", "/media/clip.mov"};
}

void FFMpegHandlerTest::extractArguments()
{
    QFETCH(QString, fileName);
    QFETCH(double, duration);
    QFETCH(QByteArray, streams);
    QFETCH(int, fileNumber);
    QFETCH(QStringList, expected);

    FileData record;
    record.filePath = QStringLiteral("/media/clip.mov");
    record.fileName = fileName;
    record.duration = duration;
    record.audioStreamIndexes = streams;
    record.fileNumber = fileNumber;
    QCOMPARE(FFMpegHandler::audioExtractArguments(record, QStringLiteral("/tmp/work/clip")), expected);
}

void FFMpegHandlerTest::extractTwoStreamsCutToThreeSeconds()
{
    QTemporaryDir work;
    const FileData record = probedRecord(mov, 5);
    QCOMPARE(record.audioStreamIndexes, QByteArray("\x01\x02", 2));

    FFMpegHandler handler;
    QSignalSpy spy(&handler, &FFMpegHandler::ffmpegAudioExtractResult);
    handler.ffmpegAudioExtract(record, work.path());
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(2).toInt(), 0);
    const FileData back = spy.at(0).at(1).value<FileData>();
    QCOMPARE(back.filePath, record.filePath);
    QCOMPARE(back.fileNumber, 5);
    QCOMPARE(back.probe.streams.size(), record.probe.streams.size());

    // Exactly one WAV per stream, named after the row and stream.
    QCOMPARE(QDir(work.path()).entryList(QDir::Files, QDir::Name),
             (QStringList{"5_1.wav", "5_2.wav"}));
    const QString first = QDir(work.path()).filePath("5_1.wav");
    const QString second = QDir(work.path()).filePath("5_2.wav");
    QVERIFY(qAbs(durationOf(first) - 3.0) < 0.01);
    QVERIFY(qAbs(durationOf(second) - 3.0) < 0.01);

    // Each file holds its own stream with all its channels.
    int rate = 0;
    const auto tones = decodeAudio(first, 0, &rate);
    QCOMPARE(rate, 48000);
    QCOMPARE(tones.size(), 2);
    QVERIFY(hasTone(tones[0], rate, toneFrequency(0, 0)));
    QVERIFY(hasTone(tones[1], rate, toneFrequency(0, 1)));
    const auto ltc = decodeAudio(second, 0);
    QCOMPARE(ltc.size(), 2);
    QVERIFY(hasTone(ltc[0], rate, toneFrequency(1, 0)));
    QVERIFY(looksLikeLtc(ltc[1], rate));
}

void FFMpegHandlerTest::extractShortFileWhole()
{
    MediaRecipe recipe;
    recipe.fileName = QStringLiteral("short.mov");
    recipe.seconds = 2.5;
    recipe.channels = 1;
    const QString clip = makeMov(dir.path(), recipe);
    QVERIFY2(!clip.isEmpty(), qPrintable(lastError()));
    QTemporaryDir work;
    FFMpegHandler handler;
    QSignalSpy spy(&handler, &FFMpegHandler::ffmpegAudioExtractResult);
    handler.ffmpegAudioExtract(probedRecord(clip, 0), work.path());
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    QCOMPARE(spy.at(0).at(2).toInt(), 0);
    const QString wav = QDir(work.path()).filePath("0_1.wav");
    QVERIFY(qAbs(durationOf(wav) - 2.5) < 0.01);
}

void FFMpegHandlerTest::extractStartFailureReportedOnce()
{
    FakeToolDir fakes;
    fakes.hideSystemTools();
    FFMpegHandler handler;
    QSignalSpy spy(&handler, &FFMpegHandler::ffmpegAudioExtractResult);
    FileData record;
    record.filePath = mov;
    record.fileName = QStringLiteral("clip.mov");
    record.fileNumber = 4;
    record.audioStreamIndexes = QByteArray("\x01", 1);
    handler.ffmpegAudioExtract(record, dir.path());
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(2).toInt(), ToolProcess::startFailedExitCode);
    QCOMPARE(spy.at(0).at(1).value<FileData>().fileNumber, 4);
}

void FFMpegHandlerTest::destroyedWhileToolRunsLeavesNoProcess_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("probe") << "probe";
    QTest::newRow("extraction") << "extraction";
    QTest::newRow("export") << "export";
}

// As when the program quits while tools run: no process and no file left;
// only an export still says once that it did not finish.
void FFMpegHandlerTest::destroyedWhileToolRunsLeavesNoProcess()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#else
    QFETCH(QString, operation);
    FakeToolDir fakes;
    QVERIFY(fakes.add(operation == "probe" ? "ffprobe" : "ffmpeg", "exec sleep 30"));
    QTemporaryDir out;
    auto *handler = new FFMpegHandler;
    QSignalSpy probeSpy(handler, &FFMpegHandler::ffprobeResult);
    QSignalSpy extractSpy(handler, &FFMpegHandler::ffmpegAudioExtractResult);
    QSignalSpy exportSpy(handler, &FFMpegHandler::ffmpegExportResult);
    if (operation == "probe")
        handler->ffprobeFile(mov, 1);
    else if (operation == "extraction")
        handler->ffmpegAudioExtract(probedRecord(mov, 1), out.path());
    else
        handler->ffmpegExport(probedRecord(mov, 1), ExportOptions{out.path(), VideoExportType::QuickTimePassThrough, AudioExportType::Pcm16, false, true, 15});
    qint64 pid = 0;
    for (QProcess *process : handler->findChildren<QProcess *>()) {
        if (process->waitForStarted(5000))
            pid = process->processId();
    }
    QVERIFY(pid > 0);
    QVERIFY(TestWait::processRunning(pid));
    // Qt's own last resort would warn; the handler ends its tools itself.
    capturedWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureWarning);
    delete handler;
    qInstallMessageHandler(previous);
    QVERIFY2(capturedWarnings.isEmpty(), qPrintable(capturedWarnings.join('\n')));
    QVERIFY(!TestWait::processRunning(pid));
    TestWait::drainEvents();
    QCOMPARE(probeSpy.count() + extractSpy.count(), 0);
    QCOMPARE(exportSpy.count(), operation == "export" ? 1 : 0);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
#endif
}

QTEST_GUILESS_MAIN(FFMpegHandlerTest)
#include "tst_ffmpeghandler.moc"
