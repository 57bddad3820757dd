// The jobs' common contract (one report, the tool named when it cannot start
// or crashes, cancel, no process left by a destroyed job) and the decode job's
// runs, in a folder without Pelbrook beside it, so PATH alone decides what
// runs: no tool at all, or a fake one that crashes, hangs, fails in a chosen
// way or records its arguments.
#include "DecodeJob.h"
#include "ExportJob.h"
#include "ExtractJob.h"
#include "FakeToolDir.h"
#include "JobWait.h"
#include "MetaTypes.h"
#include "ProbeJob.h"
#include "TestMedia.h"
#include "ToolProcess.h"
#include "WorkFolder.h"

#include <QTemporaryDir>

using namespace TestMedia;

namespace {

QStringList capturedWarnings;

void captureWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        capturedWarnings << message;
}

// A fake decoder's one run: a full report, read with the user's options when given.
DecodeJob *decodeJob(const AudioTCOptions *options = nullptr, bool preferSlope = false,
                     const QString &wav = QStringLiteral("/w/a_1_0.wav"))
{
    DecodeRequest request;
    request.wavPath = wav;
    request.preferSlope = preferSlope;
    request.readRequested = options != nullptr;
    return new DecodeJob(request, options ? *options : AudioTCOptions());
}

struct Ended
{
    int results = 0;
    int code = -1;
    QJsonObject report;
};

Ended runDecode(DecodeJob *job)
{
    Ended ended;
    ended.results = runToEnd(job, [&ended](DecodeJob *done) {
        ended.code = done->resultCode();
        ended.report = done->report();
    });
    return ended;
}

} // namespace

class JobsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { removeWorkFolder(); }

    void toolFailuresAreNamed_data();
    void toolFailuresAreNamed();
    void cancelBeforeAndWhileRunning();
    void destroyedWhileToolRunsLeavesNoProcess_data();
    void destroyedWhileToolRunsLeavesNoProcess();

    void otherErrorsAreNotRetried_data();
    void otherErrorsAreNotRetried();
    void firstRunArguments_data();
    void firstRunArguments();
    void retriesAlgorithmsInOrder_data();
    void retriesAlgorithmsInOrder();
    void reportInPiecesIsParsedWhole();
    void successWithoutTimecodeIsAFailure_data();
    void successWithoutTimecodeIsAFailure();

private:
    Job *makeJob(const QString &kind);
    QStringList loggedRuns() const;
    bool addDecoder(FakeToolDir &fakes, const QByteArray &body);

    QTemporaryDir dir;
    QTemporaryDir out;
    FileData record;
    QString logPath;
};

void JobsTest::initTestCase()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    registerMetaTypes();
    QVERIFY2(!QFileInfo::exists(QDir(QCoreApplication::applicationDirPath()).filePath(ToolProcess::programFileName("Pelbrook"))),
             "this test must run from a folder without Pelbrook");
    QVERIFY(dir.isValid() && out.isValid());
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("clip.mov"));
    recipe.seconds = 3.0;
    recipe.ltcStream = -1;    // no ltcgen here
    const QString mov = makeMov(dir.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));
    record = probedRecord(mov, 1);
}

// One job of each kind on the test clip; a decoder read of a WAV that is not there.
Job *JobsTest::makeJob(const QString &kind)
{
    if (kind == "ffprobe")
        return new ProbeJob(record.filePath, 1);
    if (kind == "ffmpeg extraction")
        return new ExtractJob(record);
    if (kind == "ffmpeg export")
        return new ExportJob(record, ExportOptions{out.path(), VideoExportType::QuickTimePassThrough, AudioExportType::Pcm16, false, true, 15});
    return decodeJob();
}

void JobsTest::toolFailuresAreNamed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("crash");
    QTest::addColumn<int>("code");
    QTest::newRow("ffprobe missing") << "ffprobe" << false << int(ResultCode::ProbeStartFailed);
    QTest::newRow("ffprobe crashed") << "ffprobe" << true << int(ResultCode::ProbeCrashed);
    QTest::newRow("extraction missing") << "ffmpeg extraction" << false << int(ResultCode::ExtractionStartFailed);
    QTest::newRow("extraction crashed") << "ffmpeg extraction" << true << int(ResultCode::ExtractionCrashed);
    QTest::newRow("export missing") << "ffmpeg export" << false << int(ResultCode::ToolStartFailed);
    QTest::newRow("export crashed") << "ffmpeg export" << true << int(ResultCode::ToolCrashed);
    QTest::newRow("Pelbrook missing") << "Pelbrook" << false << int(ResultCode::DecoderStartFailed);
    QTest::newRow("Pelbrook crashed") << "Pelbrook" << true << int(ResultCode::DecoderCrashed);
}

// A tool that cannot start or crashes is one result, named after the tool,
// never a damaged file; nothing it printed counts and nothing is retried.
void JobsTest::toolFailuresAreNamed()
{
    QFETCH(QString, kind);
    QFETCH(bool, crash);
    QFETCH(int, code);
    const QString tool = kind.section(' ', 0, 0);
    FakeToolDir fakes;
    if (crash) {
        QVERIFY(addDecoder(fakes, "printf '{\\n\"Success\" : true,\\n\"Timecode\" : \"10:00:00:00\"\\n}\\n'\n"
                                  "kill -SEGV $$"));
        if (tool != "Pelbrook")
            QVERIFY(QFile::rename(fakes.filePath(ToolProcess::programFileName("Pelbrook")), fakes.filePath(tool)));
    } else {
        logPath.clear();
        fakes.hideSystemTools();
    }
    Ended ended;
    ended.results = runToEnd(makeJob(kind), [&ended](Job *done) {
        ended.code = done->resultCode();
        if (auto *decode = qobject_cast<DecodeJob *>(done))
            ended.report = decode->report();
    });
    QCOMPARE(ended.results, 1);
    QCOMPARE(ended.code, code);
    QVERIFY2(ResultCode::text(code).startsWith(tool), qPrintable(ResultCode::text(code)));
    QVERIFY(ended.report.isEmpty());
    QCOMPARE(loggedRuns().size(), crash ? 1 : 0);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// A job not started yet ends at once; a running one when its killed tool has.
void JobsTest::cancelBeforeAndWhileRunning()
{
    FakeToolDir fakes;
    QVERIFY(fakes.add("ffprobe", "exec sleep 30"));
    int results = 0;
    auto *waiting = new ProbeJob(record.filePath, 1);
    connect(waiting, &Job::finished, this, [&results](Job *done) { results += done->resultCode() == ResultCode::ProbeFailed; });
    waiting->cancel();
    QCOMPARE(results, 1);
    waiting->start();
    waiting->cancel();
    TestWait::drainEvents();
    QCOMPARE(results, 1);

    auto *running = new ProbeJob(record.filePath, 1);
    connect(running, &Job::finished, this, [&results](Job *done) { results += done->resultCode() == ResultCode::ProbeFailed; });
    running->start();
    QProcess *tool = running->findChild<QProcess *>();
    QVERIFY(tool && tool->waitForStarted(TestWait::toolWorkMs));
    const qint64 pid = tool->processId();
    QPointer<Job> alive(running);
    running->cancel();
    QVERIFY(QTest::qWaitFor([&alive] { return alive.isNull(); }, TestWait::toolWorkMs));
    QCOMPARE(results, 2);
    QVERIFY(!TestWait::processRunning(pid));
}

void JobsTest::destroyedWhileToolRunsLeavesNoProcess_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("probe") << "ffprobe";
    QTest::newRow("extraction") << "ffmpeg extraction";
    QTest::newRow("export") << "ffmpeg export";
    QTest::newRow("decoder, in its second run") << "Pelbrook";
}

// As when the program quits while tools run: no process, no file, no result.
void JobsTest::destroyedWhileToolRunsLeavesNoProcess()
{
    QFETCH(QString, kind);
    FakeToolDir fakes;
    // The decoder's first run finds nothing; its retry hangs.
    const QByteArray log = QFile::encodeName(fakes.filePath("runs.log"));
    QVERIFY(addDecoder(fakes, "if [ $(wc -l < '" + log + "') -eq 1 ]; then exit 205; fi\nexec sleep 30"));
    if (kind != "Pelbrook")
        QVERIFY(fakes.add(kind.section(' ', 0, 0), "exec sleep 30"));
    Job *job = makeJob(kind);
    int results = 0;
    connect(job, &Job::finished, this, [&results] { ++results; });
    job->start();
    auto *decode = qobject_cast<DecodeJob *>(job);
    if (decode)
        QTRY_COMPARE_WITH_TIMEOUT(decode->runsStarted(), 2, TestWait::toolWorkMs);
    qint64 pid = 0;
    for (QProcess *process : job->findChildren<QProcess *>()) {
        if (process->state() != QProcess::NotRunning && process->waitForStarted(TestWait::toolWorkMs))
            pid = process->processId();
    }
    QVERIFY(pid > 0);
    QVERIFY(TestWait::processRunning(pid));
    // Qt's own last resort would warn; the job ends its tool itself.
    capturedWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureWarning);
    delete job;
    qInstallMessageHandler(previous);
    QVERIFY2(capturedWarnings.isEmpty(), qPrintable(capturedWarnings.join('\n')));
    QVERIFY(!TestWait::processRunning(pid));
    TestWait::drainEvents();
    QCOMPARE(results, 0);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// A fake Pelbrook that logs its arguments (one run per line) and then runs `body`.
bool JobsTest::addDecoder(FakeToolDir &fakes, const QByteArray &body)
{
    logPath = QDir(fakes.path()).filePath("runs.log");
    QFile::remove(logPath);
    return fakes.add(ToolProcess::programFileName("Pelbrook"),
                     "IFS='|'; echo \"$*\" >> '" + QFile::encodeName(logPath) + "'\n" + body);
}

QStringList JobsTest::loggedRuns() const
{
    if (logPath.isEmpty())
        return {};
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

void JobsTest::otherErrorsAreNotRetried_data()
{
    QTest::addColumn<int>("code");
    for (int code : {201, 202, 203, 204, 1})
        QTest::newRow(qPrintable(QString::number(code))) << code;
}

void JobsTest::otherErrorsAreNotRetried()
{
    QFETCH(int, code);
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '{\"ErrorNo\" : " + QByteArray::number(code) + "}'\nexit "
                                  + QByteArray::number(code)));
    const Ended ended = runDecode(decodeJob());
    QCOMPARE(ended.results, 1);
    QCOMPARE(ended.code, code);
    QCOMPARE(ended.report.value("ErrorNo").toInt(), code);
    QCOMPARE(loggedRuns().size(), 1);
}

void JobsTest::firstRunArguments_data()
{
    QTest::addColumn<int>("algorithm"); // -1: the read without settings
    QTest::addColumn<int>("channel");
    QTest::addColumn<double>("frameRate");
    QTest::addColumn<bool>("preferSlope");
    QTest::addColumn<QString>("expected");

    const QString w = QStringLiteral("/w/a b_1_0.wav");
    QTest::newRow("no settings") << -1 << -1 << -1.0 << false << w;
    QTest::newRow("no settings, GoPro") << -1 << -1 << -1.0 << true << w + "|-aSLOPE";
    QTest::newRow("all any") << 0 << -1 << -1.0 << false << w;
    QTest::newRow("channel 0 is passed") << 0 << 0 << -1.0 << false << w + "|-c0";
    QTest::newRow("rate 0 is passed") << 0 << -1 << 0.0 << false << w + "|-f0";
    QTest::newRow("29.97002997") << 0 << -1 << 29.97002997 << false << w + "|-f29.97";
    QTest::newRow("23.976 on channel 3") << 0 << 3 << 23.976 << false << w + "|-c3|-f23.976";
    QTest::newRow("LOW") << 1 << 1 << 25.0 << false << w + "|-c1|-f25|-aLOW";
    QTest::newRow("MID wins over GoPro") << 2 << -1 << -1.0 << true << w + "|-aMID";
    QTest::newRow("HIGH") << 3 << -1 << 30.0 << false << w + "|-f30|-aHIGH";
    QTest::newRow("SLOPE") << 4 << 2 << -1.0 << false << w + "|-c2|-aSLOPE";
    QTest::newRow("unknown algorithm") << 9 << -1 << -1.0 << true << w;
}

// What the decoder is started with, as it receives it.
void JobsTest::firstRunArguments()
{
    QFETCH(int, algorithm);
    QFETCH(int, channel);
    QFETCH(double, frameRate);
    QFETCH(bool, preferSlope);
    QFETCH(QString, expected);
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '{\"Success\" : true, \"Timecode\" : \"01:00:00:00\"}'\nexit 0"));
    AudioTCOptions options;
    options.readingAlgorithm = ReadAlgorithm(algorithm);
    options.channel = channel;
    options.frameRate = frameRate;
    const Ended ended = runDecode(decodeJob(algorithm < 0 ? nullptr : &options, preferSlope, "/w/a b_1_0.wav"));
    QCOMPARE(ended.results, 1);
    QCOMPARE(ended.code, 0);
    QCOMPARE(loggedRuns(), QStringList{expected});
}

void JobsTest::retriesAlgorithmsInOrder_data()
{
    QTest::addColumn<bool>("withSettings");
    QTest::addColumn<bool>("preferSlope");
    QTest::addColumn<QStringList>("runs");

    QTest::newRow("automatic") << false << false
        << QStringList{"/w/a_1_0.wav", "/w/a_1_0.wav|-aHIGH", "/w/a_1_0.wav|-aMID", "/w/a_1_0.wav|-aSLOPE"};
    QTest::newRow("automatic, GoPro") << false << true
        << QStringList{"/w/a_1_0.wav|-aSLOPE", "/w/a_1_0.wav|-aHIGH", "/w/a_1_0.wav|-aMID", "/w/a_1_0.wav|-aLOW"};
    QTest::newRow("settings keep -c and -f") << true << false
        << QStringList{"/w/a_1_0.wav|-c2|-f25", "/w/a_1_0.wav|-c2|-f25|-aHIGH", "/w/a_1_0.wav|-c2|-f25|-aMID",
                       "/w/a_1_0.wav|-c2|-f25|-aSLOPE"};
}

void JobsTest::retriesAlgorithmsInOrder()
{
    QFETCH(bool, withSettings);
    QFETCH(bool, preferSlope);
    QFETCH(QStringList, runs);
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '{\"ErrorNo\" : 205, \"Run\" : %s}' $(wc -l < '"
                                  + QFile::encodeName(QDir(fakes.path()).filePath("runs.log")) + "')\nexit 205"));
    AudioTCOptions settings;
    settings.channel = 2;
    settings.frameRate = 25.0;
    const Ended ended = runDecode(decodeJob(withSettings ? &settings : nullptr, preferSlope));
    QCOMPARE(ended.results, 1);
    QCOMPARE(ended.code, 205);
    // The report is the last run's, not a mix of all of them.
    QCOMPARE(ended.report.value("Run").toInt(), 4);
    QCOMPARE(loggedRuns(), runs);
}

void JobsTest::reportInPiecesIsParsedWhole()
{
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '{\\n\"Success\" : true,\\n\"Time'\nsleep 0.2\n"
                              "printf 'code\" : \"01:00:00:00\",\\n'\nsleep 0.2\n"
                              "printf '\"ChannelFound\" : 1\\n}\\n'\nexit 0"));
    const Ended ended = runDecode(decodeJob());
    QCOMPARE(ended.results, 1);
    const QJsonObject &report = ended.report;
    QCOMPARE(report.value("Timecode").toString(), QStringLiteral("01:00:00:00"));
    QCOMPARE(report.value("ChannelFound").toInt(), 1);
    QCOMPARE(ended.code, 0);
}

void JobsTest::successWithoutTimecodeIsAFailure_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("cut short") << QByteArray("{\\n\"Success\" : true,\\n\"Time");
    QTest::newRow("no timecode") << QByteArray("{\"Success\" : true, \"ChannelFound\" : 0}");
    QTest::newRow("empty timecode") << QByteArray("{\"Success\" : true, \"Timecode\" : \"\"}");
}

// Exit code 0 alone is no result: the table would store an empty timecode as found.
void JobsTest::successWithoutTimecodeIsAFailure()
{
    QFETCH(QByteArray, output);
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '" + output + "'\nexit 0"));
    const Ended ended = runDecode(decodeJob());
    QCOMPARE(ended.results, 1);
    QCOMPARE(ended.code, DecodeJob::unreadableReportExitCode);
    // Not a "not found" either: no other algorithm is tried on it.
    QCOMPARE(loggedRuns().size(), 1);
}

QTEST_GUILESS_MAIN(JobsTest)
#include "tst_jobs.moc"
