#include "AudioTCWindow.h"
#include "ExportWindow.h"
#include "MetaTypes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QPushButton *button(QWidget &window, const QString &text)
{
    for (QPushButton *b : window.findChildren<QPushButton *>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

QStringList items(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

bool itemUsable(const QComboBox *combo, int index)
{
    const auto *model = qobject_cast<const QStandardItemModel *>(combo->model());
    const Qt::ItemFlags flags = model->item(index)->flags();
    return flags.testFlag(Qt::ItemIsEnabled) && flags.testFlag(Qt::ItemIsSelectable);
}

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    struct ExportControls
    {
        QLabel *label;
        QLineEdit *folder;
        QComboBox *video;
        QComboBox *audio;
        QCheckBox *mute;
    };

    ExportControls controls(ExportWindow &window)
    {
        const auto combos = window.findChildren<QComboBox *>();
        ExportControls c{nullptr, window.findChild<QLineEdit *>(), combos.value(0), combos.value(1),
                         window.findChild<QCheckBox *>()};
        for (QLabel *label : window.findChildren<QLabel *>()) {
            if (label->text().startsWith("Select export directory"))
                c.label = label;
        }
        return c;
    }

    ExportOptions pressExport(ExportWindow &window, QSignalSpy &spy)
    {
        const int before = spy.count();
        button(window, "Export")->click();
        if (spy.count() != before + 1)
            return ExportOptions{QStringLiteral("<no request>"), VideoExportType(-1), AudioExportType(-1), false, false, 0};
        return spy.last().at(0).value<ExportOptions>();
    }

private slots:
    void initTestCase()
    {
        registerMetaTypes();
        QVERIFY(dir.isValid());
    }

    void exportDefaults()
    {
        ExportWindow window;
        const ExportControls c = controls(window);
        QVERIFY(c.label && c.folder && c.video && c.audio && c.mute);
        QCOMPARE(window.windowTitle(), QString("Export all files"));
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(window.minimumHeight(), window.maximumHeight());
        QCOMPARE(c.folder->text(), QStandardPaths::writableLocation(QStandardPaths::MoviesLocation));
        QCOMPARE(items(c.video),
                 QStringList({"pass trough", "MXF - MPEG2 422 50M (1920x1080)", "MXF - DNxHD 36/45 (1920x1080)",
                              "MXF - DNxHD 115/120/145 (1920x1080)", "MXF - DNxHD 175x/185x/220 (1920x1080)",
                              "QuickTime - pass trough", "QuickTime - DNxHD 36/45 (1920x1080)",
                              "QuickTime - DNxHD 115/120/145 (1920x1080)",
                              "QuickTime - DNxHD 175x/185x/220 (1920x1080)"}));
        QCOMPARE(items(c.audio), QStringList({"pass trough", "PCM 16 bit", "PCM 24 bit"}));
        QCOMPARE(c.video->currentIndex(), 0);
        QCOMPARE(c.audio->currentIndex(), 0);
        QVERIFY(c.mute->isChecked());
        QVERIFY(button(window, "Browse"));
        QVERIFY(button(window, "Cancel"));
    }

    void exportSendsEveryChoice()
    {
        ExportWindow window;
        const ExportControls c = controls(window);
        QSignalSpy spy(&window, &ExportWindow::exportRequest);
        c.folder->setText(dir.path());

        for (int video = 0; video < c.video->count(); ++video) {
            c.video->setCurrentIndex(video);
            c.audio->setCurrentIndex(2);
            const ExportOptions options = pressExport(window, spy);
            QCOMPARE(int(options.videoExportType), video);
            QCOMPARE(options.audioExportType, AudioExportType::Pcm24);
            QCOMPARE(options.targetFolderPath, dir.path());
            QVERIFY(options.muteAudioTC);
            QVERIFY(options.exportAll);
        }
        c.video->setCurrentIndex(5);
        for (int audio = 0; audio < 3; ++audio) {
            c.audio->setCurrentIndex(audio);
            QCOMPARE(int(pressExport(window, spy).audioExportType), audio);
        }

        // "&Export All" then "&Export" while open: re-titled, and the request says selected only.
        window.show();
        window.setExportAll(true);
        window.setExportAll(false);
        QCOMPARE(window.windowTitle(), QString("Export selected files"));
        c.mute->setChecked(false);
        const ExportOptions selected = pressExport(window, spy);
        QVERIFY(!selected.exportAll);
        QVERIFY(!selected.muteAudioTC);
        QVERIFY(!window.isVisible());

        window.show();
        button(window, "Cancel")->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(spy.count(), 13);
    }

    void mxfTranscodingNeedsPcmAudio()
    {
        ExportWindow window;
        const ExportControls c = controls(window);
        c.video->setCurrentText("MXF - DNxHD 36/45 (1920x1080)");
        QCOMPARE(c.audio->currentText(), QString("PCM 16 bit"));
        QVERIFY(!itemUsable(c.audio, 0));
        c.video->setCurrentIndex(0);
        QVERIFY(itemUsable(c.audio, 0));
        QCOMPARE(c.audio->currentText(), QString("PCM 16 bit"));

        c.audio->setCurrentText("PCM 24 bit");
        c.video->setCurrentIndex(4);
        QCOMPARE(c.audio->currentText(), QString("PCM 24 bit"));
        QVERIFY(!itemUsable(c.audio, 0));
        c.video->setCurrentIndex(8);
        QVERIFY(itemUsable(c.audio, 0));
        QCOMPARE(c.audio->currentText(), QString("PCM 24 bit"));
    }

    void folderValidation()
    {
        ExportWindow window;
        const ExportControls c = controls(window);
        QSignalSpy spy(&window, &ExportWindow::exportRequest);
        window.show();

        c.folder->clear();
        button(window, "Export")->click();
        QCOMPARE(c.label->text(), QString("Selected directory doesn't exists"));
        QCOMPARE(c.label->styleSheet(), QString("color:red"));
        QVERIFY(window.isVisible());

        QFile plain(dir.filePath("plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        c.folder->setText(plain.fileName());
        button(window, "Export")->click();
        QCOMPARE(c.label->text(), QString("Selected path is not a directory"));
        c.folder->setText(dir.filePath("plain.txt/sub"));
        button(window, "Export")->click();
        QVERIFY(c.label->text().startsWith("Cannot create the directory"));
        QCOMPARE(spy.count(), 0);
        QVERIFY(window.isVisible());

        // A new folder is created with its parents and exported into; the
        // error of the earlier attempt is gone on the next opening.
        const QString fresh = dir.filePath("missing/deeper");
        c.folder->setText(fresh);
        button(window, "Export")->click();
        QVERIFY(QFileInfo(fresh).isDir());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<ExportOptions>().targetFolderPath, fresh);
        window.show();
        QCOMPARE(c.label->text(), QString("Select export directory: "));
        QCOMPARE(c.label->styleSheet(), QString());
    }

    void unwritableFolder()
    {
        const QString locked = dir.filePath("locked");
        QVERIFY(QDir().mkpath(locked));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (QFileInfo(locked).isWritable())
            QSKIP("this user may write to a read-only folder (root)");
        ExportWindow window;
        const ExportControls c = controls(window);
        QSignalSpy spy(&window, &ExportWindow::exportRequest);
        c.folder->setText(locked);
        button(window, "Export")->click();
        QCOMPARE(c.label->text(), QString("Cannot write to selected directory"));
        QCOMPARE(c.label->styleSheet(), QString("color:red"));
        QCOMPARE(spy.count(), 0);
    }

    void exportChoicesPersistBetweenOpenings()
    {
        ExportWindow window;
        const ExportControls c = controls(window);
        window.show();
        c.folder->setText(dir.path());
        c.video->setCurrentIndex(7);
        c.audio->setCurrentIndex(1);
        c.mute->setChecked(false);
        button(window, "Cancel")->click();
        window.show();
        QCOMPARE(c.folder->text(), dir.path());
        QCOMPARE(c.video->currentIndex(), 7);
        QCOMPARE(c.audio->currentIndex(), 1);
        QVERIFY(!c.mute->isChecked());
    }

    void readDialogDefaultsAndValues()
    {
        AudioTCWindow window;
        const auto combos = window.findChildren<QComboBox *>();
        QCOMPARE(combos.size(), 4);
        QComboBox *files = combos.at(0);
        QComboBox *algorithm = combos.at(1);
        QComboBox *channel = combos.at(2);
        QComboBox *rate = combos.at(3);
        QCOMPARE(window.windowTitle(), QString("Read audio timecode"));
        QCOMPARE(window.size(), QSize(350, 180));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(items(files), QStringList({"selected files", "all files"}));
        QCOMPARE(items(algorithm), QStringList({"auto", "LOW", "MID", "HIGH", "SLOPE"}));
        QCOMPARE(items(channel).size(), 9);
        QCOMPARE(items(channel).first(), QString("auto"));
        QCOMPARE(items(channel).last(), QString("channel 8"));
        QCOMPARE(items(rate), QStringList({"auto", "23.98 FPS", "24.00 FPS", "25.00 FPS", "29.97 FPS", "30.00 FPS"}));

        QSignalSpy spy(&window, &AudioTCWindow::readAudioTCReq);
        QPushButton *read = button(window, "Read audio TC");
        window.show();
        read->click();
        QVERIFY(!window.isVisible());
        AudioTCOptions sent = spy.last().at(0).value<AudioTCOptions>();
        QCOMPARE(sent.readingAlgorithm, ReadAlgorithm::Auto);
        QCOMPARE(sent.channel, -1);
        QCOMPARE(sent.frameRate, -1.0);
        QVERIFY(!sent.allFiles);

        // NTSC rates as the decoder takes them (23.98 itself would mean "detect").
        const QList<double> rates{-1.0, 24000.0 / 1001.0, 24.0, 25.0, 30000.0 / 1001.0, 30.0};
        for (int i = 0; i < 9; ++i) {
            channel->setCurrentIndex(i);
            algorithm->setCurrentIndex(i % 5);
            rate->setCurrentIndex(i % 6);
            files->setCurrentIndex(i % 2);
            read->click();
            sent = spy.last().at(0).value<AudioTCOptions>();
            QCOMPARE(sent.channel, i - 1);
            QCOMPARE(int(sent.readingAlgorithm), i % 5);
            QCOMPARE(sent.frameRate, rates.at(i % 6));
            QCOMPARE(sent.allFiles, i % 2 == 1);
        }

        // The choices are still there when the window opens again.
        window.show();
        QCOMPARE(channel->currentText(), QString("channel 8"));
        QCOMPARE(rate->currentText(), QString("24.00 FPS"));
        QCOMPARE(algorithm->currentText(), QString("HIGH"));
    }
};

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
