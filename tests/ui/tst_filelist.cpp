#include "FileList.h"
#include "MetaTypes.h"
#include "TestMedia.h"
#include "UiTestSupport.h"

#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using TestMedia::probeStream;

namespace {

QJsonObject successReport(const QString &timecode, double rate, bool ntsc, bool dropFrame, int channel)
{
    return QJsonObject{{"AppName", "Corvanta Sync Dorrik Pelbrook"}, {"Success", true}, {"Timecode", timecode},
                       {"FrameRateFound", rate}, {"FrameRateBaseFound", double(qRound(rate))}, {"NTSC", ntsc},
                       {"DropFrame", dropFrame}, {"ChannelFound", channel}, {"SamplesSinceMidnight", 1728000000}};
}

// What the controller sends back for a probed file.
FileData probeRecord(double duration, const QString &fileTC, int audioChannels = 2)
{
    FileData probe;
    probe.duration = duration;
    if (!fileTC.isNull())
        probe.setFileTC(fileTC);
    probe.probe.streams = {probeStream(0, "audio", "pcm_s16le", {{"channels", audioChannels}, {"channel_layout", audioChannels == 2 ? "stereo" : "mono"}})};
    probe.audioStreamIndexes = QByteArray(1, 0);
    probe.audioChannelCount = audioChannels;
    return probe;
}

} // namespace

class FileListTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QDateTime stamp = QDateTime::fromString("2024-05-01T10:00:00", Qt::ISODate);

    QFileInfo makeFile(const QString &name, QDateTime modified = QDateTime())
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("x");
        file.flush();
        file.setFileTime(modified.isValid() ? modified : stamp, QFileDevice::FileModificationTime);
        file.close();
        return QFileInfo(path);
    }

    // Rows with probe results in; the automatic reads still outstanding.
    void addProbed(FileList &list, const QString &name, double duration, int channels = 2,
                   QDateTime modified = QDateTime())
    {
        list.addItemToTable(makeFile(name, modified));
        const int row = list.rowCount() - 1;
        list.onFFProbeResult(probeRecord(duration, "10:00:00:00", channels), row, 0);
    }

    QString cell(const FileList &list, int row, int column) const
    {
        const QTableWidgetItem *item = list.item(row, column);
        return item ? item->text() : QString("<none>");
    }

    void dropUrls(FileList &list, QMimeData *mime)
    {
        const QPoint at = list.viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &drop);
    }

    void selectRows(FileList &list, const QList<int> &rows)
    {
        list.clearSelection();
        for (int row : rows)
            list.selectionModel()->select(list.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

private slots:
    void initTestCase()
    {
        registerMetaTypes();
        QVERIFY(dir.isValid());
    }

    void configurationAndPlaceholder()
    {
        FileList list;
        QCOMPARE(list.columnCount(), 4);
        const QStringList headers{"File name", "Duration", "File TC", "Audio TC"};
        for (int c = 0; c < 4; ++c)
            QCOMPARE(list.horizontalHeaderItem(c)->text(), headers.at(c));
        QVERIFY(list.verticalHeader()->isHidden());
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list.selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(list.dragDropMode(), QAbstractItemView::DropOnly);
        QCOMPARE(list.editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(list.rowCount(), 1);
        QCOMPARE(cell(list, 0, 0), QString("Drop files here..."));

        // Clicking the placeholder asks for nothing.
        QSignalSpy info(&list, &FileList::updateFileInfo);
        emit list.cellClicked(0, 0);
        QCOMPARE(info.count(), 0);
    }

    void drops()
    {
        FileList list;
        QSignalSpy dirReq(&list, &FileList::iterateThroughDirReq);

        QMimeData noUrls;
        noUrls.setText("just text");
        dropUrls(list, &noUrls);
        QMimeData emptyUrls;
        emptyUrls.setUrls({});
        dropUrls(list, &emptyUrls);
        QCOMPARE(dirReq.count(), 0);
        QVERIFY(list.hasPlaceholder());

        // Items dragged from another table must not become rows without records.
        QTableWidget other(1, 1);
        other.setItem(0, 0, new QTableWidgetItem("foreign"));
        std::unique_ptr<QMimeData> items(other.model()->mimeData({other.model()->index(0, 0)}));
        dropUrls(list, items.get());
        QCOMPARE(list.rowCount(), 1);
        QCOMPARE(cell(list, 0, 0), QString("Drop files here..."));

        QMimeData urls;
        const QList<QUrl> dropped{QUrl::fromLocalFile(dir.filePath("a.mov")), QUrl::fromLocalFile(dir.path())};
        urls.setUrls(dropped);
        dropUrls(list, &urls);
        QCOMPARE(dirReq.count(), 1);
        QCOMPARE(dirReq.at(0).at(0).value<QList<QUrl>>(), dropped);
        QVERIFY(!list.hasPlaceholder());
        QCOMPARE(list.rowCount(), 0);
    }

    void rowsAndProbeResults()
    {
        FileList list;
        QSignalSpy probeReq(&list, &FileList::ffprobeFileReq);
        QSignalSpy initReq(&list, &FileList::initAudioTCInfoReq);
        list.addItemToTable(makeFile("clip.A01.mov"));
        list.addItemToTable(makeFile("broken.mxf"));
        list.addItemToTable(makeFile("empty.mp4"));
        list.addItemToTable(makeFile("notc.mts"));

        QCOMPARE(list.rowCount(), 4);
        QCOMPARE(probeReq.count(), 4);
        QCOMPARE(probeReq.at(1).at(1).toInt(), 1);
        const FileData sent = probeReq.at(0).at(0).value<FileData>();
        QCOMPARE(sent.fileName, QString("clip.A01.mov"));
        QCOMPARE(sent.baseName, QString("clip"));
        QCOMPARE(sent.suffix, QString("mov"));
        QCOMPARE(sent.filePath, dir.filePath("clip.A01.mov"));
        QCOMPARE(sent.lastModified, stamp);
        QCOMPARE(QStringList({cell(list, 0, 0), cell(list, 0, 1), cell(list, 0, 2), cell(list, 0, 3)}),
                 QStringList({"clip.A01.mov", "00:00:00", "init file TC", "init audio TC"}));

        FileData probe = probeRecord(3725.9, "01:00:00:00");
        probe.isGoPro = true;
        probe.probe.streams.append(probeStream(1, "video", "h264"));
        probe.videoStreamPosition = 1;
        list.onFFProbeResult(probe, 0, 0);
        QCOMPARE(cell(list, 0, 1), QString("01:02:05"));
        QCOMPARE(cell(list, 0, 2), QString("01:00:00:00"));
        QCOMPARE(list.item(0, 2)->textAlignment(), int(Qt::AlignCenter));
        const FileData &record = list.records().at(0);
        QVERIFY(record.hasFileTC);
        QVERIFY(record.isGoPro);
        QCOMPARE(record.probe.streams.size(), 2);
        QCOMPARE(record.videoStream().codecName, QString("h264"));
        QCOMPARE(record.audioChannelCount, 2);
        QCOMPARE(record.fileName, QString("clip.A01.mov"));
        QCOMPARE(initReq.count(), 1);
        QCOMPARE(initReq.at(0).at(1).toInt(), 0);
        QCOMPARE(initReq.at(0).at(0).value<FileData>().audioStreamIndexes, probe.audioStreamIndexes);

        // A failed probe: File TC from the record, the error in Audio TC, no read.
        list.onFFProbeResult(FileData(), 1, 1000);
        list.onFFProbeResult(FileData(), 2, 1001);
        list.onFFProbeResult(probeRecord(5, QString()), 3, 0);
        QCOMPARE(cell(list, 1, 2), QString("file TC not found"));
        QCOMPARE(cell(list, 1, 1), QString("00:00:00"));
        QCOMPARE(cell(list, 1, 3), QString("error while reading file data"));
        QCOMPARE(cell(list, 2, 3), QString("couldn't read file data"));
        QCOMPARE(cell(list, 3, 2), QString("file TC not found"));
        QVERIFY(!list.records().at(3).hasFileTC);
        QCOMPARE(initReq.count(), 2);

        // Results for rows that do not exist are dropped.
        list.onFFProbeResult(probe, 4, 0);
        list.onFFProbeResult(probe, -1, 0);
        list.onAudioTCReadReturn(successReport("10:00:00:00", 25, false, false, 0), 7, 0, 0);
        list.onAudioTCReadReturn(successReport("10:00:00:00", 25, false, false, 0), -1, 0, 0);
        QCOMPARE(list.rowCount(), 4);
        QCOMPARE(initReq.count(), 2);
    }

    // A failed read shows the failure's text in the cell and leaves the row
    // without an audio timecode; every code has a text.
    void errorTexts()
    {
        FileList list;
        list.addItemToTable(makeFile("e.mov"));
        list.onFFProbeResult(probeRecord(5, "x"), 0, 0);
        for (int code : {100, 103, 201, 202, 203, 204, 205, 1000, 1001, 1002, 2001, 3200, 3201, 3202, -1}) {
            const QString text = FileList::audioTCErrorText(code);
            QVERIFY(!text.isEmpty());
            list.onAudioTCReadReturn(QJsonObject(), 0, 0, code);
            QCOMPARE(cell(list, 0, 3), text);
            QVERIFY(!list.records().at(0).hasAudioTC);
        }
        QCOMPARE(FileList::audioTCErrorText(205), QString("audio TC not found"));
        // A tool that did not run is named, never taken for a damaged file.
        QCOMPARE(FileList::audioTCErrorText(1002), QString("ffprobe could not be started"));
        QCOMPARE(FileList::audioTCErrorText(3201), QString("Pelbrook could not be started"));
        QCOMPARE(FileList::audioTCErrorText(3202), QString("Pelbrook crashed"));
    }

    void reportTexts()
    {
        QCOMPARE(FileList::audioTCText(AudioTCReading::fromReport(successReport("10:00:00:00", 25, false, false, 0))),
                 QString("10:00:00:00@25.00 on ch. 1"));
        QCOMPARE(FileList::audioTCText(AudioTCReading::fromReport(successReport("01:00:00;00", 29.97, true, true, 1))),
                 QString("01:00:00;00@29.97 DF  on ch. 2"));
        // The base rate form of an NTSC report reads the same as the decoder's own form.
        QCOMPARE(FileList::audioTCText(AudioTCReading::fromReport(successReport("01:00:00:00", 24, true, false, 0))),
                 QString("01:00:00:00@23.98 on ch. 1"));
        QCOMPARE(FileList::audioTCText(AudioTCReading::fromReport(successReport("01:00:00:00", 23.98, true, false, 0))),
                 QString("01:00:00:00@23.98 on ch. 1"));
        QCOMPARE(FileList::audioTCText(AudioTCReading::fromReport(successReport("01:00:00;00", 30, true, true, 3))),
                 QString("01:00:00;00@29.97 DF  on ch. 4"));
        QCOMPARE(FileList::audioTCText(AudioTCReading::fromReport(successReport("01:00:00:00", 29.97, true, false, 0))),
                 QString("01:00:00:00@29.97 on ch. 1"));
        QCOMPARE(FileList::audioTCText(AudioTCReading::fromReport(successReport("01:00:00:00", 30, false, true, 0))),
                 QString("01:00:00:00@30.00 on ch. 1"));
    }

    // Where a search found the timecode, and a forced rate its signal
    // contradicts, show in the cell and stay in the row's record.
    void foundLaterAndContradictedRate()
    {
        FileList list;
        list.addItemToTable(makeFile("late.mov"));
        list.addItemToTable(makeFile("forced.wav"));
        for (int row = 0; row < 2; ++row)
            list.onFFProbeResult(probeRecord(60.0, QString()), row, 0);

        QJsonObject late = successReport("10:00:00:00", 25, false, false, 1);
        late.insert("FoundAt", 7.04);
        list.onAudioTCReadReturn(late, 0, 0, 0);
        QCOMPARE(cell(list, 0, 3), QString("10:00:00:00@25.00 on ch. 2 (found at 00:00:07)"));

        QJsonObject forced = successReport("14:30:00:00", 25, false, false, 0);
        forced.insert("FrameRateMeasured", 23.98);
        list.onAudioTCReadReturn(forced, 1, 0, 0);
        QCOMPARE(cell(list, 1, 3), QString("14:30:00:00@25.00 (signal 23.98) on ch. 1"));
        QCOMPARE(list.records().at(1).audioTCReading.signalRate, 23.98);
    }

    void successStoresTheResult()
    {
        FileList list;
        list.addItemToTable(makeFile("s.mov"));
        FileData probe = probeRecord(5, "x");
        probe.probe.streams = {probeStream(0, "video", "h264"), probeStream(1, "audio", "pcm_s16le", {{"channels", 2}, {"channel_layout", "stereo"}})};
        list.onFFProbeResult(probe, 0, 0);
        const QJsonObject report = successReport("10:00:00:00", 25, false, false, 1);
        list.onAudioTCReadReturn(report, 0, 1, 0);
        const FileData &record = list.records().at(0);
        QVERIFY(record.hasAudioTC);
        QVERIFY(!record.audioTCLinked);
        QCOMPARE(record.audioTC, QString("10:00:00:00"));
        QCOMPARE(record.audioTCStreamIndex, 1);
        QCOMPARE(record.audioTCChannel, 1);
        QCOMPARE(record.audioTCReading.samplesSinceMidnight, qint64(1728000000));
        QCOMPARE(cell(list, 0, 3), QString("10:00:00:00@25.00 on ch. 2"));
    }

    void secondAutomaticResultIgnoredRequestedReplaces()
    {
        FileList list;
        addProbed(list, "r.mov", 5);
        list.onAudioTCReadReturn(successReport("10:00:00:00", 25, false, false, 0), 0, 0, 0);
        list.onAudioTCReadReturn(successReport("11:00:00:00", 25, false, false, 0), 0, 0, 0);
        list.onAudioTCReadReturn(QJsonObject(), 0, 0, 2001);
        QCOMPARE(cell(list, 0, 3), QString("10:00:00:00@25.00 on ch. 1"));

        QSignalSpy readReq(&list, &FileList::updateAudioTCInfoReq);
        selectRows(list, {0});
        list.onAudioTCReadReq(AudioTCOptions());
        QCOMPARE(readReq.count(), 1);
        QVERIFY(list.records().at(0).audioTCReadRequested);
        list.onAudioTCReadReturn(successReport("12:00:00:00", 24, false, false, 1), 0, 0, 0);
        QCOMPARE(cell(list, 0, 3), QString("12:00:00:00@24.00 on ch. 2"));
        QVERIFY(!list.records().at(0).audioTCReadRequested);
        // Once answered, the next automatic result is ignored again.
        list.onAudioTCReadReturn(successReport("13:00:00:00", 25, false, false, 0), 0, 0, 0);
        QCOMPARE(list.records().at(0).audioTC, QString("12:00:00:00"));
    }

    void wavLinking()
    {
        FileList list;
        addProbed(list, "take1_tc.wav", 10.00);                     // 0: carries the timecode
        addProbed(list, "take1_a.wav", 10.04);                      // 1: links
        addProbed(list, "take1_b.wav", 10.06);                      // 2: too long
        addProbed(list, "take1_c.wav", 10.00, 2, stamp.addMSecs(2001)); // 3: written over 2 s later
        addProbed(list, "take1_d.WAV", 9.97, 2, stamp.addMSecs(-16));   // 4: capital suffix links
        addProbed(list, "take1_e.mov", 10.00);                      // 5: not a WAV
        addProbed(list, "take1_f.wav", 10.01, 2, stamp.addMSecs(30));   // 6: its own 205 arrives first

        list.onAudioTCReadReturn(QJsonObject{{"ErrorNo", 205}}, 6, 0, 205);
        QCOMPARE(cell(list, 6, 3), QString("audio TC not found"));

        list.onAudioTCReadReturn(successReport("10:00:00:00", 25, false, false, 0), 0, 0, 0);
        QCOMPARE(cell(list, 1, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(cell(list, 4, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(cell(list, 6, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(cell(list, 2, 3), QString("init audio TC"));
        QCOMPARE(cell(list, 3, 3), QString("init audio TC"));
        QCOMPARE(cell(list, 5, 3), QString("init audio TC"));
        const FileData &linked = list.records().at(1);
        QVERIFY(linked.audioTCLinked);
        QVERIFY(linked.hasAudioTC);
        QCOMPARE(linked.audioTCLinkedRow, 0);
        QCOMPARE(linked.audioTC, QString("10:00:00:00"));
        QCOMPARE(linked.audioTCReading.timecode, list.records().at(0).audioTCReading.timecode);

        // A sibling's later 205 keeps its linked text, also when the user asked for the read.
        list.onAudioTCReadReturn(QJsonObject(), 1, 0, 205);
        selectRows(list, {4});
        list.onAudioTCReadReq(AudioTCOptions());
        list.onAudioTCReadReturn(QJsonObject(), 4, 0, 205);
        QCOMPARE(cell(list, 1, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(cell(list, 4, 3), QString("10:00:00:00@(linked)"));

        // A 205 finds a sibling that already knows its timecode.
        addProbed(list, "take1_g.wav", 10.02);
        list.onAudioTCReadReturn(QJsonObject(), 7, 0, 205);
        QCOMPARE(cell(list, 7, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(list.records().at(7).audioTCLinkedRow, 0);

        // Too far from every sibling: plain not-found.
        addProbed(list, "take1_h.wav", 11.0);
        list.onAudioTCReadReturn(QJsonObject(), 8, 0, 205);
        QCOMPARE(cell(list, 8, 3), QString("audio TC not found"));
        QVERIFY(!list.records().at(8).hasAudioTC);

        // A linked row whose own timecode is read on request is no longer linked.
        selectRows(list, {1});
        list.onAudioTCReadReq(AudioTCOptions());
        list.onAudioTCReadReturn(successReport("10:00:00:01", 25, false, false, 1), 1, 0, 0);
        QVERIFY(!list.records().at(1).audioTCLinked);
        QCOMPARE(cell(list, 1, 3), QString("10:00:00:01@25.00 on ch. 2"));
    }

    // Linking fills only rows without a timecode of their own, and only from a
    // row that read its own: never over one, never through a linked row, and
    // the same whichever read ends first.
    void linkingOnlyFromAFilesOwnTimecode_data()
    {
        QTest::addColumn<bool>("boomFirst");
        QTest::newRow("BOOM's read ends first") << true;
        QTest::newRow("LAV's read ends first") << false;
    }

    void linkingOnlyFromAFilesOwnTimecode()
    {
        QFETCH(bool, boomFirst);
        FileList list;
        addProbed(list, "BOOM.wav", 8.000);   // 0: LTC 10:00:00:00
        addProbed(list, "LAV.wav", 8.000);    // 1: its own LTC 15:00:00:00
        addProbed(list, "LAV_2.wav", 8.000);  // 2: no LTC
        addProbed(list, "MIX.wav", 8.040);    // 3: no LTC, 40 ms longer than BOOM
        addProbed(list, "MIX_2.wav", 8.060);  // 4: no LTC, 60 ms longer than BOOM, 20 ms than MIX
        const QJsonObject boom = successReport("10:00:00:00", 25, false, false, 0);
        const QJsonObject lav = successReport("15:00:00:00", 25, false, false, 0);
        for (int row : {2, 3})
            list.onAudioTCReadReturn(QJsonObject(), row, 0, 205);
        list.onAudioTCReadReturn(boomFirst ? boom : lav, boomFirst ? 0 : 1, 0, 0);
        list.onAudioTCReadReturn(boomFirst ? lav : boom, boomFirst ? 1 : 0, 0, 0);
        // MIX_2 finds nothing after MIX was linked.
        list.onAudioTCReadReturn(QJsonObject(), 4, 0, 205);

        auto check = [&] {
            QCOMPARE(cell(list, 0, 3), QString("10:00:00:00@25.00 on ch. 1"));
            QCOMPARE(cell(list, 1, 3), QString("15:00:00:00@25.00 on ch. 1"));
            QCOMPARE(cell(list, 2, 3), QString("10:00:00:00@(linked)"));
            QCOMPARE(cell(list, 3, 3), QString("10:00:00:00@(linked)"));
            QCOMPARE(cell(list, 4, 3), QString("audio TC not found")); // not through MIX
            QVERIFY(list.records().at(1).hasOwnAudioTC());
            QCOMPARE(list.records().at(1).audioTC, QString("15:00:00:00"));
            QCOMPARE(list.records().at(2).audioTCLinkedRow, 0);
            QVERIFY(!list.records().at(4).hasAudioTC);
        };
        check();

        // Reading LAV again changes LAV only.
        selectRows(list, {1});
        list.onAudioTCReadReq(AudioTCOptions());
        list.onAudioTCReadReturn(lav, 1, 0, 0);
        check();
    }

    void readRequestVectors()
    {
        FileList list;
        for (int i = 0; i < 4; ++i)
            addProbed(list, QString("f%1.mov").arg(i), 5);
        QSignalSpy readReq(&list, &FileList::updateAudioTCInfoReq);

        AudioTCOptions all;
        all.allFiles = true;
        all.channel = 3;
        list.onAudioTCReadReq(all);
        auto files = readReq.at(0).at(0).value<QVector<FileData>>();
        QCOMPARE(files.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(files.at(i).fileNumber, i);
            QVERIFY(files.at(i).audioTCReadRequested);
            QVERIFY(list.records().at(i).audioTCReadRequested);
        }
        QCOMPARE(readReq.at(0).at(1).value<AudioTCOptions>().channel, 3);

        selectRows(list, {3, 1});
        list.onAudioTCReadReq(AudioTCOptions());
        files = readReq.at(1).at(0).value<QVector<FileData>>();
        QStringList names;
        for (const FileData &f : files)
            names << QString("%1@%2").arg(f.fileName).arg(f.fileNumber);
        names.sort();
        QCOMPARE(names, QStringList({"f1.mov@1", "f3.mov@3"}));

        list.clearSelection();
        list.onAudioTCReadReq(AudioTCOptions());
        QCOMPARE(readReq.count(), 3);
        QVERIFY(readReq.at(2).at(0).value<QVector<FileData>>().isEmpty());
    }

    void exportVectors()
    {
        FileList list;
        addProbed(list, "mono_tc.wav", 5, 1);            // own timecode, one channel
        addProbed(list, "stereo_tc.wav", 6, 2);          // own timecode, two channels
        addProbed(list, "mono_sibling.wav", 5.01, 1);    // linked from row 0
        addProbed(list, "mono_none.wav", 9, 1);          // no timecode
        addProbed(list, "clip.mov", 5, 1);
        list.onAudioTCReadReturn(successReport("10:00:00:00", 25, false, false, 0), 0, 0, 0);
        list.onAudioTCReadReturn(successReport("11:00:00:00", 25, false, false, 0), 1, 0, 0);
        list.onAudioTCReadReturn(QJsonObject(), 3, 0, 205);
        list.onAudioTCReadReturn(successReport("12:00:00:00", 25, false, false, 0), 4, 0, 0);
        QVERIFY(list.records().at(2).audioTCLinked);
        list.importReady();

        QSignalSpy exportReq(&list, &FileList::exportFilesReq);
        auto exportedNames = [&](int call) {
            QStringList names;
            for (const FileData &f : exportReq.at(call).at(0).value<QVector<FileData>>())
                names << QString("%1@%2").arg(f.fileName).arg(f.fileNumber);
            return names;
        };

        ExportOptions options;
        options.exportAll = true;
        options.muteAudioTC = true;
        options.targetFolderPath = dir.path();
        list.exportFiles(options);
        // A muted mono WAV with its own timecode goes too: it comes back with its reason.
        QCOMPARE(exportedNames(0), QStringList({"mono_tc.wav@0", "stereo_tc.wav@1", "mono_sibling.wav@2",
                                                "mono_none.wav@3", "clip.mov@4"}));
        QCOMPARE(exportReq.at(0).at(1).value<ExportOptions>().targetFolderPath, dir.path());
        // Each row keeps its outcome; one for a row that is gone changes nothing.
        QCOMPARE(list.records().at(0).lastExport.resultCode, int(ResultCode::NotExported));
        ExportResult leftOut;
        leftOut.fileNumber = 0;
        leftOut.resultCode = ResultCode::LeftOutOnlyTimecodeChannel;
        list.onExportFileResult(leftOut);
        leftOut.fileNumber = 9;
        list.onExportFileResult(leftOut);
        QCOMPARE(list.records().at(0).lastExport.resultCode, int(ResultCode::LeftOutOnlyTimecodeChannel));
        QCOMPARE(list.records().at(1).lastExport.resultCode, int(ResultCode::NotExported));
        list.exportFinished();

        options.muteAudioTC = false;
        list.exportFiles(options);
        QCOMPARE(exportedNames(1).size(), 5);
        list.exportFinished();

        options.exportAll = false;
        options.muteAudioTC = true;
        selectRows(list, {0, 4});
        list.exportFiles(options);
        QCOMPARE(exportedNames(2), QStringList({"mono_tc.wav@0", "clip.mov@4"}));
    }

    void secondExportRequestRefused()
    {
        FileList list;
        addProbed(list, "x.mov", 5);
        list.importReady();
        QSignalSpy exportReq(&list, &FileList::exportFilesReq);
        QSignalSpy status(&list, &FileList::statusMessage);
        ExportOptions options;
        options.exportAll = true;
        list.exportFiles(options);
        list.exportFiles(options);
        QCOMPARE(exportReq.count(), 1);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QString("an export is already running"));
        QVERIFY(list.isExportRunning());
        list.exportFinished();
        list.exportFiles(options);
        QCOMPARE(exportReq.count(), 2);

        // An empty request starts no job, so it leaves the way open and says why nothing happened.
        list.exportFinished();
        options.exportAll = false;
        list.clearSelection();
        list.exportFiles(options);
        QCOMPARE(exportReq.count(), 3);
        QVERIFY(!list.isExportRunning());
        QCOMPARE(status.last().at(0).toString(), QString("no files to export"));
    }

    void deletionKeepsRowsAndRecordsAligned()
    {
        FileList list;
        for (int i = 0; i < 5; ++i)
            addProbed(list, QString("d%1.wav").arg(i), 5 + i);
        list.onAudioTCReadReturn(successReport("10:00:00:00", 25, false, false, 0), 2, 0, 0);
        list.importReady();
        QVERIFY(list.deletionRefusal().isEmpty());

        // Ctrl-select rows 3 and 1.
        list.selectionModel()->clearSelection();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualRect(list.model()->index(3, 0)).center());
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, list.visualRect(list.model()->index(1, 0)).center());
        QCOMPARE(list.selectionModel()->selectedRows().size(), 2);
        list.deleteSelectedRows();

        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(list.records().size(), 3);
        const QStringList expected{"d0.wav", "d2.wav", "d4.wav"};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(cell(list, row, 0), expected.at(row));
            QCOMPARE(list.records().at(row).fileName, expected.at(row));
        }
        QCOMPARE(cell(list, 1, 3), QString("10:00:00:00@25.00 on ch. 1"));

        // Siblings are found at the rows they moved to.
        addProbed(list, "d5.wav", 7.01);
        list.onAudioTCReadReturn(QJsonObject(), 3, 0, 205);
        QCOMPARE(cell(list, 3, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(list.records().at(3).audioTCLinkedRow, 1);
        list.importReady();

        // A click reports the record of the row now shown there.
        QSignalSpy info(&list, &FileList::updateFileInfo);
        emit list.cellClicked(2, 1);
        QCOMPARE(info.at(0).at(0).value<FileData>().fileName, QString("d4.wav"));

        // Deleting every row leaves an empty table, without the placeholder.
        list.selectAll();
        list.deleteSelectedRows();
        QCOMPARE(list.rowCount(), 0);
        QVERIFY(list.records().isEmpty());
        QVERIFY(!list.hasPlaceholder());
    }

    // Fitting a column measures only the rows in view: a text out of view
    // leaves the width alone until it is scrolled into view.
    void columnsFitTheTextsInView()
    {
        FileList list;
        list.resize(800, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        for (int i = 0; i < 100; ++i)
            addProbed(list, QString("c%1.mov").arg(i), 5);
        const QString longText = FileList::audioTCErrorText(2001);
        const int needed = list.fontMetrics().horizontalAdvance(longText);
        QTRY_VERIFY_WITH_TIMEOUT(list.columnWidth(FileList::AudioTCColumn) < needed, 5000);

        list.onAudioTCReadReturn(QJsonObject(), 90, -1, 2001);
        QVERIFY(!list.viewport()->rect().intersects(list.visualRect(list.model()->index(90, 0))));
        // Drained: the fit that follows any update has run.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(list.columnWidth(FileList::AudioTCColumn) < needed);

        list.scrollToItem(list.item(90, 0));
        QTRY_VERIFY_WITH_TIMEOUT(list.columnWidth(FileList::AudioTCColumn) >= needed, 5000);
    }

    void deletionRefusedWhileAnswersAreOutstanding()
    {
        FileList list;
        QSignalSpy status(&list, &FileList::statusMessage);
        list.addItemToTable(makeFile("a.mov"));
        list.addItemToTable(makeFile("b.mov"));
        list.addItemToTable(makeFile("c.mov"));

        // Probes outstanding.
        selectRows(list, {0});
        list.deleteSelectedRows();
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(status.count(), 1);

        // Probes answered, automatic reads outstanding: the answer for row 1 must land on b.mov.
        for (int row = 0; row < 3; ++row)
            list.onFFProbeResult(probeRecord(5, "x"), row, 0);
        list.deleteSelectedRows();
        QCOMPARE(list.rowCount(), 3);
        list.onAudioTCReadReturn(successReport("01:00:00:00", 25, false, false, 0), 1, 0, 0);
        QCOMPARE(list.records().at(1).fileName, QString("b.mov"));
        QCOMPARE(list.records().at(1).audioTC, QString("01:00:00:00"));
        QVERIFY(!list.records().at(2).hasAudioTC);
        list.importReady();

        // A read batch the user asked for.
        selectRows(list, {2});
        list.onAudioTCReadReq(AudioTCOptions());
        selectRows(list, {0});
        list.deleteSelectedRows();
        QCOMPARE(list.rowCount(), 3);
        list.readingFinished();

        // An export.
        ExportOptions options;
        options.exportAll = true;
        list.exportFiles(options);
        selectRows(list, {0});
        list.deleteSelectedRows();
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(status.last().at(0).toString(), QString("files cannot be removed while an export is running"));
        list.exportFinished();

        list.deleteSelectedRows();
        QCOMPARE(list.rowCount(), 2);
        QCOMPARE(list.records().at(0).fileName, QString("b.mov"));
    }

    void deletingThePlaceholderIsHarmless()
    {
        FileList list;
        list.selectAll();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualRect(list.model()->index(0, 0)).center());
        list.deleteSelectedRows();
        QVERIFY(list.hasPlaceholder());
        QCOMPARE(list.rowCount(), 1);
        // The first import still finds a valid placeholder to remove.
        list.importUrls({QUrl::fromLocalFile(dir.filePath("z.mov"))});
        list.addItemToTable(makeFile("z.mov"));
        QCOMPARE(list.rowCount(), 1);
        QCOMPARE(cell(list, 0, 0), QString("z.mov"));
    }
};

QTEST_MAIN(FileListTest)
#include "tst_filelist.moc"
