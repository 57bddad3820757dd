#include "ExportTarget.h"
#include "MainControl.h"
#include "MetaTypes.h"
#include "TestWait.h"
#include "WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeFile(const QString &path, const QByteArray &content = "x")
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

} // namespace

class TestWorkFolder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createdOwnerOnlyAndLooseOnesTightened();
    void removalTakesContentButNothingBehindLinksInside();
    void linkInPlaceOfTheFolderIsNeitherUsedNorRemoved();
    void folderOfAnotherUserIsNeitherUsedNorRemoved();
    void leftoversOfEndedProcessesAreRemoved();

private:
    QTemporaryDir outside;
};

void TestWorkFolder::init()
{
    QVERIFY(outside.isValid());
    removeWorkFolder();
    QVERIFY(!QFileInfo::exists(workFolderPath()));
}

void TestWorkFolder::cleanup()
{
    const QFileInfo info(workFolderPath());
    if (info.isSymLink())
        QFile::remove(workFolderPath());
    else if (info.exists()) {
        ::chown(QFile::encodeName(workFolderPath()).constData(), ::getuid(), ::getgid());
        QDir(workFolderPath()).removeRecursively();
    }
}

void TestWorkFolder::createdOwnerOnlyAndLooseOnesTightened()
{
    const mode_t oldMask = ::umask(0);
    const bool prepared = prepareWorkSubFolder(QStringLiteral("clip"));
    ::umask(oldMask);
    QVERIFY(prepared);
    QCOMPARE(modeOf(workFolderPath()), mode_t(0700));
    QVERIFY(QFileInfo(workSubFolderPath(QStringLiteral("clip"))).isDir());

    // A folder of ours left open by an earlier program is closed before use.
    QVERIFY(::chmod(QFile::encodeName(workFolderPath()).constData(), 0777) == 0);
    QVERIFY(prepareWorkSubFolder(QStringLiteral("other")));
    QCOMPARE(modeOf(workFolderPath()), mode_t(0700));
    // Files already in a sub-folder are left alone.
    writeFile(workSubFolderPath(QStringLiteral("clip")) + QStringLiteral("/clip_1_0.wav"));
    QVERIFY(prepareWorkSubFolder(QStringLiteral("clip")));
    QVERIFY(QFileInfo::exists(workSubFolderPath(QStringLiteral("clip")) + QStringLiteral("/clip_1_0.wav")));
}

void TestWorkFolder::removalTakesContentButNothingBehindLinksInside()
{
    QVERIFY(prepareWorkSubFolder(QStringLiteral("clip")));
    const QString sub = workSubFolderPath(QStringLiteral("clip"));
    writeFile(sub + QStringLiteral("/clip_1_0.wav"));
    writeFile(sub + QStringLiteral("/.hidden"));

    const QString precious = outside.filePath(QStringLiteral("precious"));
    QVERIFY(QDir().mkdir(precious));
    writeFile(precious + QStringLiteral("/keep.wav"));
    writeFile(outside.filePath(QStringLiteral("keep.mov")));
    QVERIFY(QFile::link(precious, sub + QStringLiteral("/linkToFolder")));
    QVERIFY(QFile::link(outside.filePath(QStringLiteral("keep.mov")),
                        workFolderPath() + QStringLiteral("/linkToFile")));

    QVERIFY(removeWorkFolder());
    QVERIFY(!QFileInfo::exists(workFolderPath()));
    QVERIFY(QFileInfo::exists(precious + QStringLiteral("/keep.wav")));
    QVERIFY(QFileInfo::exists(outside.filePath(QStringLiteral("keep.mov"))));
    // Nothing there is also a success.
    QVERIFY(removeWorkFolder());
}

void TestWorkFolder::linkInPlaceOfTheFolderIsNeitherUsedNorRemoved()
{
    const QString planted = outside.filePath(QStringLiteral("planted"));
    QVERIFY(QDir().mkdir(planted));
    writeFile(planted + QStringLiteral("/victim.wav"));
    QVERIFY(QFile::link(planted, workFolderPath()));

    QVERIFY(!removeWorkFolder());
    QVERIFY(!prepareWorkSubFolder(QStringLiteral("clip")));
    QVERIFY(QFileInfo(workFolderPath()).isSymLink());
    QVERIFY(QFileInfo::exists(planted + QStringLiteral("/victim.wav")));
    QVERIFY(!QFileInfo::exists(planted + QStringLiteral("/clip")));

    // A dangling link is not followed to create a folder at its target.
    QVERIFY(QFile::remove(workFolderPath()));
    const QString target = outside.filePath(QStringLiteral("notYet"));
    QVERIFY(QFile::link(target, workFolderPath()));
    QVERIFY(!prepareWorkSubFolder(QStringLiteral("clip")));
    QVERIFY(!QFileInfo::exists(target));
}

void TestWorkFolder::folderOfAnotherUserIsNeitherUsedNorRemoved()
{
    if (::getuid() != 0)
        QSKIP("handing a folder to another user needs root");
    QVERIFY(QDir().mkdir(workFolderPath()));
    writeFile(workFolderPath() + QStringLiteral("/theirs.wav"));
    QVERIFY(::chown(QFile::encodeName(workFolderPath()).constData(), 65534, 65534) == 0);

    QVERIFY(!removeWorkFolder());
    QVERIFY(!prepareWorkSubFolder(QStringLiteral("clip")));
    QVERIFY(QFileInfo::exists(workFolderPath() + QStringLiteral("/theirs.wav")));
}

// What an ended (crashed, killed) Dorrik left goes: its working folder when a
// controller starts, its partial files when an export into their folder
// starts. Nothing of a running process, of another machine or of another
// name, nothing through a link; our own working folder goes at exit too.
void TestWorkFolder::leftoversOfEndedProcessesAreRemoved()
{
    registerMetaTypes();
    // Another process of the same user has a folder of its own.
    QCOMPARE(workFolderPath(), QDir(QDir::tempPath()).filePath(QStringLiteral("CorvantaSyncTemp-%1-%2")
                                                                 .arg(::getuid()).arg(QCoreApplication::applicationPid())));
    QProcess live, ended;
    live.start("sleep", {"600"});
    ended.start("true", QStringList());
    QVERIFY(live.waitForStarted() && ended.waitForStarted());
    const QString livePid = QString::number(live.processId()), endedPid = QString::number(ended.processId());
    QVERIFY(ended.waitForFinished());
    auto of = [](QString path, const QString &pid) {
        return path.replace(QRegularExpression(QStringLiteral("\\b%1\\b").arg(QCoreApplication::applicationPid())), pid);
    };
    QTemporaryDir out;
    QString error;
    const QString ours = ExportTarget::createPartialPath(out.filePath(QStringLiteral("clip.MOV")), &error);
    QVERIFY2(!ours.isEmpty(), qPrintable(error));
    const QStringList gone{workSubFolderPath("old") + "/old_1_3.wav", of(workSubFolderPath("clip"), endedPid) + "/1_1.wav",
                           of(ours, endedPid)};
    const QStringList kept{of(workSubFolderPath("clip"), livePid) + "/1_1.wav", of(workFolderPath(), endedPid) + "-mine/x",
                           ours, of(ours, livePid), QString(ours).replace(QRegularExpression("-[0-9a-f]{8}-"), "-00000000-"),
                           out.filePath("clip.MOV"), out.filePath(".clip.partial-Ab12Cd.MOV")};
    for (const QString &path : gone + kept) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        writeFile(path);
    }
    writeFile(outside.filePath("keep.wav"));
    QVERIFY(QFile::link(outside.filePath("keep.wav"), of(ours, "999999999")));

    auto *control = new MainControl;
    QVERIFY(!QFileInfo::exists(workFolderPath()));
    QVERIFY(!QFileInfo::exists(of(workFolderPath(), endedPid)));
    QVERIFY(QFileInfo::exists(of(ours, endedPid)));
    FileData missing;
    missing.fileName = missing.filePath = QStringLiteral("/nonexistent/clip.mov");
    missing.baseName = QStringLiteral("clip");
    missing.suffix = QStringLiteral("mov");
    ExportOptions options;
    options.targetFolderPath = out.path();
    QSignalSpy ready(control, &MainControl::exportReady);
    control->onExportReq({missing}, options);
    QVERIFY(!QFileInfo::exists(of(ours, endedPid)));
    for (const QString &path : kept)
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QVERIFY(QFileInfo(of(ours, "999999999")).isSymLink());
    QVERIFY(QFileInfo::exists(outside.filePath("keep.wav")));
    QVERIFY(ready.wait(TestWait::toolWorkMs));

    QVERIFY(prepareWorkSubFolder(QStringLiteral("new")));
    delete control;
    QVERIFY(!QFileInfo::exists(workFolderPath()));
    for (const QString &pid : {livePid, endedPid + "-mine"})
        QDir(of(workFolderPath(), pid)).removeRecursively();
    live.kill();
    live.waitForFinished();
}

QTEST_GUILESS_MAIN(TestWorkFolder)
#include "tst_workfolder.moc"
