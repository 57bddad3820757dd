// LTCHandler in a folder without Pelbrook beside it, so PATH alone decides what
// runs: no decoder at all (start failure), or a fake one that crashes, hangs,
// fails in a chosen way or records its arguments.
#include "FakeToolDir.h"
#include "LTCHandler.h"
#include "MetaTypes.h"
#include "TestWait.h"
#include "ToolProcess.h"

#include <QSignalSpy>
#include <QtTest>

class IsolatedHandlersTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void decoderStartFailure_data();
    void decoderStartFailure();

    void decoderCrashIsNotRetried();
    void otherErrorsAreNotRetried_data();
    void otherErrorsAreNotRetried();
    void firstRunArguments_data();
    void firstRunArguments();
    void retriesAlgorithmsInOrder_data();
    void retriesAlgorithmsInOrder();
    void reportInPiecesIsParsedWhole();
    void successWithoutTimecodeIsAFailure_data();
    void successWithoutTimecodeIsAFailure();
    void destroyedDuringRetryLeavesNoProcess();

private:
    QStringList loggedRuns() const;
    bool addDecoder(FakeToolDir &fakes, const QByteArray &body);

    QString logPath;
};

void IsolatedHandlersTest::initTestCase()
{
    registerMetaTypes();
    QVERIFY2(!QFileInfo::exists(QDir(QCoreApplication::applicationDirPath()).filePath(ToolProcess::programFileName("Pelbrook"))),
             "this test must run from a folder without Pelbrook");
}

// A fake Pelbrook that logs its arguments (one run per line) and then runs `body`.
bool IsolatedHandlersTest::addDecoder(FakeToolDir &fakes, const QByteArray &body)
{
    logPath = QDir(fakes.path()).filePath("runs.log");
    QFile::remove(logPath);
    return fakes.add(ToolProcess::programFileName("Pelbrook"),
                     "IFS='|'; echo \"$*\" >> '" + QFile::encodeName(logPath) + "'\n" + body);
}

QStringList IsolatedHandlersTest::loggedRuns() const
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

void IsolatedHandlersTest::decoderStartFailure_data()
{
    QTest::addColumn<bool>("withSettings");
    QTest::newRow("automatic") << false;
    QTest::newRow("with settings") << true;
}

void IsolatedHandlersTest::decoderStartFailure()
{
    QFETCH(bool, withSettings);
    FakeToolDir fakes;
    fakes.hideSystemTools();
    LTCHandler handler;
    QSignalSpy spy(&handler, &LTCHandler::pelbrookResult);
    if (withSettings)
        handler.readTimecode("/w/a_1_0.wav", AudioTCOptions(), false);
    else
        handler.readTimecode("/w/a_1_0.wav", false);
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(2).toString(), QStringLiteral("/w/a_1_0.wav"));
    QCOMPARE(spy.at(0).at(3).toInt(), int(ResultCode::DecoderStartFailed));
    QCOMPARE(handler.runsStarted(), 1);
}

void IsolatedHandlersTest::decoderCrashIsNotRetried()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    FakeToolDir fakes;
    // A full success report, then the crash: nothing of it may be taken as a result.
    QVERIFY(addDecoder(fakes, "printf '{\\n\"Success\" : true,\\n\"Timecode\" : \"10:00:00:00\"\\n}\\n'\n"
                              "kill -SEGV $$"));
    LTCHandler handler;
    QSignalSpy spy(&handler, &LTCHandler::pelbrookResult);
    handler.readTimecode("/w/a_1_0.wav", false);
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(3).toInt(), int(ResultCode::DecoderCrashed));
    QVERIFY(spy.at(0).at(1).toJsonObject().isEmpty());
    QCOMPARE(loggedRuns().size(), 1);
}

void IsolatedHandlersTest::otherErrorsAreNotRetried_data()
{
    QTest::addColumn<int>("code");
    for (int code : {201, 202, 203, 204, 1})
        QTest::newRow(qPrintable(QString::number(code))) << code;
}

void IsolatedHandlersTest::otherErrorsAreNotRetried()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    QFETCH(int, code);
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '{\"ErrorNo\" : " + QByteArray::number(code) + "}'\nexit "
                                  + QByteArray::number(code)));
    LTCHandler handler;
    QSignalSpy spy(&handler, &LTCHandler::pelbrookResult);
    handler.readTimecode("/w/a_1_0.wav", false);
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(3).toInt(), code);
    QCOMPARE(spy.at(0).at(1).toJsonObject().value("ErrorNo").toInt(), code);
    QCOMPARE(loggedRuns().size(), 1);
}

void IsolatedHandlersTest::firstRunArguments_data()
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
void IsolatedHandlersTest::firstRunArguments()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    QFETCH(int, algorithm);
    QFETCH(int, channel);
    QFETCH(double, frameRate);
    QFETCH(bool, preferSlope);
    QFETCH(QString, expected);
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '{\"Success\" : true, \"Timecode\" : \"01:00:00:00\"}'\nexit 0"));
    LTCHandler handler;
    QSignalSpy spy(&handler, &LTCHandler::pelbrookResult);
    AudioTCOptions options;
    options.readingAlgorithm = ReadAlgorithm(algorithm);
    options.channel = channel;
    options.frameRate = frameRate;
    if (algorithm < 0)
        handler.readTimecode("/w/a b_1_0.wav", preferSlope);
    else
        handler.readTimecode("/w/a b_1_0.wav", options, preferSlope);
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    QCOMPARE(spy.at(0).at(3).toInt(), 0);
    QCOMPARE(loggedRuns(), QStringList{expected});
}

void IsolatedHandlersTest::retriesAlgorithmsInOrder_data()
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

void IsolatedHandlersTest::retriesAlgorithmsInOrder()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    QFETCH(bool, withSettings);
    QFETCH(bool, preferSlope);
    QFETCH(QStringList, runs);
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '{\"ErrorNo\" : 205, \"Run\" : %s}' $(wc -l < '"
                                  + QFile::encodeName(QDir(fakes.path()).filePath("runs.log")) + "')\nexit 205"));
    LTCHandler handler;
    QSignalSpy spy(&handler, &LTCHandler::pelbrookResult);
    AudioTCOptions settings;
    settings.channel = 2;
    settings.frameRate = 25.0;
    if (withSettings)
        handler.readTimecode("/w/a_1_0.wav", settings, preferSlope);
    else
        handler.readTimecode("/w/a_1_0.wav", preferSlope);
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(3).toInt(), 205);
    // The report is the last run's, not a mix of all of them.
    QCOMPARE(spy.at(0).at(1).toJsonObject().value("Run").toInt(), 4);
    QCOMPARE(loggedRuns(), runs);
}

void IsolatedHandlersTest::reportInPiecesIsParsedWhole()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '{\\n\"Success\" : true,\\n\"Time'\nsleep 0.2\n"
                              "printf 'code\" : \"01:00:00:00\",\\n'\nsleep 0.2\n"
                              "printf '\"ChannelFound\" : 1\\n}\\n'\nexit 0"));
    LTCHandler handler;
    QSignalSpy spy(&handler, &LTCHandler::pelbrookResult);
    handler.readTimecode("/w/a_1_0.wav", false);
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    const QJsonObject report = spy.at(0).at(1).toJsonObject();
    QCOMPARE(report.value("Timecode").toString(), QStringLiteral("01:00:00:00"));
    QCOMPARE(report.value("ChannelFound").toInt(), 1);
    QCOMPARE(spy.at(0).at(3).toInt(), 0);
}

void IsolatedHandlersTest::successWithoutTimecodeIsAFailure_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("cut short") << QByteArray("{\\n\"Success\" : true,\\n\"Time");
    QTest::newRow("no timecode") << QByteArray("{\"Success\" : true, \"ChannelFound\" : 0}");
    QTest::newRow("empty timecode") << QByteArray("{\"Success\" : true, \"Timecode\" : \"\"}");
}

// Exit code 0 alone is no result: the table would store an empty timecode as found.
void IsolatedHandlersTest::successWithoutTimecodeIsAFailure()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    QFETCH(QByteArray, output);
    FakeToolDir fakes;
    QVERIFY(addDecoder(fakes, "printf '" + output + "'\nexit 0"));
    LTCHandler handler;
    QSignalSpy spy(&handler, &LTCHandler::pelbrookResult);
    handler.readTimecode("/w/a_1_0.wav", false);
    QVERIFY(spy.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(3).toInt(), LTCHandler::unreadableReportExitCode);
    // Not a "not found" either: no other algorithm is tried on it.
    QCOMPARE(loggedRuns().size(), 1);
}

void IsolatedHandlersTest::destroyedDuringRetryLeavesNoProcess()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#else
    FakeToolDir fakes;
    // The first run finds nothing; the retry hangs.
    const QByteArray log = QFile::encodeName(QDir(fakes.path()).filePath("runs.log"));
    QVERIFY(addDecoder(fakes, "if [ $(wc -l < '" + log + "') -eq 1 ]; then exit 205; fi\nexec sleep 30"));
    auto *handler = new LTCHandler;
    QSignalSpy spy(handler, &LTCHandler::pelbrookResult);
    handler->readTimecode("/w/a_1_0.wav", false);
    QTRY_COMPARE_WITH_TIMEOUT(handler->runsStarted(), 2, TestWait::toolWorkMs);
    QProcess *running = nullptr;
    for (QProcess *process : handler->findChildren<QProcess *>()) {
        if (process->state() != QProcess::NotRunning)
            running = process;
    }
    QVERIFY(running);
    QVERIFY(running->waitForStarted(TestWait::toolWorkMs));
    const qint64 pid = running->processId();
    QTRY_COMPARE_WITH_TIMEOUT(loggedRuns().size(), 2, TestWait::toolWorkMs);
    delete handler;
    QVERIFY(!TestWait::processRunning(pid));
    TestWait::drainEvents();
    QCOMPARE(spy.count(), 0);
#endif
}

QTEST_GUILESS_MAIN(IsolatedHandlersTest)
#include "tst_isolatedhandlers.moc"
