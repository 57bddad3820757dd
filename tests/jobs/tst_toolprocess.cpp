// How a tool is found, how its end is reported (once per start, whatever
// happened), and that it never outlives the program that started it.
#include "FakeToolDir.h"
#include "TestWait.h"
#include "ToolProcess.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTextStream>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

class ToolProcessTest : public QObject
{
    Q_OBJECT

private slots:
    void lookupBesideExecutableFirst();
    void lookupOnSearchPath();
    void endsReportedOnce_data();
    void endsReportedOnce();
    void startFailureReportedOnceAndLater();
    void toolRunsBelowUsAndEndsWithUs();
};

void ToolProcessTest::lookupBesideExecutableFirst()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(ToolProcess::programFileName("Pelbrook"));
    QVERIFY2(QFileInfo(beside).isExecutable(), "Pelbrook is built beside the tests");
    FakeToolDir fakes;
    QVERIFY(fakes.add("Pelbrook", "exit 0"));
    QCOMPARE(ToolProcess::programPath("Pelbrook"), QFileInfo(beside).absoluteFilePath());
}

void ToolProcessTest::lookupOnSearchPath()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    FakeToolDir fakes;
    QVERIFY(fakes.add("dorrik-test-tool", "exit 0"));
    QCOMPARE(ToolProcess::programPath("dorrik-test-tool"), QDir(fakes.path()).filePath("dorrik-test-tool"));
    // Not anywhere: the bare name, so the start fails in the ordinary way.
    QCOMPARE(ToolProcess::programPath("dorrik-no-such-tool"), QStringLiteral("dorrik-no-such-tool"));
    // A file that is there but cannot be run is not taken.
    QFile plain(QDir(fakes.path()).filePath("dorrik-plain-file"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QCOMPARE(ToolProcess::programPath("dorrik-plain-file"), QStringLiteral("dorrik-plain-file"));
}

void ToolProcessTest::endsReportedOnce_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("expected"); // -1: any non-zero code

    // A killed tool (a cancel) is reported like a crash; the export's cancel test shows it.
    QTest::newRow("success") << "exit 0" << 0;
    QTest::newRow("tool's own error") << "exit 205" << 205;
    QTest::newRow("crash") << "kill -SEGV $$" << -1;
}

void ToolProcessTest::endsReportedOnce()
{
#ifndef Q_OS_UNIX
    QSKIP("fake tools are shell scripts");
#endif
    QFETCH(QString, script);
    QFETCH(int, expected);

    ToolProcess process;
    QSignalSpy finished(&process, &ToolProcess::toolFinished);
    process.startTool("/bin/sh", {"-c", script});
    QVERIFY(finished.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(finished.count(), 1);
    const int code = finished.at(0).at(0).toInt();
    if (expected >= 0)
        QCOMPARE(code, expected);
    else
        QVERIFY(code != 0);
}

void ToolProcessTest::startFailureReportedOnceAndLater()
{
    FakeToolDir fakes;
    fakes.hideSystemTools();
    ToolProcess process;
    QSignalSpy finished(&process, &ToolProcess::toolFinished);
    process.startTool("ffprobe", {"-version"});
    // Never from inside the start call: the caller's connections may follow it.
    QCOMPARE(finished.count(), 0);
    QVERIFY(finished.wait(TestWait::toolWorkMs));
    TestWait::drainEvents();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), ToolProcess::startFailedExitCode);
}

// Dozens of tools at once must leave the window its share of the cores, and
// however Dorrik ends (here: killed), no tool of its runs on.
void ToolProcessTest::toolRunsBelowUsAndEndsWithUs()
{
#ifndef Q_OS_LINUX
    QSKIP("reads the processes from /proc");
#else
    FakeToolDir fakes;
    QVERIFY(fakes.add("dorrik-hang", "exec sleep 600"));
    QProcess parent;
    parent.start(QCoreApplication::applicationFilePath(), {"--hold-tool", "dorrik-hang"});
    QVERIFY(QTest::qWaitFor([&] { return parent.canReadLine(); }, TestWait::toolWorkMs));
    const qint64 tool = parent.readLine().trimmed().toLongLong();
    QVERIFY(TestWait::processRunning(tool));
    QFile stat(QStringLiteral("/proc/%1/stat").arg(tool));
    QVERIFY(stat.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    QCOMPARE(fields.value(16).toInt(), qMin(getpriority(PRIO_PROCESS, 0) + 10, 19)); // nice

    QVERIFY(::kill(pid_t(parent.processId()), SIGKILL) == 0);
    const bool ended = QTest::qWaitFor([&] { return !TestWait::processRunning(tool); }, TestWait::toolWorkMs);
    if (!ended)
        ::kill(pid_t(tool), SIGKILL);
    QVERIFY(ended);
#endif
}

// Stands in for Dorrik: starts the tool, says its process id, and waits.
static int holdTool(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ToolProcess tool;
    tool.startTool(QString::fromLocal8Bit(argv[2]), {});
    tool.waitForStarted(TestWait::toolWorkMs);
    QTextStream(stdout) << tool.processId() << Qt::endl;
    return app.exec();
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--hold-tool") == 0)
        return holdTool(argc, argv);
    QCoreApplication app(argc, argv);
    ToolProcessTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_toolprocess.moc"
