// Real exports through the export job with the real ffmpeg, ffprobe and
// Pelbrook on generated media: what lands in the written file, the one result
// per export, progress, cancel and the failures of our own.
#include "BextChunk.h"
#include "ControlHarness.h"
#include "ExportCommand.h"
#include "FakeToolDir.h"
#include "ExportJob.h"
#include "ExportTarget.h"
#include "MetaTypes.h"
#include "ResultCode.h"
#include "TestMedia.h"
#include "TestWait.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestMedia;

namespace {

void setAudioTC(FileData &file, int audioStream, int channel, const QJsonObject &report)
{
    file.audioTCReading = AudioTCReading::fromReport(report);
    file.setAudioTC(file.audioTCReading.timecode, qMakePair(int(file.audioStreamIndexes.at(audioStream)), channel));
}

// The timecode read by Pelbrook, as the audio timecode job does it.
bool readAudioTC(FileData &file, int audioStream, int channel)
{
    int exitCode = -1;
    const QJsonObject report = readLtc(file.filePath, audioStream, channel, &exitCode);
    if (exitCode != 0)
        return false;
    setAudioTC(file, audioStream, channel, report);
    return true;
}

QJsonObject report25(const QString &timecode)
{
    return QJsonObject{{"Timecode", timecode}, {"FrameRateFound", 25}, {"FrameRateBaseFound", 25},
                       {"NTSC", false}, {"DropFrame", false}, {"SamplesSinceMidnight", 0}};
}

ExportOptions optionsFor(const QString &folder, int videoType, int audioType, bool mute)
{
    ExportOptions options;
    options.targetFolderPath = folder;
    options.videoExportType = VideoExportType(videoType);
    options.audioExportType = AudioExportType(audioType);
    options.muteAudioTC = mute;
    options.progressUnitsPerFile = 15;
    return options;
}

struct Outcome
{
    int results = 0;
    int code = -1;
    quint64 progress = 0;
    QString target;
    bool reportedInsideCall = false;
    ExportResult result;
};

// Everything in a folder, hidden files (a temporary output) included.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Watches one job's signals.
void watch(ExportJob *job, Outcome *outcome, const bool *inCall)
{
    QObject::connect(job, &ExportJob::progress, [outcome](int steps) { outcome->progress += quint64(steps); });
    QObject::connect(job, &Job::finished, [outcome, inCall](Job *done) {
        const auto *from = static_cast<ExportJob *>(done);
        ++outcome->results;
        outcome->code = from->resultCode();
        outcome->target = from->targetPath();
        outcome->result = from->result();
        outcome->reportedInsideCall = *inCall;
    });
}

// Runs one export and waits until it has reported, gone, and its tools have
// ended; a second result would then be among the events drained here.
Outcome runExport(const FileData &file, const ExportOptions &options)
{
    Outcome outcome;
    bool inCall = true;
    QPointer<ExportJob> job = new ExportJob(file, options);
    watch(job, &outcome, &inCall);
    job->start();
    inCall = false;
    const bool ended = QTest::qWaitFor([&] { return job.isNull(); }, TestWait::toolWorkMs)
                       && TestWait::noChildrenLeft();
    TestWait::drainEvents();
    if (!ended)
        outcome.results = -1; // no result, or tools still running: never a finished export
    return outcome;
}

// Every channel of every audio stream: no LTC. With `pelbrook`, the decoder
// itself must find nothing (it needs two seconds).
bool noLtcAnywhere(const QString &path, bool pelbrook, QString *where)
{
    const int streams = audioChannelsOf(probe(path)).size();
    for (int stream = 0; stream < streams; ++stream) {
        int rate = 0;
        const auto channels = decodeAudio(path, stream, &rate);
        for (int channel = 0; channel < channels.size(); ++channel) {
            int exitCode = -1;
            if (looksLikeLtc(channels[channel], rate)
                || (pelbrook && (readLtc(path, stream, channel, &exitCode), exitCode != 205))) {
                *where = QStringLiteral("stream %1 channel %2").arg(stream).arg(channel);
                return false;
            }
        }
    }
    return true;
}

// Output stream `stream` holds exactly the tones of the source channels in `expected`, in order.
bool holdsTones(const QString &path, int stream, const QVector<QPair<int, int>> &expected, QString *why)
{
    int rate = 0;
    const auto channels = decodeAudio(path, stream, &rate);
    if (channels.size() != expected.size()) {
        *why = QStringLiteral("stream %1 has %2 channels").arg(stream).arg(channels.size());
        return false;
    }
    for (int channel = 0; channel < channels.size(); ++channel) {
        const int hz = toneFrequency(expected[channel].first, expected[channel].second);
        if (!hasTone(channels[channel], rate, hz)) {
            *why = QStringLiteral("stream %1 channel %2 lacks %3 Hz").arg(stream).arg(channel).arg(hz);
            return false;
        }
    }
    return true;
}

qint64 runningChildPid(QObject *job)
{
    for (QProcess *process : job->findChildren<QProcess *>())
        if (process->state() == QProcess::Running)
            return process->processId();
    return 0;
}

// A stand-in "ffmpeg" in `fakes` that runs the real one with changed arguments.
bool addFfmpegWrapper(FakeToolDir &fakes, const QByteArray &body)
{
    const QString real = QStandardPaths::findExecutable("ffmpeg");
    return !real.isEmpty() && fakes.add("ffmpeg", "REAL='" + QFile::encodeName(real) + "'\n" + body, "/bin/bash");
}

} // namespace

class ExportJobTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void movUnmutedKeepsEveryStreamWithTheNewTimecode();
    void movMutedLosesOnlyTheTimecodeChannel();
    void mxfMonoStreams();
    void movIntoMxfWithDnxhd();
    void wavKeepsTheRecordersDescription();
    void wavTimeReferences_data();
    void wavTimeReferences();
    void verificationCatchesAnIgnoredTimecode();
    void cancelKillsTheToolAndReportsOnce();
    void allNumberedNamesTaken();
    void rateContradictingTheSignalIsRefused();
    void exportJobReportsEveryFileWithItsReason();
    void diskFullLeavesNothingBehind();
    void videoKeepsItsRateAndTheTimecodeFollows_data();
    void videoKeepsItsRateAndTheTimecodeFollows();
    void mutedQuickTimeKeepsCreationTimeAndReelName();

private:
    QTemporaryDir media;
    QString movWithTimecodeTrack;
};

void ExportJobTest::initTestCase()
{
    registerMetaTypes();
    QVERIFY(media.isValid());
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("tc track.mov"));
    recipe.seconds = 2.2;
    recipe.audioStreams = 2;
    recipe.ltcStream = 1;
    recipe.ltcChannel = 1;
    recipe.fileTimecode = QStringLiteral("01:00:00:00");
    movWithTimecodeTrack = makeMov(media.path(), recipe);
    QVERIFY2(!movWithTimecodeTrack.isEmpty(), qPrintable(lastError()));
}

void ExportJobTest::movUnmutedKeepsEveryStreamWithTheNewTimecode()
{
    // ffmpeg's own selection keeps one audio stream of two; the tmcd track of the
    // source, if copied, would keep 01:00:00:00.
    FileData file = probedRecord(movWithTimecodeTrack);
    QVERIFY(readAudioTC(file, 1, 1));
    QCOMPARE(file.audioTC, QStringLiteral("10:00:00:00"));
    // Nothing is under the final name while ffmpeg runs; a name taken meanwhile
    // (by another program or a parallel export of a file with the same base
    // name, here just before ffmpeg ends) is left alone for the next.
    QTemporaryDir out;
    const QByteArray final = QFile::encodeName(out.filePath("tc track.MOV"));
    Outcome outcome;
    {
        FakeToolDir fakes;
        QVERIFY(addFfmpegWrapper(fakes, "FINAL='" + final + "'\n[ -e \"$FINAL\" ] && exit 90\n"
                                        "\"$REAL\" \"$@\" || exit\n[ -e \"$FINAL\" ] && exit 91\n"
                                        "echo theirs > \"$FINAL\""));
        outcome = runExport(file, optionsFor(out.path(), 5, 1, false));
    }
    QCOMPARE(outcome.results, 1);
    QVERIFY2(outcome.code == 0, qPrintable(outcome.result.reason));
    QCOMPARE(outcome.progress, quint64(15));
    QVERIFY(!outcome.reportedInsideCall);
    QCOMPARE(outcome.target, out.filePath("tc track_1.MOV"));
    QCOMPARE(outcome.result.outputPath, outcome.target);
    QCOMPARE(filesIn(out.path()), (QStringList{"tc track.MOV", "tc track_1.MOV"}));
    QFile theirs(final);
    QVERIFY(theirs.open(QIODevice::ReadOnly));
    QCOMPARE(theirs.readAll(), QByteArray("theirs\n"));
    // As readable as any file made in that folder, not private like a temporary one.
    QFile plain(out.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QCOMPARE(QFileInfo(outcome.target).permissions(), plain.permissions());

    const QJsonObject written = probe(outcome.target);
    QCOMPARE(audioChannelsOf(written), (QVector<int>{2, 2}));
    QCOMPARE(timecodesOf(written), (QStringList{"10:00:00:00", "10:00:00:00"}));
    QString why;
    QVERIFY2(holdsTones(outcome.target, 0, {{0, 0}, {0, 1}}, &why), qPrintable(why));
    int rate = 0;
    const auto timecodeStream = decodeAudio(outcome.target, 1, &rate);
    QVERIFY(looksLikeLtc(timecodeStream.value(1), rate));
}

void ExportJobTest::movMutedLosesOnlyTheTimecodeChannel()
{
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("four.mov"));
    recipe.seconds = 2.2;
    recipe.audioStreams = 2;
    recipe.channels = 4;
    recipe.ltcStream = 0;
    recipe.ltcChannel = 2;
    const QString mov = makeMov(media.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));
    FileData file = probedRecord(mov);
    QVERIFY(readAudioTC(file, 0, 2));

    QTemporaryDir out;
    const Outcome outcome = runExport(file, optionsFor(out.path(), 0, 0, true));
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.code, 0);
    QCOMPARE(outcome.progress, quint64(15));
    QCOMPARE(outcome.target, out.filePath("four.mov"));
    QString why;
    QVERIFY2(holdsTones(outcome.target, 0, {{0, 0}, {0, 1}, {0, 3}}, &why), qPrintable(why));
    QVERIFY2(holdsTones(outcome.target, 1, {{1, 0}, {1, 1}, {1, 2}, {1, 3}}, &why), qPrintable(why));
    QVERIFY2(noLtcAnywhere(outcome.target, true, &why), qPrintable(why));
    QCOMPARE(timecodesOf(probe(outcome.target)).value(0), QStringLiteral("10:00:00:00"));
}

void ExportJobTest::mxfMonoStreams()
{
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("card.mxf"));
    recipe.seconds = 2.2;
    recipe.audioStreams = 4;
    recipe.channels = 1;
    recipe.ltcStream = 3;
    recipe.ltcStart = QStringLiteral("15:30:00:00");
    recipe.fileTimecode = QStringLiteral("01:00:00:00");
    const QString mxf = makeMxf(media.path(), recipe);
    QVERIFY2(!mxf.isEmpty(), qPrintable(lastError()));
    FileData file = probedRecord(mxf);
    QVERIFY(readAudioTC(file, 3, 0));

    QTemporaryDir out;
    const Outcome kept = runExport(file, optionsFor(out.path(), 0, 0, false));
    QCOMPARE(kept.code, 0);
    QCOMPARE(kept.results, 1);
    QCOMPARE(kept.target, out.filePath("card.mxf"));
    QJsonObject written = probe(kept.target);
    QCOMPARE(audioChannelsOf(written), (QVector<int>{1, 1, 1, 1}));
    QCOMPARE(timecodesOf(written), QStringList{"15:30:00:00"});

    const Outcome muted = runExport(file, optionsFor(out.path(), 0, 0, true));
    QCOMPARE(muted.code, 0);
    QCOMPARE(muted.progress, quint64(15));
    QCOMPARE(muted.target, out.filePath("card_1.mxf"));
    written = probe(muted.target);
    QCOMPARE(audioChannelsOf(written), (QVector<int>{1, 1, 1}));
    QCOMPARE(timecodesOf(written), QStringList{"15:30:00:00"});
    QString why;
    for (int stream = 0; stream < 3; ++stream)
        QVERIFY2(holdsTones(muted.target, stream, {{stream, 0}}, &why), qPrintable(why));
}

void ExportJobTest::movIntoMxfWithDnxhd()
{
    // 1920x1080 DNxHD: a short clip; the timecode is given, not read.
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("short.mov"));
    recipe.seconds = 0.6;
    recipe.ltcChannel = 0;
    const QString mov = makeMov(media.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));
    FileData file = probedRecord(mov);
    setAudioTC(file, 0, 0, report25("10:00:00:00"));

    QTemporaryDir out;
    const Outcome outcome = runExport(file, optionsFor(out.path(), 2, 2, true));
    QCOMPARE(outcome.code, 0);
    QCOMPARE(outcome.target, out.filePath("short.MXF"));
    const QJsonObject written = probe(outcome.target);
    QCOMPARE(timecodesOf(written), QStringList{"10:00:00:00"});
    QCOMPARE(audioChannelsOf(written), QVector<int>{1});
    QString why;
    QVERIFY2(holdsTones(outcome.target, 0, {{0, 1}}, &why), qPrintable(why));
    QVERIFY2(noLtcAnywhere(outcome.target, false, &why), qPrintable(why));
}

void ExportJobTest::wavKeepsTheRecordersDescription()
{
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("plain.wav"));
    recipe.seconds = 2.2;
    recipe.ltcChannel = 1;
    recipe.ltcStart = QStringLiteral("08:00:00:00");
    const QString plain = makeLtcWav(media.path(), recipe);
    QVERIFY2(!plain.isEmpty(), qPrintable(lastError()));
    // As a recorder writes it: description lines, originator, date and time.
    const QString take = media.filePath("take 3.wav");
    const ToolRun made = runTool("ffmpeg", {"-v", "error", "-y", "-i", plain, "-c:a", "copy", "-write_bext", "1",
                                            "-metadata", "description=sSPEED=025.000-ND\r\nsTAKE=3\r\nsSCENE=12A\r\n",
                                            "-metadata", "originator=FieldRec 8", "-metadata", "originator_reference=REF0042",
                                            "-metadata", "origination_date=2024-05-01", "-metadata", "origination_time=12:34:56",
                                            "-metadata", "time_reference=1382400000", take});
    QVERIFY2(made.ok(), made.standardError.constData());

    FileData file = probedRecord(take);
    QVERIFY(readAudioTC(file, 0, 1));
    QTemporaryDir out;
    const Outcome outcome = runExport(file, optionsFor(out.path(), 3, 0, true));
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.code, 0);
    QCOMPARE(outcome.progress, quint64(15));
    QCOMPARE(outcome.target, out.filePath("take 3.WAV"));

    const QJsonObject tags = formatTagsOf(probe(outcome.target));
    QCOMPARE(tags.value("time_reference").toString(),
             QString::number(file.audioTCReading.samplesSinceMidnight));
    QCOMPARE(tags.value("originator_reference").toString(), QStringLiteral("REF0042"));
    QByteArray payload;
    QVERIFY(BextChunk::read(outcome.target, &payload));
    QCOMPARE(BextChunk::description(payload), QByteArray("sSPEED=025.000-ND\r\nsTAKE=3\r\nsSCENE=12A\r\n"));
    QCOMPARE(payload.mid(256, 32).left(10), QByteArray("FieldRec 8"));
    QCOMPARE(payload.mid(320, 18), QByteArray("2024-05-0112:34:56"));

    QString why;
    QVERIFY2(holdsTones(outcome.target, 0, {{0, 0}}, &why), qPrintable(why));
    QVERIFY2(noLtcAnywhere(outcome.target, true, &why), qPrintable(why));
}

void ExportJobTest::wavTimeReferences_data()
{
    QTest::addColumn<QString>("fps");
    QTest::addColumn<bool>("drop");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("realRate");
    QTest::addColumn<QByteArray>("speed");

    QTest::newRow("23.976") << "23.976" << false << "12:39:59:00" << true << QByteArray("sSPEED=023.976-ND");
    QTest::newRow("29.97 ND") << "29.97" << false << "06:00:00:00" << true << QByteArray("sSPEED=029.970-ND");
    QTest::newRow("29.97 DF") << "29.97" << true << "06:00:00;00" << false << QByteArray("sSPEED=029.970-DF");
    QTest::newRow("25") << "25" << false << "12:39:59:00" << false << QByteArray("sSPEED=025.000-ND");
    QTest::newRow("24") << "24" << false << "12:39:59:00" << false << QByteArray("sSPEED=024.000-ND");
    QTest::newRow("30") << "30" << false << "12:39:59:00" << false << QByteArray("sSPEED=030.000-ND");
}

void ExportJobTest::wavTimeReferences()
{
    QFETCH(QString, fps);
    QFETCH(bool, drop);
    QFETCH(QString, start);
    QFETCH(bool, realRate);
    QFETCH(QByteArray, speed);
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("rate %1.wav").arg(QTest::currentDataTag()));
    recipe.seconds = 2.2;
    recipe.channels = 1;
    recipe.fps = fps;
    recipe.dropFrame = drop;
    recipe.ltcStart = start;
    const QString wav = makeLtcWav(media.path(), recipe);
    QVERIFY2(!wav.isEmpty(), qPrintable(lastError()));
    FileData file = probedRecord(wav);
    QVERIFY(readAudioTC(file, 0, 0));
    QTemporaryDir out;
    const Outcome outcome = runExport(file, optionsFor(out.path(), 0, 2, false));
    QCOMPARE(outcome.code, 0);
    // A source without a description gets the speed line alone; its mono samples become 24-bit.
    QByteArray payload;
    QVERIFY(BextChunk::read(outcome.target, &payload));
    QCOMPARE(BextChunk::description(payload), speed);
    const QJsonObject json = probe(outcome.target);
    QCOMPARE(json.value("streams").toArray().at(0).toObject().value("codec_name").toString(), QStringLiteral("pcm_s24le"));
    QCOMPARE(audioChannelsOf(json), QVector<int>{1});
    const qint64 written = formatTagsOf(json).value("time_reference").toString().toLongLong();
    const qint64 decoded = file.audioTCReading.samplesSinceMidnight;
    if (!realRate) {
        QCOMPARE(written, decoded);
        return;
    }
    // Frames of the label times the real samples per frame, within 2 ms.
    const QStringList parts = start.split(QRegularExpression("[:;]"));
    const int base = qRound(fps.toDouble());
    const qint64 frames = ((parts[0].toLongLong() * 60 + parts[1].toInt()) * 60 + parts[2].toInt()) * base + parts[3].toInt();
    const double real = frames * 48000.0 * 1001.0 / (base * 1000.0);
    QVERIFY2(qAbs(written - real) <= 96.0, qPrintable(QStringLiteral("%1 vs %2").arg(written).arg(real, 0, 'f', 1)));
    QVERIFY(qAbs(written - decoded) > 1000); // the nominal count is 0.1 % off
}

void ExportJobTest::verificationCatchesAnIgnoredTimecode()
{
    // With the source's tmcd track mapped, ffmpeg keeps 01:00:00:00, only
    // warns and ends with 0.
    FakeToolDir fakes;
    QVERIFY(addFfmpegWrapper(fakes, "exec \"$REAL\" \"${@:1:$#-1}\" -map 0:d \"${@: -1}\""));
    FileData file = probedRecord(movWithTimecodeTrack);
    setAudioTC(file, 1, 1, report25("10:00:00:00"));
    QTemporaryDir out;
    const Outcome outcome = runExport(file, optionsFor(out.path(), 5, 1, false));
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.code, ExportCommand::verificationFailedExitCode);
    QCOMPARE(outcome.progress, quint64(15));
    QCOMPARE(outcome.result.resultCode, int(ResultCode::VerificationFailed));
    QCOMPARE(outcome.result.reason, QStringLiteral("timecode 01:00:00:00 in the written file instead of 10:00:00:00"));
    // Nothing under the final name, and no temporary file either.
    QVERIFY(outcome.target.isEmpty());
    QCOMPARE(filesIn(out.path()), QStringList());
}

void ExportJobTest::cancelKillsTheToolAndReportsOnce()
{
    // "-readrate 0.1" makes the real ffmpeg take ten times the clip's length,
    // so it is still running when the cancel comes, however loaded the machine.
    FakeToolDir fakes;
    QVERIFY(addFfmpegWrapper(fakes, "exec \"$REAL\" -readrate 0.1 \"$@\""));
    FileData file = probedRecord(movWithTimecodeTrack);
    setAudioTC(file, 1, 1, report25("10:00:00:00"));
    QTemporaryDir out;

    Outcome outcome;
    bool inCall = false;
    QPointer<ExportJob> job = new ExportJob(file, optionsFor(out.path(), 5, 1, false));
    watch(job, &outcome, &inCall);
    job->start();
    // ffmpeg writes beside the final name, which does not exist until the end.
    QVERIFY(QTest::qWaitFor([&] {
        for (const QString &name : filesIn(out.path()))
            if (QFileInfo(out.filePath(name)).size() > 0)
                return true;
        return false;
    }, TestWait::toolWorkMs));
    QCOMPARE(filesIn(out.path()).size(), 1);
    const qint64 pid = runningChildPid(job);
    QVERIFY(TestWait::processRunning(pid));

    job->cancel();
    QVERIFY(QTest::qWaitFor([&] { return outcome.results > 0; }, TestWait::toolWorkMs));
    QVERIFY(TestWait::noChildrenLeft());
    TestWait::drainEvents();
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.progress, quint64(15));
    QVERIFY(!TestWait::processRunning(pid));
    QVERIFY(job.isNull());
    QCOMPARE(outcome.result.resultCode, int(ResultCode::ExportCancelled));
    QCOMPARE(filesIn(out.path()), QStringList());
}

void ExportJobTest::allNumberedNamesTaken()
{
    QTemporaryDir out(QFileInfo("/dev/shm").isWritable() ? QStringLiteral("/dev/shm/dorrik-XXXXXX")
                                                          : QDir::tempPath() + QStringLiteral("/dorrik-XXXXXX"));
    FileData file = probedRecord(movWithTimecodeTrack);
    const ExportOptions options = optionsFor(out.path(), 5, 1, false);
    const ExportCommand command(file, options);
    for (int counter = 0; counter < ExportTarget::counterLimit; ++counter) {
        QFile taken(command.targetPath(counter));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.write("keep");
    }
    const Outcome outcome = runExport(file, options);
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.code, ExportCommand::noTargetNameExitCode);
    QVERIFY(!outcome.reportedInsideCall);
    QCOMPARE(outcome.progress, quint64(15));
    QVERIFY(outcome.target.isEmpty()); // nothing for a cancel to delete
    QFile last(command.targetPath(9999));
    QVERIFY(last.open(QIODevice::ReadOnly));
    QCOMPARE(last.readAll(), QByteArray("keep"));
}

// A 23.976 recording read at a forced 25: the decoder says what the signal
// measures, and the export writes nothing for that file.
void ExportJobTest::rateContradictingTheSignalIsRefused()
{
    QTemporaryDir in, out;
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("forced.wav"));
    recipe.fps = QStringLiteral("23.976");
    recipe.ltcStart = QStringLiteral("14:30:00:00");
    const QString wav = TestMedia::makeLtcWav(in.path(), recipe);
    QVERIFY2(!wav.isEmpty(), qPrintable(TestMedia::lastError()));
    int exitCode = -1;
    const QJsonObject report = readLtc(wav, 0, 0, &exitCode, {QStringLiteral("-f25")});
    QCOMPARE(exitCode, 0);
    QCOMPARE(report.value("Timecode").toString(), QStringLiteral("14:30:00:00"));

    FileData file = probedRecord(wav);
    setAudioTC(file, 0, 0, report);
    QCOMPARE(file.audioTCReading.signalRate, 23.98);
    const Outcome outcome = runExport(file, optionsFor(out.path(), 0, 0, false));
    QCOMPARE(outcome.results, 1);
    QCOMPARE(outcome.code, ResultCode::RateContradictsSignal);
    QVERIFY(!outcome.reportedInsideCall);
    QVERIFY(QDir(out.path()).entryList(QDir::Files).isEmpty());
}

void ExportJobTest::exportJobReportsEveryFileWithItsReason()
{
    // Muted QuickTime export of three files: one is stamped, one has no audio
    // timecode, one is a mono WAV whose only channel is the timecode. Only the first is done.
    QTemporaryDir sources;
    QVector<FileData> rows;
    auto add = [&](const QString &path, bool read, int channel) {
        FileData row = probedRecord(path);
        if (read && !readAudioTC(row, 0, channel))
            return false;
        row.fileNumber = rows.size();
        rows.append(row);
        return true;
    };
    MediaRecipe recipe;
    recipe.seconds = 2.2;
    recipe.fileName = QStringLiteral("stamped.mov");
    QVERIFY(add(makeMov(sources.path(), recipe), true, 0));
    recipe.fileName = QStringLiteral("bare.mov");
    recipe.ltcStream = -1;
    QVERIFY(add(makeMov(sources.path(), recipe), false, 0));
    recipe = MediaRecipe();
    recipe.seconds = 2.2;
    recipe.fileName = QStringLiteral("boom.wav");
    recipe.channels = 1;
    QVERIFY(add(makeLtcWav(sources.path(), recipe), true, 0));

    QTemporaryDir out;
    ControlHarness job;
    job.exportFiles(rows, optionsFor(out.path(), 5, 0, true));
    QVERIFY(job.waitFor([&] { return !job.exportResults.isEmpty(); }, 60000));
    QCOMPARE(job.exportResults.first().result, 2);
    QStringList failed = job.exportResults.first().failedFiles;
    failed.sort();
    QCOMPARE(failed, (QStringList{"bare.mov", "boom.wav"}));

    QCOMPARE(job.fileResults.size(), 3);
    QMap<QString, ::ExportResult> byName;
    for (const ::ExportResult &result : qAsConst(job.fileResults))
        byName.insert(result.fileName, result);
    QCOMPARE(byName["stamped.mov"].resultCode, int(ResultCode::Ok));
    QCOMPARE(byName["stamped.mov"].outputPath, out.filePath("stamped.MOV"));
    QCOMPARE(byName["stamped.mov"].timecode, QStringLiteral("10:00:00:00"));
    QCOMPARE(byName["bare.mov"].resultCode, int(ResultCode::CopiedWithoutTimecode));
    QCOMPARE(byName["bare.mov"].reason, QStringLiteral("no audio timecode: copied without a new timecode"));
    QCOMPARE(byName["bare.mov"].outputPath, out.filePath("bare.MOV"));
    QCOMPARE(byName["boom.wav"].reason, QStringLiteral("left out: its only channel is the timecode"));
    QCOMPARE(filesIn(out.path()), (QStringList{"bare.MOV", "stamped.MOV"}));
}

// A small filesystem of its own, so that a disk really runs full.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &size)
    {
#ifdef Q_OS_LINUX
        if (!folder.isValid() || !QStandardPaths::findExecutable("mount").size())
            return;
        mounted = runTool("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", folder.path()}, 10000).ok();
#else
        Q_UNUSED(size)
#endif
    }
    ~SmallDisk()
    {
        if (mounted)
            runTool("umount", {folder.path()}, 10000);
    }
    bool isMounted() const { return mounted; }
    QString path() const { return folder.path(); }

private:
    QTemporaryDir folder;
    bool mounted = false;
};

void ExportJobTest::diskFullLeavesNothingBehind()
{
    const SmallDisk disk(QStringLiteral("1m"));
    if (!disk.isMounted())
        QSKIP("mounting a small tmpfs needs root on Linux");
    // Each output is well over 1 MB: a WAV of 12 s and a MOV with two stereo streams.
    QTemporaryDir sources;
    QVector<FileData> rows;
    MediaRecipe recipe;
    recipe.seconds = 12.0;
    recipe.fileName = QStringLiteral("12A-3_2.wav");
    recipe.ltcChannel = 1;
    FileData wav = probedRecord(makeLtcWav(sources.path(), recipe));
    QVERIFY(readAudioTC(wav, 0, 1));
    recipe.seconds = 6.0;
    recipe.fileName = QStringLiteral("A001.mov");
    recipe.audioStreams = 2;
    FileData mov = probedRecord(makeMov(sources.path(), recipe));
    QVERIFY(readAudioTC(mov, 0, 1));
    wav.fileNumber = 0;
    mov.fileNumber = 1;

    ControlHarness job;
    job.exportFiles({wav, mov}, optionsFor(disk.path(), 0, 0, false));
    QVERIFY(job.waitFor([&] { return !job.exportResults.isEmpty(); }, 60000));
    QCOMPARE(job.exportResults.first().result, 2);
    QCOMPARE(job.fileResults.size(), 2);
    for (const ::ExportResult &result : qAsConst(job.fileResults)) {
        QCOMPARE(result.resultCode, int(ResultCode::ExportToolFailed));
        // ffmpeg names the file it writes: the user sees the final name.
        QVERIFY2(result.reason.contains("No space left on device") && !result.reason.contains("partial"),
                 qPrintable(result.reason));
        QVERIFY(result.outputPath.isEmpty());
    }
    QCOMPARE(filesIn(disk.path()), QStringList());
}

void ExportJobTest::videoKeepsItsRateAndTheTimecodeFollows_data()
{
    QTest::addColumn<QString>("videoFps");
    QTest::addColumn<QString>("ltcFps");
    QTest::addColumn<int>("videoType");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("written");   // empty: not exported

    QTest::newRow("25p, LTC 30, DNxHD") << "25" << "30" << 6 << "10:00:00:12" << "";
    QTest::newRow("23.976p, LTC 24") << "23.976" << "24" << 5 << "10:00:00:12" << "10:00:00:12";
    QTest::newRow("50p, LTC 25") << "50" << "25" << 0 << "10:00:00:12" << "10:00:00:24";
    QTest::newRow("50p, LTC 25, QuickTime DNxHD") << "50" << "25" << 6 << "10:00:00:24" << "10:00:00:48";
    QTest::newRow("50p, LTC 25, MXF DNxHD") << "50" << "25" << 2 << "10:00:00:24" << "10:00:00:48";
}

void ExportJobTest::videoKeepsItsRateAndTheTimecodeFollows()
{
    QFETCH(QString, videoFps);
    QFETCH(QString, ltcFps);
    QFETCH(int, videoType);
    QFETCH(QString, start);
    QFETCH(QString, written);
    // A copy reads its LTC; a transcode, which scales to 1920x1080, gets a
    // short clip and the decoder's report given.
    const bool copy = videoType == 0 || videoType == 5;
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("rate %1.mov").arg(QTest::currentDataTag()));
    recipe.seconds = copy ? 2.2 : 0.5;
    recipe.fps = ltcFps;
    recipe.videoFps = videoFps;
    recipe.ltcStart = start;
    const QString mov = makeMov(media.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));
    FileData file = probedRecord(mov);
    if (copy)
        QVERIFY(readAudioTC(file, 0, 0));
    else
        setAudioTC(file, 0, 0, {{"Timecode", start}, {"FrameRateFound", ltcFps.toInt()}, {"FrameRateBaseFound", ltcFps.toInt()},
                                {"NTSC", false}, {"DropFrame", false}, {"SamplesSinceMidnight", 0}});
    QCOMPARE(file.audioTC, start);

    QTemporaryDir out;
    const Outcome outcome = runExport(file, optionsFor(out.path(), videoType, 0, false));
    QCOMPARE(outcome.results, 1);
    if (written.isEmpty()) {
        QCOMPARE(outcome.result.resultCode, int(ResultCode::RateMismatch));
        QCOMPARE(outcome.result.reason, QStringLiteral("LTC %1 fps does not match video %2 fps").arg(ltcFps, videoFps));
        QCOMPARE(filesIn(out.path()), QStringList());
        return;
    }
    QCOMPARE(outcome.result.resultCode, int(ResultCode::Ok));
    QCOMPARE(outcome.result.timecode, written);
    const QJsonObject json = probe(outcome.target);
    QVERIFY(!timecodesOf(json).isEmpty());
    for (const QString &timecode : timecodesOf(json))
        QCOMPARE(timecode, written);

    // The video as ffprobe counts it: the codec asked for, every frame of the
    // source at its rate, the size asked for.
    const auto videoOf = [](const QString &path) {
        const ToolRun run = runTool("ffprobe", {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                                                "stream=codec_name,r_frame_rate,width,height,nb_read_packets",
                                                "-of", "json", path});
        return QJsonDocument::fromJson(run.standardOutput).object().value("streams").toArray().at(0).toObject();
    };
    const QJsonObject source = videoOf(mov);
    const QJsonObject video = videoOf(outcome.target);
    QCOMPARE(video.value("codec_name").toString(), copy ? source.value("codec_name").toString() : QStringLiteral("dnxhd"));
    QCOMPARE(video.value("r_frame_rate").toString(), source.value("r_frame_rate").toString());
    const QString frames = source.value("nb_read_packets").toString();
    const QString writtenFrames = video.value("nb_read_packets").toString();
    QVERIFY2(frames.toInt() > 0 && qAbs(writtenFrames.toInt() - frames.toInt()) <= 1, qPrintable(writtenFrames + " of " + frames));
    QCOMPARE(QSize(video.value("width").toInt(), video.value("height").toInt()),
             copy ? QSize(source.value("width").toInt(), source.value("height").toInt()) : QSize(1920, 1080));
    if (!copy)
        return;

    // A copied video keeps its time base and every frame's timing, and the
    // timecode track runs at its rate.
    QJsonObject track;
    for (const QJsonValue &value : json.value("streams").toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream.value("codec_type").toString() == QLatin1String("video"))
            QCOMPARE(stream.value("time_base").toString(), file.videoStream().timeBase.text());
        if (stream.value("codec_tag_string").toString() == QLatin1String("tmcd"))
            track = stream;
    }
    auto frameTiming = [](const QString &path) {
        return runTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts,duration",
                                   "-of", "csv=p=0", path}).standardOutput;
    };
    const QByteArray sourceTiming = frameTiming(mov);
    QVERIFY(!sourceTiming.isEmpty());
    QCOMPARE(frameTiming(outcome.target), sourceTiming);
    const auto value = [](const QString &rate) { return rate.section('/', 0, 0).toDouble() / rate.section('/', 1).toDouble(); };
    const QString trackRate = track.value("avg_frame_rate").toString();
    QVERIFY2(qFuzzyCompare(value(trackRate), value(source.value("r_frame_rate").toString())), qPrintable(trackRate));
}

void ExportJobTest::mutedQuickTimeKeepsCreationTimeAndReelName()
{
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("A001C003.mov"));
    recipe.seconds = 2.2;
    recipe.fileTimecode = QStringLiteral("01:00:00:00");
    recipe.muxArguments = QStringList{"-metadata", "creation_time=2024-05-01T12:34:56.000000Z",
                                      "-metadata:s:v:0", "reel_name=A001C003", "-metadata", "make=Arrow"};
    const QString mov = makeMov(media.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));
    FileData file = probedRecord(mov);
    QVERIFY(readAudioTC(file, 0, 0));

    QTemporaryDir out;
    const Outcome outcome = runExport(file, optionsFor(out.path(), 5, 0, true));
    QCOMPARE(outcome.result.resultCode, int(ResultCode::Ok));
    const QJsonObject json = probe(outcome.target);
    const QJsonObject tags = json.value("format").toObject().value("tags").toObject();
    QCOMPARE(tags.value("creation_time").toString(), QStringLiteral("2024-05-01T12:34:56.000000Z"));
    QCOMPARE(tags.value("make").toString(), QStringLiteral("Arrow"));
    QStringList reels;
    for (const QJsonValue &stream : json.value("streams").toArray())
        reels << stream.toObject().value("tags").toObject().value("reel_name").toString();
    QVERIFY2(reels.contains("A001C003"), qPrintable(reels.join(',')));
    QCOMPARE(timecodesOf(json), (QStringList{"10:00:00:00", "10:00:00:00"}));
}

QTEST_GUILESS_MAIN(ExportJobTest)
#include "tst_exportjob.moc"
