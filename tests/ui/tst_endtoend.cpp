// The whole window with the real controller and tools, started on generated
// clips handed over as command-line paths.

#include "ExportWindow.h"
#include "FileList.h"
#include "MainWindow.h"
#include "MetaTypes.h"
#include "ReportWriter.h"
#include "TestMedia.h"
#include "TestWait.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

using TestMedia::MediaRecipe;

class EndToEndTest : public QObject
{
    Q_OBJECT

private:
    struct Expected
    {
        QString duration;
        QString fileTC;
        QString audioTC;
    };

    static QString cell(const FileList &list, int row, int column)
    {
        return list.model()->index(row, column).data().toString();
    }

private slots:
    void importOfGeneratedClips()
    {
        registerMetaTypes();
        QDir::setCurrent(QCoreApplication::applicationDirPath());
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QStringList arguments;
        QMap<QString, Expected> expected;

        MediaRecipe mov = TestMedia::recipe("A001 cam é.mov", 2, 1);
        mov.fileTimecode = "09:00:00:00";
        arguments << TestMedia::makeMov(dir.path(), mov);
        expected[mov.fileName] = {"00:00:04", "09:00:00:00", "10:00:00:00@25.00 on ch. 2"};

        MediaRecipe df = TestMedia::recipe("B002_df.mov");
        df.fps = "29.97";
        df.dropFrame = true;
        df.ltcStart = "01:00:00:00";
        arguments << TestMedia::makeMov(dir.path(), df);
        expected[df.fileName] = {"00:00:04", "file TC not found", "01:00:00;00@29.97 DF  on ch. 1"};

        MediaRecipe mxf = TestMedia::recipe("C003.MXF");
        mxf.audioStreams = 2;
        mxf.channels = 1;
        mxf.ltcStream = 1;
        mxf.ltcStart = "11:30:00:00";
        mxf.fileTimecode = "11:00:00:00";
        arguments << TestMedia::makeMxf(dir.path(), mxf);
        expected[mxf.fileName] = {"00:00:04", "11:00:00:00", "11:30:00:00@25.00 on ch. 1"};

        // A generator plugged in late: found further in, named for the first sample.
        MediaRecipe late = TestMedia::recipe("E005_late.mov");
        late.seconds = 9.0;
        late.ltcgenArguments = QStringList{"--lead-in", "7"};
        arguments << TestMedia::makeMov(dir.path(), late);
        expected[late.fileName] = {"00:00:09", "file TC not found", "10:00:00:00@25.00 on ch. 1 (found at 00:00:07)"};

        MediaRecipe none = TestMedia::recipe("D004_no_ltc.mov");
        none.ltcStream = -1;
        arguments << TestMedia::makeMov(dir.path(), none);
        expected[none.fileName] = {"00:00:04", "file TC not found", "audio TC not found"};

        // A recorder's folder: the first WAV carries LTC, its sibling only sound.
        const QString sound = dir.filePath("sound roll");
        QVERIFY(QDir().mkpath(sound));
        const qint64 reference = qint64(16 * 3600 + 5 * 60) * 48000;
        MediaRecipe wav = TestMedia::recipe("T012_1.wav", 2, 0, "16:05:00:00");
        const QString first = TestMedia::makeBwfWav(sound, wav, reference);
        wav.fileName = "T012_2.WAV";
        wav.ltcStream = -1;
        const QString second = TestMedia::makeBwfWav(sound, wav, reference);
        QVERIFY2(!first.isEmpty() && !second.isEmpty(), qPrintable(TestMedia::lastError()));
        const QDateTime written = QDateTime::fromString("2024-05-01T16:05:04", Qt::ISODate);
        for (const QString &path : {first, second}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(written, QFileDevice::FileModificationTime));
        }
        arguments << sound;
        expected["T012_1.wav"] = {"00:00:04", "16:05:00.000", "16:05:00:00@25.00 on ch. 1"};
        expected["T012_2.WAV"] = {"00:00:04", "16:05:00.000", "16:05:00:00@(linked)"};

        for (const QString &path : qAsConst(arguments))
            QVERIFY2(!path.isEmpty(), qPrintable(TestMedia::lastError()));

        BoxAnswerer unexpectedBoxes;
        MainWindow window{QUrl()};
        window.show();
        window.importPaths(arguments);
        auto *status = window.findChild<QLabel *>("statusLabel");
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("Status: import ready"), TestWait::toolWorkMs);

        const FileList *list = window.findChild<FileList *>("fileList");
        QCOMPARE(list->model()->rowCount(), expected.size());
        QCOMPARE(list->records().size(), expected.size());
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QString name = cell(*list, row, FileTableModel::NameColumn);
            QVERIFY2(expected.contains(name), qPrintable(name));
            QCOMPARE(list->records().at(row).fileName, name);
            const Expected want = expected.value(name);
            QCOMPARE(cell(*list, row, FileTableModel::DurationColumn), want.duration);
            QCOMPARE(cell(*list, row, FileTableModel::FileTCColumn), want.fileTC);
            QCOMPARE(cell(*list, row, FileTableModel::AudioTCColumn), want.audioTC);
        }
        QCOMPARE(unexpectedBoxes.count(), 0);

        // Export All through the dialog, unmuted pass-through copies.
        QTemporaryDir target;
        QVERIFY(target.isValid());
        for (QAction *top : window.menuBar()->actions()) {
            for (QAction *action : top->menu()->actions()) {
                if (action->text() == "&Export All")
                    action->trigger();
            }
        }
        ExportWindow *dialog = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *candidate = qobject_cast<ExportWindow *>(widget))
                dialog = candidate;
        }
        QVERIFY(dialog && dialog->isVisible());
        dialog->findChild<QLineEdit *>()->setText(target.path());
        dialog->findChild<QCheckBox *>()->setChecked(false);
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == "Export")
                button->click();
        }
        QTRY_COMPARE_WITH_TIMEOUT(unexpectedBoxes.count(), 1, TestWait::toolWorkMs);
        QCOMPARE(unexpectedBoxes.lastTitle(), QString("Export Result"));
        // The clip without audio timecode is copied, but it is not a stamped file.
        QCOMPARE(unexpectedBoxes.lastText(),
                 QString("Export finished.\nErrors occured with the folliwing files:\nD004_no_ltc.mov"));
        QCOMPARE(unexpectedBoxes.lastDetails(),
                 QString("D004_no_ltc.mov: no audio timecode: copied without a new timecode"));
        QCOMPARE(status->text(), QString("Status:"));
        QVERIFY(!list->isExportRunning());
        // Each row shows its own outcome (rows in the order the paths were given).
        QCOMPARE(cell(*list, 0, FileTableModel::ExportColumn) + cell(*list, 4, FileTableModel::ExportColumn),
                 QString("done") + "copied without TC");

        const QStringList outputs = QDir(target.path()).entryList(QDir::Files);
        QCOMPARE(outputs.size(), expected.size());
        const QJsonObject movOut = TestMedia::probe(target.filePath(outputs.filter("A001").value(0)));
        const QString movTC = QJsonDocument(movOut).toJson();
        QVERIFY2(movTC.contains("\"10:00:00:00\""), qPrintable(movTC));
        // The WAV copy carries the position the table's record holds for that row.
        qint64 samples = -1;
        for (const FileData &record : list->records()) {
            if (record.fileName == "T012_1.wav")
                samples = record.audioTCReading.samplesSinceMidnight;
        }
        // Recorded from its first sample at 16:05:00:00: exactly that, not a sample early.
        QCOMPARE(samples, reference);
        const QJsonObject wavOut = TestMedia::probe(target.filePath(outputs.filter("T012_1").value(0)));
        QCOMPARE(wavOut.value("format").toObject().value("tags").toObject().value("time_reference").toString(),
                 QString::number(samples));

        // The report names each row's copy, and the WAV's the position written into it (a MOV's
        // timecode and a refusal's reason: the headless test).
        QStringList reported, copies;
        for (const FileData &record : list->records()) {
            const QStringList fields = ReportWriter::fields(record, list->records());
            reported << QFileInfo(fields.at(ReportWriter::ExportPathColumn)).absoluteFilePath();
            if (record.fileName == "T012_1.wav")
                QCOMPARE(fields.at(ReportWriter::ExportWrittenColumn), QString::number(samples));
        }
        for (const QString &name : outputs)
            copies << QFileInfo(target.filePath(name)).absoluteFilePath();
        reported.sort();
        QCOMPARE(reported, copies);
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
