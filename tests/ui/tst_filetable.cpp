#include "FileCells.h"
#include "FileList.h"
#include "MetaTypes.h"
#include "ResultCode.h"
#include "TestMedia.h"
#include "UiTestSupport.h"

#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

using TestMedia::probeStream;

// The model gives ids from 0 in the order rows come in: until a row is
// removed, a row's id is its number.

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

QString cell(const QAbstractItemModel &model, int row, int column)
{
    return model.index(row, column).data().toString();
}

QStringList names(const QVector<FileData> &records)
{
    QStringList list;
    for (const FileData &record : records)
        list << QString("%1@%2").arg(record.fileName).arg(record.fileNumber);
    return list;
}

} // namespace

class FileTableTest : public QObject
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

    // A row with its probe answered; the automatic read still outstanding.
    int addProbed(FileTableModel &model, const QString &name, double duration, int channels = 2,
                  QDateTime modified = QDateTime(), const QString &fileTC = "10:00:00:00")
    {
        model.addItemToTable(makeFile(name, modified));
        const int id = model.records().last().fileNumber;
        model.onFFProbeResult(probeRecord(duration, fileTC, channels), id, 0);
        return id;
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

    void configurationPlaceholderAndDrops()
    {
        FileList list;
        const QStringList headers{"File name", "Duration", "File TC", "Audio TC", "TC offset", "Export", "Folder"};
        QCOMPARE(list.model()->columnCount(), headers.size());
        for (int c = 0; c < headers.size(); ++c)
            QCOMPARE(list.model()->headerData(c, Qt::Horizontal).toString(), headers.at(c));
        // At its preferred width every column is in view, the name's with room for a camera's names.
        list.resize(list.preferredWidth(), 300);
        list.show();
        QVERIFY(list.horizontalHeader()->length() <= list.viewport()->width());
        QVERIFY(list.columnWidth(0) >= list.fontMetrics().horizontalAdvance("A001_C001_0101AB_001.MXF"));
        QVERIFY(list.verticalHeader()->isHidden());
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list.selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(list.dragDropMode(), QAbstractItemView::DropOnly);
        QCOMPARE(list.editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(list.hasPlaceholder());
        QCOMPARE(FileList::placeholderText(), QString("Drop files here..."));
        list.selectAll();
        list.deleteSelectedRows();
        QVERIFY(list.hasPlaceholder());

        QSignalSpy dirReq(list.fileModel(), &FileTableModel::iterateThroughDirReq);
        QMimeData noUrls;
        noUrls.setText("just text");
        dropUrls(list, &noUrls);
        QMimeData emptyUrls;
        emptyUrls.setUrls({});
        dropUrls(list, &emptyUrls);
        // Items dragged from another view must not become rows without records.
        QStandardItemModel other(1, 1);
        other.setItem(0, 0, new QStandardItem("foreign"));
        std::unique_ptr<QMimeData> items(other.mimeData({other.index(0, 0)}));
        dropUrls(list, items.get());
        QCOMPARE(dirReq.count(), 0);
        QCOMPARE(list.model()->rowCount(), 0);
        QVERIFY(list.hasPlaceholder());

        QMimeData urls;
        const QList<QUrl> dropped{QUrl::fromLocalFile(dir.filePath("a.mov")), QUrl::fromLocalFile(dir.path())};
        urls.setUrls(dropped);
        dropUrls(list, &urls);
        QCOMPARE(dirReq.count(), 1);
        QCOMPARE(dirReq.at(0).at(0).value<QList<QUrl>>(), dropped);
        QVERIFY(!list.hasPlaceholder());
    }

    void rowsAndProbeResults()
    {
        FileTableModel model;
        QSignalSpy probeReq(&model, &FileTableModel::ffprobeFileReq);
        QSignalSpy initReq(&model, &FileTableModel::initAudioTCInfoReq);
        for (const QString name : {"clip.A01.mov", "broken.mxf", "empty.mp4", "notc.mts"})
            model.addItemToTable(makeFile(name));

        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(probeReq.count(), 4);
        QCOMPARE(probeReq.at(1).at(1).toInt(), 1);
        const FileData sent = probeReq.at(0).at(0).value<FileData>();
        QCOMPARE(sent.fileName, QString("clip.A01.mov"));
        QCOMPARE(sent.baseName, QString("clip"));
        QCOMPARE(sent.suffix, QString("mov"));
        QCOMPARE(sent.filePath, dir.filePath("clip.A01.mov"));
        QCOMPARE(sent.lastModified, stamp);
        QCOMPARE(QStringList({cell(model, 0, 0), cell(model, 0, 1), cell(model, 0, 2), cell(model, 0, 3)}),
                 QStringList({"clip.A01.mov", "00:00:00", "init file TC", "init audio TC"}));
        QVERIFY(!model.index(0, 2).data(Qt::TextAlignmentRole).isValid());

        FileData probe = probeRecord(3725.9, "01:00:00:00");
        probe.isGoPro = true;
        probe.probe.streams.append(probeStream(1, "video", "h264"));
        probe.videoStreamPosition = 1;
        model.onFFProbeResult(probe, 0, 0);
        QCOMPARE(cell(model, 0, 1), QString("01:02:05"));
        QCOMPARE(cell(model, 0, 2), QString("01:00:00:00"));
        QCOMPARE(model.index(0, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        const FileData &record = model.records().at(0);
        QVERIFY(record.hasFileTC);
        QVERIFY(record.isGoPro);
        QCOMPARE(record.probe.streams.size(), 2);
        QCOMPARE(record.videoStream().codecName, QString("h264"));
        QCOMPARE(record.audioChannelCount, 2);
        QCOMPARE(initReq.count(), 1);
        QCOMPARE(initReq.at(0).at(1).toInt(), 0);
        QCOMPARE(initReq.at(0).at(0).value<FileData>().audioStreamIndexes, probe.audioStreamIndexes);

        // A failed probe: File TC from the record, the error in Audio TC, no read.
        model.onFFProbeResult(FileData(), 1, 1000);
        model.onFFProbeResult(FileData(), 2, 1001);
        model.onFFProbeResult(probeRecord(5, QString()), 3, 0);
        QCOMPARE(cell(model, 1, 2), QString("file TC not found"));
        QCOMPARE(cell(model, 1, 1), QString("00:00:00"));
        QCOMPARE(cell(model, 1, 3), QString("error while reading file data"));
        QCOMPARE(cell(model, 2, 3), QString("couldn't read file data"));
        QCOMPARE(cell(model, 3, 2), QString("file TC not found"));
        QVERIFY(!model.records().at(3).hasFileTC);
        QCOMPARE(initReq.count(), 2);
        // (Answers for ids that do not exist: removal during reads.)
    }

    // A failed read shows the failure's text in the cell and leaves the row
    // without an audio timecode; every code has a text.
    void errorTexts()
    {
        FileTableModel model;
        addProbed(model, "e.mov", 5);
        for (int code : {100, 103, 201, 202, 203, 204, 205, 1000, 1001, 1002, 2001, 3200, 3201, 3202, -1}) {
            const QString text = ResultCode::text(code);
            QVERIFY(!text.isEmpty());
            model.onAudioTCReadReturn(QJsonObject(), 0, 0, code);
            QCOMPARE(cell(model, 0, 3), text);
            QVERIFY(!model.records().at(0).hasAudioTC);
        }
        QCOMPARE(ResultCode::text(205), QString("audio TC not found"));
        // A tool that did not run is named, never taken for a damaged file.
        QCOMPARE(ResultCode::text(1002), QString("ffprobe could not be started"));
        QCOMPARE(ResultCode::text(3201), QString("Pelbrook could not be started"));
        QCOMPARE(ResultCode::text(3202), QString("Pelbrook crashed"));
    }

    void reportTexts()
    {
        auto text = [](const QJsonObject &report) {
            return FileCells::audioTCText(AudioTCReading::fromReport(report));
        };
        // (The plain and drop-frame forms of real reads: the end-to-end test.)
        // The base rate form of an NTSC report reads the same as the decoder's own form.
        QCOMPARE(text(successReport("01:00:00:00", 24, true, false, 0)), QString("01:00:00:00@23.98 on ch. 1"));
        QCOMPARE(text(successReport("01:00:00:00", 23.98, true, false, 0)), QString("01:00:00:00@23.98 on ch. 1"));
        QCOMPARE(text(successReport("01:00:00;00", 30, true, true, 3)), QString("01:00:00;00@29.97 DF  on ch. 4"));
        QCOMPARE(text(successReport("01:00:00:00", 30, false, true, 0)), QString("01:00:00:00@30.00 on ch. 1"));
    }

    // A forced rate its signal contradicts shows in the cell and stays in the
    // row's record (where a search found the timecode: the end-to-end test).
    void contradictedRate()
    {
        FileTableModel model;
        for (const QString name : {"late.mov", "forced.wav", "agrees.mov"})
            addProbed(model, name, 60.0);

        QJsonObject forced = successReport("14:30:00:00", 25, false, false, 0);
        forced.insert("FrameRateMeasured", 23.98);
        model.onAudioTCReadReturn(forced, 1, 0, 0);
        QCOMPARE(cell(model, 1, 3), QString("14:30:00:00@25.00 (signal 23.98) on ch. 1"));
        QCOMPARE(model.records().at(1).audioTCReading.signalRate, 23.98);

        QJsonObject agrees = successReport("01:00:00:00", 29.97, true, false, 0);
        agrees.insert("FrameRateMeasured", 29.97);
        model.onAudioTCReadReturn(agrees, 2, 0, 0);
        QCOMPARE(cell(model, 2, 3), QString("01:00:00:00@29.97 on ch. 1"));
        QCOMPARE(model.records().at(2).audioTCReading.signalRate, 0.0);
    }

    void successStoresTheResultAndOnlyARequestedReadReplacesIt()
    {
        FileTableModel model;
        model.addItemToTable(makeFile("s.mov"));
        FileData probe = probeRecord(5, "x");
        probe.probe.streams = {probeStream(0, "video", "h264"), probeStream(1, "audio", "pcm_s16le", {{"channels", 2}, {"channel_layout", "stereo"}})};
        model.onFFProbeResult(probe, 0, 0);
        const QJsonObject report = successReport("10:00:00:00", 25, false, false, 1);
        model.onAudioTCReadReturn(report, 0, 1, 0);
        const FileData &record = model.records().at(0);
        QVERIFY(record.hasOwnAudioTC());
        QCOMPARE(record.audioTC, QString("10:00:00:00"));
        QCOMPARE(record.audioTCStreamIndex, 1);
        QCOMPARE(record.audioTCChannel, 1);
        QCOMPARE(record.audioTCReading.samplesSinceMidnight, qint64(1728000000));

        model.onAudioTCReadReturn(successReport("11:00:00:00", 25, false, false, 0), 0, 0, 0);
        model.onAudioTCReadReturn(QJsonObject(), 0, 0, 2001);
        QCOMPARE(cell(model, 0, 3), QString("10:00:00:00@25.00 on ch. 2"));

        QSignalSpy readReq(&model, &FileTableModel::updateAudioTCInfoReq);
        model.requestRead(AudioTCOptions(), {0});
        QCOMPARE(readReq.count(), 1);
        QVERIFY(model.records().at(0).audioTCReadRequested);
        model.onAudioTCReadReturn(successReport("12:00:00:00", 24, false, false, 1), 0, 0, 0);
        QCOMPARE(cell(model, 0, 3), QString("12:00:00:00@24.00 on ch. 2"));
        QVERIFY(!model.records().at(0).audioTCReadRequested);
        // Once answered, the next automatic result is ignored again.
        model.onAudioTCReadReturn(successReport("13:00:00:00", 25, false, false, 0), 0, 0, 0);
        QCOMPARE(model.records().at(0).audioTC, QString("12:00:00:00"));
    }

    void wavLinking()
    {
        FileTableModel model;
        addProbed(model, "take1_tc.wav", 10.00);                         // 0: carries the timecode
        addProbed(model, "take1_a.wav", 10.04);                          // 1: links
        addProbed(model, "take1_b.wav", 10.06);                          // 2: too long
        addProbed(model, "take1_c.wav", 10.00, 2, stamp.addMSecs(2001)); // 3: written over 2 s later
        addProbed(model, "take1_d.WAV", 9.97, 2, stamp.addMSecs(-16));   // 4: capital suffix links
        addProbed(model, "take1_e.mov", 10.00);                          // 5: not a WAV
        addProbed(model, "take1_f.wav", 10.01, 2, stamp.addMSecs(30));   // 6: its own 205 arrives first

        model.onAudioTCReadReturn(QJsonObject{{"ErrorNo", 205}}, 6, 0, 205);
        QCOMPARE(cell(model, 6, 3), QString("audio TC not found"));

        model.onAudioTCReadReturn(successReport("10:00:00:00", 25, false, false, 0), 0, 0, 0);
        for (int row : {1, 4, 6})
            QCOMPARE(cell(model, row, 3), QString("10:00:00:00@(linked)"));
        for (int row : {2, 3, 5})
            QCOMPARE(cell(model, row, 3), QString("init audio TC"));
        const FileData &linked = model.records().at(1);
        QVERIFY(linked.audioTCLinked);
        QCOMPARE(linked.audioTCLinkedRow, 0);
        QCOMPARE(linked.audioTC, QString("10:00:00:00"));
        QCOMPARE(linked.audioTCReading.timecode, model.records().at(0).audioTCReading.timecode);

        // A sibling's later 205 keeps its linked text, also when the user asked for the read.
        model.onAudioTCReadReturn(QJsonObject(), 1, 0, 205);
        model.requestRead(AudioTCOptions(), {4});
        model.onAudioTCReadReturn(QJsonObject(), 4, 0, 205);
        QCOMPARE(cell(model, 1, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(cell(model, 4, 3), QString("10:00:00:00@(linked)"));

        // A 205 finds a sibling that already knows its timecode; too far from every sibling is plain not-found.
        addProbed(model, "take1_g.wav", 10.02);
        addProbed(model, "take1_h.wav", 11.0);
        model.onAudioTCReadReturn(QJsonObject(), 7, 0, 205);
        model.onAudioTCReadReturn(QJsonObject(), 8, 0, 205);
        QCOMPARE(cell(model, 7, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(model.records().at(7).audioTCLinkedRow, 0);
        QCOMPARE(cell(model, 8, 3), QString("audio TC not found"));
        QVERIFY(!model.records().at(8).hasAudioTC);

        // A linked row whose own timecode is read on request is no longer linked.
        model.requestRead(AudioTCOptions(), {1});
        model.onAudioTCReadReturn(successReport("10:00:00:01", 25, false, false, 1), 1, 0, 0);
        QVERIFY(!model.records().at(1).audioTCLinked);
        QCOMPARE(cell(model, 1, 3), QString("10:00:00:01@25.00 on ch. 2"));
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
        FileTableModel model;
        addProbed(model, "BOOM.wav", 8.000);   // 0: LTC 10:00:00:00
        addProbed(model, "LAV.wav", 8.000);    // 1: its own LTC 15:00:00:00
        addProbed(model, "LAV_2.wav", 8.000);  // 2: no LTC
        addProbed(model, "MIX.wav", 8.040);    // 3: no LTC, 40 ms longer than BOOM
        addProbed(model, "MIX_2.wav", 8.060);  // 4: no LTC, 60 ms longer than BOOM, 20 ms than MIX
        const QJsonObject boom = successReport("10:00:00:00", 25, false, false, 0);
        const QJsonObject lav = successReport("15:00:00:00", 25, false, false, 0);
        for (int row : {2, 3})
            model.onAudioTCReadReturn(QJsonObject(), row, 0, 205);
        model.onAudioTCReadReturn(boomFirst ? boom : lav, boomFirst ? 0 : 1, 0, 0);
        model.onAudioTCReadReturn(boomFirst ? lav : boom, boomFirst ? 1 : 0, 0, 0);
        // MIX_2 finds nothing after MIX was linked.
        model.onAudioTCReadReturn(QJsonObject(), 4, 0, 205);

        auto check = [&] {
            QCOMPARE(cell(model, 0, 3), QString("10:00:00:00@25.00 on ch. 1"));
            QCOMPARE(cell(model, 1, 3), QString("15:00:00:00@25.00 on ch. 1"));
            QCOMPARE(cell(model, 2, 3), QString("10:00:00:00@(linked)"));
            QCOMPARE(cell(model, 3, 3), QString("10:00:00:00@(linked)"));
            QCOMPARE(cell(model, 4, 3), QString("audio TC not found")); // not through MIX
            QVERIFY(model.records().at(1).hasOwnAudioTC());
            QCOMPARE(model.records().at(2).audioTCLinkedRow, 0);
        };
        check();

        // Reading LAV again changes LAV only.
        model.requestRead(AudioTCOptions(), {1});
        model.onAudioTCReadReturn(lav, 1, 0, 0);
        check();
    }

    // The dialogs' requests take every row or the selected ones; every chosen
    // row goes, each carrying its id.
    void readAndExportRequests()
    {
        FileList list;
        FileTableModel &model = *list.fileModel();
        addProbed(model, "mono_tc.wav", 5, 1);
        addProbed(model, "stereo_tc.wav", 6, 2);
        addProbed(model, "clip.mov", 5, 1);
        QSignalSpy readReq(&model, &FileTableModel::updateAudioTCInfoReq);
        QSignalSpy exportReq(&model, &FileTableModel::exportFilesReq);
        QSignalSpy status(&list, &FileList::statusMessage);

        AudioTCOptions all;
        all.allFiles = true;
        all.channel = 3;
        list.onAudioTCReadReq(all);
        const auto files = readReq.at(0).at(0).value<QVector<FileData>>();
        QCOMPARE(names(files), QStringList({"mono_tc.wav@0", "stereo_tc.wav@1", "clip.mov@2"}));
        QVERIFY(files.at(2).audioTCReadRequested && model.records().at(2).audioTCReadRequested);
        QCOMPARE(readReq.at(0).at(1).value<AudioTCOptions>().channel, 3);
        selectRows(list, {2, 0});
        list.onAudioTCReadReq(AudioTCOptions());
        QStringList selected = names(readReq.at(1).at(0).value<QVector<FileData>>());
        selected.sort();
        QCOMPARE(selected, QStringList({"clip.mov@2", "mono_tc.wav@0"}));
        list.clearSelection();
        list.onAudioTCReadReq(AudioTCOptions());
        QVERIFY(readReq.at(2).at(0).value<QVector<FileData>>().isEmpty());

        ExportOptions options;
        options.exportAll = true;
        options.muteAudioTC = true;
        options.targetFolderPath = dir.path();
        list.exportFiles(options);
        // A muted mono WAV with its own timecode goes too: it comes back with its reason.
        QCOMPARE(names(exportReq.at(0).at(0).value<QVector<FileData>>()),
                 QStringList({"mono_tc.wav@0", "stereo_tc.wav@1", "clip.mov@2"}));
        QCOMPARE(exportReq.at(0).at(1).value<ExportOptions>().targetFolderPath, dir.path());
        // Each row keeps its outcome; one for a row that is gone changes nothing.
        ExportResult leftOut;
        leftOut.fileNumber = 0;
        leftOut.resultCode = ResultCode::LeftOutOnlyTimecodeChannel;
        model.onExportFileResult(leftOut);
        leftOut.fileNumber = 9;
        model.onExportFileResult(leftOut);
        QCOMPARE(model.records().at(0).lastExport.resultCode, int(ResultCode::LeftOutOnlyTimecodeChannel));
        QCOMPARE(cell(model, 0, FileTableModel::ExportColumn), QString("left out"));
        QCOMPARE(model.index(0, FileTableModel::ExportColumn).data(Qt::ToolTipRole).toString(),
                 QString("left out: its only channel is the timecode"));
        QCOMPARE(model.records().at(1).lastExport.resultCode, int(ResultCode::NotExported));
        list.exportFinished();

        options.exportAll = false;
        selectRows(list, {2});
        list.exportFiles(options);
        QCOMPARE(names(exportReq.at(1).at(0).value<QVector<FileData>>()), QStringList({"clip.mov@2"}));
        list.exportFinished();
        // An empty request starts no job, so it leaves the way open and says why nothing happened.
        list.clearSelection();
        list.exportFiles(options);
        QCOMPARE(exportReq.count(), 3);
        QVERIFY(!list.isExportRunning());
        QCOMPARE(status.last().at(0).toString(), QString("no files to export"));
    }

    // A file is one row however it comes again; each row says where it is and
    // how its camera's timecode lies against the LTC.
    void oneRowPerFileWithFolderAndOffset()
    {
        FileTableModel model;
        QSignalSpy skipped(&model, &FileTableModel::fileSkipped);
        addProbed(model, "cam.mov", 5);
        model.addItemToTable(QFileInfo(dir.filePath("cam.mov")));
        QVERIFY(QFile::link(dir.filePath("cam.mov"), dir.filePath("link.mov")));
        model.addItemToTable(QFileInfo(dir.filePath("link.mov")));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(skipped.count(), 2);
        QCOMPARE(cell(model, 0, FileTableModel::FolderColumn), QDir::toNativeSeparators(dir.path()));
        QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole).toString(), QDir::toNativeSeparators(dir.filePath("cam.mov")));

        // File TC minus Audio TC in the video's frames, the short way round midnight; a WAV's in LTC frames.
        auto offset = [&](const QString &fileTC, const QString &videoRate, const QJsonObject &report) {
            FileData probe = probeRecord(5, fileTC);
            if (!videoRate.isEmpty()) {
                probe.probe.streams.append(probeStream(1, "video", "h264", {{"r_frame_rate", videoRate}}));
                probe.videoStreamPosition = 1;
            }
            model.removeIds(model.ids()); // gone, its file may come again
            model.addItemToTable(makeFile(videoRate.isEmpty() ? "o.wav" : "o.mov"));
            const int id = model.ids().first();
            model.onFFProbeResult(probe, id, 0);
            model.onAudioTCReadReturn(report, id, 0, 0);
            return cell(model, 0, FileTableModel::TCOffsetColumn);
        };
        const QJsonObject at25 = successReport("10:00:00:24", 25, false, false, 0);
        QCOMPARE(offset("10:00:00:48", "50/1", at25), QString("0"));
        QCOMPARE(offset("00:00:00:01", "25/1", successReport("23:59:59:24", 25, false, false, 0)), QString("+2"));
        QCOMPARE(offset("10:00:00.920", "", at25), QString("-1"));
        QCOMPARE(offset(QString(), "25/1", at25), QString());
        QCOMPARE(offset("10:01:00;02", "30000/1001", successReport("10:00:59;29", 29.97, true, true, 0)), QString("+1"));
    }

    // Every column sorts: names naturally (C2 before C10), durations by value, timecodes by their
    // position in the day (frames at their rate, or milliseconds), where the
    // texts would sort otherwise; rows without one last.
    void sorting()
    {
        FileList list;
        FileTableModel &model = *list.fileModel();
        addProbed(model, "b.mov", 100.0 * 3600, 2, QDateTime(), "09:00:00:10");
        addProbed(model, "C10.mov", 9.5, 2, QDateTime(), "23:59:59:24");
        addProbed(model, "a.wav", 23.0 * 3600, 2, QDateTime(), "09:00:00.500");
        addProbed(model, "C2.mov", 10.0, 2, QDateTime(), QString());
        model.onAudioTCReadReturn(successReport("09:00:00:05", 25, false, false, 0), 0, 0, 0);
        model.onAudioTCReadReturn(successReport("00:00:00;02", 29.97, true, true, 0), 1, 0, 0);
        model.onAudioTCReadReturn(QJsonObject(), 2, 0, 205);
        model.onAudioTCReadReturn(successReport("09:00:00;02", 29.97, true, true, 0), 3, 0, 0);

        auto shown = [&] {
            QStringList rows;
            for (int row = 0; row < list.model()->rowCount(); ++row)
                rows << cell(*list.model(), row, 0);
            return rows.join(' ');
        };
        auto column = [&](int sortColumn, Qt::SortOrder order) {
            list.sortByColumn(sortColumn, order);
            return shown();
        };
        // Rows keep the order they came in until a header is clicked.
        QCOMPARE(column(-1, Qt::AscendingOrder), QString("b.mov C10.mov a.wav C2.mov"));
        QCOMPARE(column(0, Qt::AscendingOrder), QString("a.wav b.mov C2.mov C10.mov"));
        QCOMPARE(column(1, Qt::AscendingOrder), QString("C10.mov C2.mov a.wav b.mov"));
        QCOMPARE(column(1, Qt::DescendingOrder), QString("b.mov a.wav C2.mov C10.mov"));
        QCOMPARE(column(2, Qt::AscendingOrder), QString("b.mov a.wav C10.mov C2.mov"));
        QCOMPARE(column(3, Qt::AscendingOrder), QString("C10.mov C2.mov b.mov a.wav"));

        // A selection stays with its files, and a click reports the file shown there.
        selectRows(list, {0, 2});
        QStringList before = names(QVector<FileData>{model.records().at(list.selectedIds().at(0)),
                                                     model.records().at(list.selectedIds().at(1))});
        column(1, Qt::DescendingOrder);
        QStringList after = names(QVector<FileData>{model.records().at(list.selectedIds().at(0)),
                                                    model.records().at(list.selectedIds().at(1))});
        before.sort();
        after.sort();
        QCOMPARE(after, before);
        QCOMPARE(before, QStringList({"C10.mov@1", "b.mov@0"}));
        QSignalSpy info(&list, &FileList::updateFileInfo);
        emit list.clicked(list.model()->index(0, 1));
        QCOMPARE(info.at(0).at(0).value<FileData>().fileName, QString("b.mov"));
        // A sorted table places new rows and changed texts in order.
        addProbed(model, "e.mov", 11.0);
        QCOMPARE(shown(), QString("b.mov a.wav e.mov C2.mov C10.mov"));
    }

    // Removing rows needs no quiet moment: answers find their rows by id and
    // those of removed rows are dropped. Only an export still holds the rows.
    void removalDuringReads()
    {
        FileList list;
        FileTableModel &model = *list.fileModel();
        for (int i = 0; i < 5; ++i)
            addProbed(model, QString("d%1.wav").arg(i), 5 + i);
        model.onAudioTCReadReturn(successReport("10:00:00:00", 25, false, false, 0), 2, 0, 0);

        // Ctrl-select rows 3 and 1 while their reads are outstanding.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualRect(list.model()->index(3, 0)).center());
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, list.visualRect(list.model()->index(1, 0)).center());
        QCOMPARE(list.selectionModel()->selectedRows().size(), 2);
        QVERIFY(list.deletionRefusal().isEmpty());
        list.deleteSelectedRows();
        QCOMPARE(names(model.records()), QStringList({"d0.wav@0", "d2.wav@2", "d4.wav@4"}));
        QCOMPARE(cell(*list.model(), 1, 3), QString("10:00:00:00@25.00 on ch. 1"));

        // Late answers: the removed row's is dropped, d4's lands on d4 at its new row.
        model.onAudioTCReadReturn(successReport("11:00:00:00", 25, false, false, 0), 3, 0, 0);
        model.onAudioTCReadReturn(successReport("12:00:00:00", 25, false, false, 0), 4, 0, 0);
        QCOMPARE(cell(model, 2, 3), QString("12:00:00:00@25.00 on ch. 1"));
        QCOMPARE(cell(model, 1, 3), QString("10:00:00:00@25.00 on ch. 1"));
        QCOMPARE(cell(model, 0, 3), QString("init audio TC"));

        // Siblings are found at the rows they moved to, and keep their source by id.
        const int late = addProbed(model, "d5.wav", 7.01);
        model.onAudioTCReadReturn(QJsonObject(), late, 0, 205);
        QCOMPARE(cell(model, 3, 3), QString("10:00:00:00@(linked)"));
        QCOMPARE(model.records().at(3).audioTCLinkedRow, 2);

        // Deleting every row leaves an empty table, without the placeholder.
        list.selectAll();
        list.deleteSelectedRows();
        QCOMPARE(model.rowCount(), 0);
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
            addProbed(*list.fileModel(), QString("c%1.mov").arg(i), 5);
        const QString longText = ResultCode::text(2001);
        const int needed = list.fontMetrics().horizontalAdvance(longText);
        QTRY_VERIFY_WITH_TIMEOUT(list.columnWidth(FileTableModel::AudioTCColumn) < needed, 5000);

        list.fileModel()->onAudioTCReadReturn(QJsonObject(), 90, -1, 2001);
        QVERIFY(!list.viewport()->rect().intersects(list.visualRect(list.model()->index(90, 0))));
        // Drained: the fit that follows any update has run.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(list.columnWidth(FileTableModel::AudioTCColumn) < needed);

        list.scrollTo(list.model()->index(90, 0));
        QTRY_VERIFY_WITH_TIMEOUT(list.columnWidth(FileTableModel::AudioTCColumn) >= needed, 5000);
    }
};

QTEST_MAIN(FileTableTest)
#include "tst_filetable.moc"
