#include "ExportWindow.h"
#include "FileList.h"
#include "WindowTexts.h"
#include "MainWindow.h"
#include "MetaTypes.h"
#include "TestMedia.h"
#include "TestWait.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList connectWarnings;

void collectConnectWarnings(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("QObject::connect")))
        connectWarnings << message;
}

QStringList actionTexts(const QList<QAction *> &actions)
{
    QStringList texts;
    for (const QAction *action : actions)
        texts << (action->isSeparator() ? QString("|") : action->text());
    return texts;
}

QAction *menuAction(QMainWindow &window, const QString &menu, const QString &text)
{
    for (QAction *top : window.menuBar()->actions()) {
        if (top->text() != menu)
            continue;
        for (QAction *action : top->menu()->actions()) {
            if (action->text() == text)
                return action;
        }
    }
    return nullptr;
}

using TestMedia::probeStream;
using TestMedia::recordOfStreams;

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    template <typename... Args>
    static void call(MainWindow &window, const char *slot, Args... args)
    {
        QVERIFY2(QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection, args...), slot);
    }

    static QString status(MainWindow &window)
    {
        return window.findChild<QLabel *>("statusLabel")->text();
    }

    static QPushButton *cancelButton(MainWindow &window)
    {
        return window.findChild<QPushButton *>("cancelButton");
    }

    static FileList *table(MainWindow &window)
    {
        return window.findChild<FileList *>("fileList");
    }

    static ExportWindow *exportDialog()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<ExportWindow *>(widget))
                return dialog;
        }
        return nullptr;
    }

    void addFile(MainWindow &window, const QString &name)
    {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        table(window)->fileModel()->addItemToTable(QFileInfo(file.fileName()));
    }

private slots:
    void initTestCase()
    {
        registerMetaTypes();
        QVERIFY(dir.isValid());
    }

    void structure()
    {
        connectWarnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectConnectWarnings);
        MainWindow window{QUrl()};
        qInstallMessageHandler(previous);
        QVERIFY2(connectWarnings.isEmpty(), qPrintable(connectWarnings.join('\n')));

        QCOMPARE(window.windowTitle(), QString("Corvanta Dorrik"));
        QCOMPARE(actionTexts(window.menuBar()->actions()), QStringList({"&File", "&Edit", "&About"}));
        const QList<QAction *> menus = window.menuBar()->actions();
        QCOMPARE(actionTexts(menus.at(0)->menu()->actions()),
                 QStringList({"&Add Files...", "Add &Folder...", "|", "&Save Report...", "|", "&Export All",
                              "&Export", "|", "&Exit"}));
        QCOMPARE(menuAction(window, "&File", "&Add Files...")->shortcut(), QKeySequence("Ctrl+O"));
        QCOMPARE(menuAction(window, "&File", "&Save Report...")->shortcut(), QKeySequence("Ctrl+S"));
        QCOMPARE(menuAction(window, "&File", "&Exit")->shortcut(), QKeySequence("Ctrl+Q"));
        QCOMPARE(actionTexts(menus.at(1)->menu()->actions()),
                 QStringList({"&Read Audio TC", "|", "&Remove Selected", "&Clear"}));
        QCOMPARE(menuAction(window, "&Edit", "&Remove Selected")->shortcut(), QKeySequence(QKeySequence::Delete));
        QCOMPARE(actionTexts(menus.at(2)->menu()->actions()), QStringList({"&About"}));

        QVERIFY(!window.findChild<QLabel *>("logoLabel")->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(cancelButton(window)->isHidden());
        QCOMPARE(status(window), QString("Status:"));
        auto *streams = window.findChild<QListWidget *>("streamInfoList");
        QCOMPARE(streams->selectionMode(), QAbstractItemView::NoSelection);

        // The right click offers export and read.
        QStringList offered;
        QTimer::singleShot(50, [&offered] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                offered = actionTexts(menu->actions());
                menu->close();
            }
        });
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(10, 10), window.mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(&window, &rightClick);
        QCOMPARE(offered, QStringList({"&Export", "&Read Audio TC"}));
    }

    void logoIsFoundFromAnyWorkingDirectory()
    {
        // Beside the executable's folder, as installed; never the working directory.
        QDir::setCurrent(dir.path());
        MainWindow window{QUrl()};
        QVERIFY(!window.findChild<QLabel *>("logoLabel")->pixmap(Qt::ReturnByValue).isNull());
    }

    void statusAndProgress()
    {
        MainWindow window{QUrl()};
        auto *progress = window.findChild<QProgressBar *>("progressBar");
        call(window, "statusProgressUpdate", Q_ARG(int, 3), Q_ARG(int, 9), Q_ARG(QString, "importing files..."));
        QCOMPARE(status(window), QString("Status: importing files..."));
        QCOMPARE(progress->maximum(), 9);
        QCOMPARE(progress->value(), 3);
        addFile(window, "i.mov");
        addFile(window, "i.mov");
        call(window, "importReady");
        QCOMPARE(status(window), QString("Status: import ready · 1 file already in the table, skipped"));
        call(window, "importReady");
        QCOMPARE(status(window), QString("Status: import ready"));
        QCOMPARE(progress->value(), 0);
        call(window, "statusProgressUpdate", Q_ARG(int, 2), Q_ARG(int, 4), Q_ARG(QString, "reading audio TC..."));
        call(window, "readingFinished");
        QCOMPARE(status(window), QString("Status: read finished"));
        QCOMPARE(progress->value(), 0);
    }

    void cancellingAnExport()
    {
        MainWindow window{QUrl()};
        window.show();
        QSignalSpy cancel(&window, &MainWindow::cancelExport);
        call(window, "onExportStart");
        QVERIFY(cancelButton(window)->isVisible());

        BoxAnswerer answerer(QMessageBox::No);
        cancelButton(window)->click();
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.lastTitle(), QString("Cancel Export"));
        QCOMPARE(answerer.lastText(), QString("Are you sure you want to cancel?"));
        QCOMPARE(cancel.count(), 0);
        QVERIFY(cancelButton(window)->isVisible());

        answerer.setAnswer(QMessageBox::Yes);
        cancelButton(window)->click();
        QCOMPARE(cancel.count(), 1);
        QVERIFY(!cancelButton(window)->isVisible());
        QCOMPARE(status(window), QString("Status: cancelling export..."));
        call(window, "statusProgressUpdate", Q_ARG(int, 30), Q_ARG(int, 60), Q_ARG(QString, "exporting files..."));
        QCOMPARE(status(window), QString("Status: cancelling export..."));

        call(window, "exportReady", Q_ARG(int, 1), Q_ARG(QStringList, {}));
        QCOMPARE(status(window), QString("Status: export cancelled"));
        QCOMPARE(answerer.count(), 2);
        call(window, "statusProgressUpdate", Q_ARG(int, 0), Q_ARG(int, 1), Q_ARG(QString, "export cancelled"));
        QCOMPARE(status(window), QString("Status: export cancelled"));
    }

    void exportResults()
    {
        MainWindow window{QUrl()};
        BoxAnswerer answerer;
        addFile(window, "x.mov");
        ExportOptions all;
        all.exportAll = true;
        table(window)->exportFiles(all);
        call(window, "onExportStart");
        call(window, "statusProgressUpdate", Q_ARG(int, 1), Q_ARG(int, 15), Q_ARG(QString, "exporting files..."));
        QCOMPARE(status(window), QString("Status: 0 of 1 files"));
        // Every file not written, verified and stamped is a line of the details, with its reason;
        // those left out by choice are listed apart from the errors.
        const QList<QPair<QString, int>> outcomes{
            {"ok.mov", ResultCode::Ok}, {"a.mov", ResultCode::ExportToolFailed},
            {"b.mov", ResultCode::CopiedWithoutTimecode}, {"<b>c</b>.mxf", ResultCode::VerificationFailed},
            {"d.wav", ResultCode::LeftOutOnlyTimecodeChannel}, {"e.mp4", ResultCode::RateMismatch},
            {"f.mxf", ResultCode::NoTargetName}};
        for (const auto &outcome : outcomes) {
            ExportResult result;
            result.fileName = outcome.first;
            result.resultCode = outcome.second;
            if (outcome.first == "a.mov")
                result.reason = "ffmpeg ended with 1: Error closing file a.MOV: No space left on device";
            call(window, "onExportFileResult", Q_ARG(ExportResult, result));
        }
        call(window, "exportReady", Q_ARG(int, 2), Q_ARG(QStringList, {}));
        QCOMPARE(answerer.count(), 1);
        QVERIFY(answerer.lastDetails().startsWith(
            "a.mov: ffmpeg ended with 1: Error closing file a.MOV: No space left on device\n"
            "b.mov: no audio timecode: copied without a new timecode\n"));
        QCOMPARE(answerer.lastTitle(), QString("Export Result"));
        QCOMPARE(answerer.lastText(), QString("Export finished.\nErrors occured with the folliwing files:\n"
                                              "a.mov, b.mov, <b>c</b>.mxf, e.mp4, \nf.mxf\n\n"
                                              "Left out by choice:\nd.wav"));
        QCOMPARE(answerer.lastFormat(), Qt::PlainText);
        QCOMPARE(status(window), QString("Status:"));
        QVERIFY(cancelButton(window)->isHidden());

        // The time left from the files finished so far: 3 in 15 s leave 17 for about 85 s.
        ExportResult done, refused;
        done.resultCode = ResultCode::Ok;
        refused.resultCode = ResultCode::RateMismatch;
        auto progress = &WindowTexts::exportProgressText;
        QCOMPARE(progress({done, done, done}, 20, 15000), QString("3 of 20 files · about 1 min 25 s left"));
        QCOMPARE(progress({done}, 100, 60000), QString("1 of 100 files · about 1 h 39 min left"));
        // Refusals end at once: the pace is that of the one file written.
        QCOMPARE(progress({refused, done, refused, refused}, 20, 15000), QString("4 of 20 files · about 4 min left"));
        QCOMPARE(progress({refused, refused}, 20, 9000), QString("2 of 20 files"));

        call(window, "onExportStart");
        call(window, "exportReady", Q_ARG(int, 0), Q_ARG(QStringList, {}));
        QCOMPARE(answerer.count(), 2);
        QCOMPARE(answerer.lastText(), QString("Corvanta did the job!"));
        QCOMPARE(answerer.lastDetails(), QString()); // the last job's results are gone

        call(window, "statusProgressUpdate", Q_ARG(int, 1), Q_ARG(int, 2), Q_ARG(QString, "x"));
        call(window, "exportReady", Q_ARG(int, 7), Q_ARG(QStringList, {}));
        QCOMPARE(answerer.count(), 2);
        QCOMPARE(window.findChild<QProgressBar *>("progressBar")->value(), 0);
    }

    void quittingDuringAnExport()
    {
        MainWindow window{QUrl()};
        window.show();
        QSignalSpy cancel(&window, &MainWindow::cancelExport);
        call(window, "onExportStart");
        BoxAnswerer answerer(QMessageBox::No);

        menuAction(window, "&File", "&Exit")->trigger();
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.lastTitle(), QString("Quit Application"));
        QCOMPARE(answerer.lastText(), QString("Are you sure you want to quit\n(and cancel the export process)?"));
        window.close();
        QCOMPARE(answerer.count(), 2);
        QVERIFY(window.isVisible());
        QCOMPARE(cancel.count(), 0);

        answerer.setAnswer(QMessageBox::Yes);
        window.close();
        QCOMPARE(cancel.count(), 1);
        QVERIFY(window.isVisible());
        QVERIFY(!cancelButton(window)->isVisible());

        // The window closes once the export has ended.
        call(window, "exportReady", Q_ARG(int, 1), Q_ARG(QStringList, {}));
        QVERIFY(!window.isVisible());
        QCOMPARE(answerer.count(), 3);
    }

    void exitClosesTheDialogsToo()
    {
        MainWindow window{QUrl()};
        window.show();
        menuAction(window, "&File", "&Export All")->trigger();
        menuAction(window, "&Edit", "&Read Audio TC")->trigger();
        QVERIFY(exportDialog()->isVisible());
        BoxAnswerer answerer;
        menuAction(window, "&File", "&Exit")->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(!exportDialog()->isVisible());
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY2(!widget->isVisible(), qPrintable(widget->windowTitle()));
        QCOMPARE(answerer.count(), 0);
    }

    void exportEntriesAndNoSecondExport()
    {
        MainWindow window{QUrl()};
        window.show();
        ExportWindow *dialog = exportDialog();
        menuAction(window, "&File", "&Export All")->trigger();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QString("Export all files"));
        menuAction(window, "&File", "&Export")->trigger();
        QCOMPARE(dialog->windowTitle(), QString("Export selected files"));
        QCOMPARE(exportDialog(), dialog);

        addFile(window, "one.mov");
        FileList *list = table(window);
        list->fileModel()->onFFProbeResult(FileData(), 0, 0);
        list->selectRow(0);
        QSignalSpy exportReq(list->fileModel(), &FileTableModel::exportFilesReq);
        dialog->findChild<QLineEdit *>()->setText(dir.path());
        QPushButton *exportButton = nullptr;
        for (QPushButton *b : dialog->findChildren<QPushButton *>()) {
            if (b->text() == "Export")
                exportButton = b;
        }
        exportButton->click();
        QCOMPARE(exportReq.count(), 1);
        QVERIFY(!dialog->isVisible());

        // The controller has not even answered yet: both entries refuse.
        menuAction(window, "&File", "&Export")->trigger();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(status(window), QString("Status: an export is already running"));
        call(window, "onExportStart");
        menuAction(window, "&File", "&Export All")->trigger();
        QVERIFY(!dialog->isVisible());
        // A dialog already open when the export began cannot start a second one either.
        dialog->show();
        exportButton->click();
        QCOMPARE(exportReq.count(), 1);
        QCOMPARE(status(window), QString("Status: an export is already running"));

        BoxAnswerer answerer;
        call(window, "exportReady", Q_ARG(int, 0), Q_ARG(QStringList, {}));
        menuAction(window, "&File", "&Export")->trigger();
        QVERIFY(dialog->isVisible());
        exportButton->click();
        QCOMPARE(exportReq.count(), 2);
    }

    void deleteKey()
    {
        MainWindow window{QUrl()};
        window.show();
        FileList *list = table(window);
        FileTableModel *model = list->fileModel();
        addFile(window, "k0.mov");
        addFile(window, "k1.mov");
        auto *streams = window.findChild<QListWidget *>("streamInfoList");
        model->onFFProbeResult(FileData(), 0, 0);
        emit list->clicked(list->model()->index(0, 0));
        QVERIFY(streams->count() > 0);

        // Rows go while their reads are still outstanding.
        list->selectRow(1);
        QTest::keyClick(&window, Qt::Key_Delete);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->records().at(0).fileName, QString("k0.mov"));
        QCOMPARE(status(window), QString("Status: "));
        QCOMPARE(streams->count(), 0);

        // Not while an export still needs the row, by key, menu or Clear.
        ExportOptions options;
        options.exportAll = true;
        list->exportFiles(options);
        addFile(window, "k2.mov");
        list->selectRow(0);
        emit list->clicked(list->model()->index(0, 0));
        QTest::keyClick(&window, Qt::Key_Delete);
        menuAction(window, "&Edit", "&Clear")->trigger();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(status(window), QString("Status: files cannot be removed while an export is running"));
        QVERIFY(streams->count() > 0);
        // A row the export was not given may go; so may one it has reported on.
        list->selectRow(1);
        menuAction(window, "&Edit", "&Remove Selected")->trigger();
        QCOMPARE(model->rowCount(), 1);
        ExportResult result;
        result.fileNumber = 0;
        model->onExportFileResult(result);

        // The usual way: the table has the focus and passes the key on.
        addFile(window, "k3.mov");
        list->selectRow(0);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->records().at(0).fileName, QString("k3.mov"));
        menuAction(window, "&Edit", "&Clear")->trigger();
        QCOMPARE(model->rowCount(), 0);
        list->exportFinished();
    }

    // The type follows the name; a failure keeps its reason and writes nothing.
    void savingAReport()
    {
        MainWindow window{QUrl()};
        addFile(window, "s0.mov");
        table(window)->fileModel()->onFFProbeResult(FileData(), 0, 1000);
        QString error;

        QVERIFY(!window.saveReport(dir.filePath("report.txt"), &error));
        QCOMPARE(status(window), "Status: report not saved: " + error);
        QVERIFY(!QFile::exists(dir.filePath("report.txt")));
        QVERIFY(!window.saveReport(dir.filePath("missing/report.csv"), &error));
        QVERIFY(!error.isEmpty());

        // The suffix in any case; what is written is the menu test's and the report test's.
        QVERIFY(window.saveReport(dir.filePath("report.ALE"), &error));
        QVERIFY(status(window).startsWith("Status: report saved to "));
    }

    // File menu entries through their dialogs: a folder comes in the way a drop
    // does, and a report name without a suffix gets the chosen type's.
    void fileMenuDialogs()
    {
        const QString cards = dir.filePath("cards");
        QVERIFY(QDir().mkpath(cards));
        for (const char *name : {"c1.mov", "notes.txt"}) {
            QFile file(QDir(cards).filePath(QString(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        MainWindow window{QUrl()};
        window.show();
        QString typed;
        QStringList unexpected;
        QStringList startedIn;
        QTimer answer;
        answer.setInterval(10);
        connect(&answer, &QTimer::timeout, [&typed, &unexpected, &startedIn] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                startedIn << dialog->directory().absolutePath();
                // Typed as a user would: selectFile() leaves the name field alone
                // once that field has the focus, which under load it may already have.
                auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                if (name)
                    name->setText(typed);
                else
                    dialog->selectFile(typed);
                QMetaObject::invokeMethod(dialog, "accept");
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                // Told, and closed, so the test fails with it instead of waiting.
                unexpected << box->text();
                box->reject();
            }
        });
        answer.start();

        typed = cards;
        menuAction(window, "&File", "Add &Folder...")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(table(window)->records().size(), 1, TestWait::toolWorkMs);
        QCOMPARE(table(window)->records().first().fileName, QString("c1.mov"));

        typed = dir.filePath("day");
        menuAction(window, "&File", "&Save Report...")->trigger();
        QFile csv(dir.filePath("day.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY(csv.readAll().contains("\r\nc1.mov,"));
        typed = dir.filePath("day.ale");
        menuAction(window, "&File", "&Save Report...")->trigger();
        QFile ale(dir.filePath("day.ale"));
        QVERIFY(ale.open(QIODevice::ReadOnly));
        QVERIFY(ale.readAll().startsWith("Heading\r\n"));
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join('\n')));
        // Home first, then where the last dialog was left.
        QCOMPARE(startedIn, QStringList({QDir::homePath(), cards, dir.path()}));
    }

    void aboutBox()
    {
        MainWindow window{QUrl()};
        BoxAnswerer answerer;
        menuAction(window, "&About", "&About")->trigger();
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.lastTitle(), QString("About"));
        QCOMPARE(answerer.lastFormat(), Qt::RichText);
        QVERIFY(answerer.lastText().contains("Corvanta Dorrik V1.00<br>"));
        QVERIFY(answerer.lastText().contains("<a href='https://www.corvanta.com'>"));
    }

    void streamInformation()
    {
        const FileData mov = recordOfStreams("mov", {probeStream(0, "video", "h264", {{"width", 1920}, {"height", 1080}}),
                                            probeStream(1, "audio", "pcm_s24le", {{"channels", 2}, {"channel_layout", "stereo"}}),
                                            probeStream(2, "audio", "aac", {{"channels", 1}})});
        QCOMPARE(WindowTexts::streamInfoLines(mov),
                 QStringList({" Streams:", "   0: video (h264)", "     size: 1920x1080", "   1: audio (pcm_s24le)",
                              "     layout: stereo", "     channels: 2", "   2: audio (aac)", "     channels: 1"}));

        const FileData mxf = recordOfStreams("MXF", {probeStream(0, "video", ""),
                                            probeStream(1, "audio", "pcm_s24le", {{"channels", 1}}),
                                            probeStream(2, "audio", "pcm_s24le", {{"channels", 1}})});
        QCOMPARE(WindowTexts::streamInfoLines(mxf),
                 QStringList({" Streams:", "   0: video ()", "     size: 0x0", "   1: audio (pcm_s24le)",
                              "   2: audio (pcm_s24le)"}));

        // A click on a row fills the list from that row's record.
        MainWindow window{QUrl()};
        addFile(window, "clip.mov");
        table(window)->fileModel()->onFFProbeResult(mov, 0, 0);
        emit table(window)->clicked(table(window)->model()->index(0, 2));
        auto *list = window.findChild<QListWidget *>("streamInfoList");
        QCOMPARE(list->count(), 8);
        QCOMPARE(list->item(2)->text(), QString("     size: 1920x1080"));
    }

    void newVersionMessage_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("expected");
        const QString head = "<p style='margin-right:5em;'> There is a new software version available!<br>"
                             "You can download it from the following link:<br>";
        QTest::newRow("1.1 with details")
            << updateDocument("1", "1", "https://dl.corvanta.com/d.zip", "Faster import")
            << head + "<a href='https://dl.corvanta.com/d.zip'>https://dl.corvanta.com/d.zip</a></p>"
                      "Details:<br><i>Faster import</i>";
        QTest::newRow("2.0 without details")
            << updateDocument("2", "0", "http://dl.corvanta.com/d.zip", QString())
            << head + "<a href='http://dl.corvanta.com/d.zip'>http://dl.corvanta.com/d.zip</a></p>";
        QTest::newRow("hostile document")
            << updateDocument("1", "5", "javascript:alert(1)",
                              "&lt;img src=x onerror=alert(2)&gt;&lt;a href='file:///etc/passwd'&gt;see&lt;/a&gt;")
            << head + "javascript:alert(1)</p>Details:<br><i>&lt;img src=x onerror=alert(2)&gt;"
                      "&lt;a href=&#39;file:///etc/passwd&#39;&gt;see&lt;/a&gt;</i>";
        QTest::newRow("quote in the link")
            << updateDocument("1", "1", "https://dl.corvanta.com/a'onclick='x", QString())
            << head + "<a href='https://dl.corvanta.com/a%27onclick=%27x'>"
                      "https://dl.corvanta.com/a&#39;onclick=&#39;x</a></p>";
    }

    void newVersionMessage()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, expected);
        LoopbackHttpServer server;
        server.setResponse(200, document);
        BoxAnswerer answerer;
        MainWindow window{server.url()};
        QTRY_COMPARE_WITH_TIMEOUT(answerer.count(), 1, 60000);
        QCOMPARE(answerer.lastTitle(), QString("New Version Available"));
        QCOMPARE(answerer.lastFormat(), Qt::RichText);
        QCOMPARE(answerer.lastText(), expected);
    }

    // The same or an older version: no message. A box would be open, and
    // answered, before the call returns.
    void notNewerShowsNothing()
    {
        BoxAnswerer answerer;
        MainWindow window{QUrl()};
        const QUrl link("https://dl.corvanta.com/d.zip");
        call(window, "versionInfoCheck", Q_ARG(uint, 1), Q_ARG(uint, 0), Q_ARG(QString, "x"), Q_ARG(QUrl, link));
        call(window, "versionInfoCheck", Q_ARG(uint, 0), Q_ARG(uint, 9), Q_ARG(QString, "x"), Q_ARG(QUrl, link));
        QCOMPARE(answerer.count(), 0);
        call(window, "versionInfoCheck", Q_ARG(uint, 1), Q_ARG(uint, 1), Q_ARG(QString, "x"), Q_ARG(QUrl, link));
        QCOMPARE(answerer.count(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
