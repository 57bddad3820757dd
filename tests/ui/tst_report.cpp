// Reports of a table of generated clips, read back by parsers of the test's
// own, and the run without a window as a script would start it.

#include "FileTableModel.h"
#include "MetaTypes.h"
#include "ReportRun.h"
#include "ReportWriter.h"
#include "TestMedia.h"
#include "TestWait.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using TestMedia::MediaRecipe;

namespace {

// RFC 4180: records end in CRLF, fields in double quotes may hold commas,
// line breaks and doubled quotes. Fails the parse (empty result) on anything else.
QList<QStringList> parseCsv(const QByteArray &bytes, QString *problem)
{
    const QByteArray bom = "\xEF\xBB\xBF";
    if (!bytes.startsWith(bom)) {
        *problem = "no UTF-8 byte order mark";
        return {};
    }
    const QString text = QString::fromUtf8(bytes.mid(bom.size()));
    QList<QStringList> records;
    QStringList record;
    QString field;
    int i = 0;
    while (i < text.size()) {
        if (text.at(i) == '"') {
            ++i;
            while (true) {
                if (i >= text.size()) {
                    *problem = "unterminated quoted field";
                    return {};
                }
                if (text.at(i) == '"') {
                    if (i + 1 < text.size() && text.at(i + 1) == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text.at(i++);
            }
        }
        while (i < text.size() && text.at(i) != ',' && text.at(i) != '\r' && text.at(i) != '\n') {
            if (text.at(i) == '"') {
                *problem = "quote inside an unquoted field";
                return {};
            }
            field += text.at(i++);
        }
        if (i >= text.size()) {
            *problem = "last record does not end in CRLF";
            return {};
        }
        record << field;
        field.clear();
        if (text.at(i) == ',') {
            ++i;
        } else if (text.mid(i, 2) == "\r\n") {
            records << record;
            record.clear();
            i += 2;
        } else {
            *problem = QString("bare line break at %1").arg(i);
            return {};
        }
    }
    return records;
}

struct Ale
{
    QMap<QString, QString> heading;
    QStringList columns;
    QList<QMap<QString, QString>> rows;
};

// Heading, Column and Data sections separated by empty lines, tab-separated,
// every data row exactly as many fields as there are columns.
Ale parseAle(const QByteArray &bytes, QString *problem)
{
    const QString text = QString::fromUtf8(bytes);
    if (!text.endsWith("\r\n")) {
        *problem = "does not end in CRLF";
        return {};
    }
    const QStringList lines = text.left(text.size() - 2).split("\r\n");
    Ale ale;
    int i = 0;
    if (lines.value(i++) != "Heading") {
        *problem = "no Heading section first";
        return {};
    }
    for (; i < lines.size() && !lines.at(i).isEmpty(); ++i) {
        const QStringList pair = lines.at(i).split('\t');
        if (pair.size() != 2) {
            *problem = "heading line without exactly one tab: " + lines.at(i);
            return {};
        }
        ale.heading.insert(pair.at(0), pair.at(1));
    }
    ++i;
    if (lines.value(i++) != "Column") {
        *problem = "no Column section after the heading";
        return {};
    }
    ale.columns = lines.value(i++).split('\t');
    if (!lines.value(i++).isEmpty() || lines.value(i++) != "Data") {
        *problem = "no Data section after the columns";
        return {};
    }
    for (; i < lines.size(); ++i) {
        const QStringList fields = lines.at(i).split('\t');
        if (fields.size() != ale.columns.size()) {
            *problem = QString("data row with %1 fields for %2 columns: %3")
                           .arg(fields.size()).arg(ale.columns.size()).arg(lines.at(i));
            return {};
        }
        QMap<QString, QString> row;
        for (int c = 0; c < fields.size(); ++c)
            row.insert(ale.columns.at(c), fields.at(c));
        ale.rows << row;
    }
    return ale;
}

QMap<QString, QString> csvRow(const QStringList &header, const QStringList &fields)
{
    QMap<QString, QString> row;
    for (int c = 0; c < header.size(); ++c)
        row.insert(header.at(c), fields.value(c));
    return row;
}

// A row as the table holds it after a successful read of `timecode`.
FileData timedRecord(const QString &timecode, int base, bool ntsc, bool drop, double seconds)
{
    FileData record;
    record.fileName = "clip.mov";
    record.filePath = "/cards/clip.mov";
    record.baseName = "clip";
    record.duration = seconds;
    record.audioTC = timecode;
    record.hasAudioTC = true;
    record.audioTCStreamIndex = 1;
    record.audioTCChannel = 0;
    AudioTCReading &reading = record.audioTCReading;
    reading.timecode = timecode;
    reading.frameRateFound = ntsc ? base * 1000.0 / 1001.0 : base;
    reading.frameRateBase = base;
    reading.ntsc = ntsc;
    reading.dropFrame = drop;
    reading.channel = 0;
    reading.algorithm = "LOW";
    return record;
}

} // namespace

class ReportTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QStringList clips; // in the order of the table

private slots:
    void initTestCase()
    {
        registerMetaTypes();
        QVERIFY(dir.isValid());

        MediaRecipe named = TestMedia::recipe("Take, \"one\" Ü.mov", 2, 1);
        named.fileTimecode = "09:00:00:00";
        named.videoSize = "1280x720";
        clips << TestMedia::makeMov(dir.path(), named);

        MediaRecipe df = TestMedia::recipe("df.mov");
        df.fps = "29.97";
        df.dropFrame = true;
        df.ltcStart = "00:00:58:00";
        df.videoSize = "1280x720";
        clips << TestMedia::makeMov(dir.path(), df);

        MediaRecipe film = TestMedia::recipe("film.mov");
        film.fps = "23.976";
        film.ltcStart = "12:00:00:00";
        film.videoSize = "1920x1080";
        clips << TestMedia::makeMov(dir.path(), film);

        // Two WAV files of one recording: same moment, same length; only the first has LTC.
        MediaRecipe wav = TestMedia::recipe("S01_1.wav", 2, 0, "16:05:00:00");
        clips << TestMedia::makeLtcWav(dir.path(), wav);
        wav.fileName = "S01_2.wav";
        wav.ltcStream = -1;
        clips << TestMedia::makeLtcWav(dir.path(), wav);

        MediaRecipe none = TestMedia::recipe("none.mov");
        none.ltcStream = -1;
        clips << TestMedia::makeMov(dir.path(), none);

        // LTC at 30 in a 25p clip whose camera runs two frames ahead.
        MediaRecipe rate = TestMedia::recipe("rate.mov");
        rate.fps = "30";
        rate.videoFps = "25";
        rate.fileTimecode = "10:00:00:02";
        clips << TestMedia::makeMov(dir.path(), rate);

        for (const QString &clip : qAsConst(clips))
            MADE(clip);
        const QDateTime written = QDateTime::fromString("2024-05-01T16:05:04", Qt::ISODate);
        for (const QString &path : {clips.at(3), clips.at(4)}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(written, QFileDevice::FileModificationTime));
        }
    }

    // The run reads through the real table and controller; both reports are
    // parsed back and compared field by field.
    void reportsOfATableOfClips()
    {
        ReportRun::Settings settings;
        settings.reportPath = dir.filePath("unused.csv");
        // The folder brings every clip a second time: each is one row, and the import still ends.
        settings.paths = clips + QStringList{dir.path()};
        ReportRun run(settings);
        QSignalSpy finished(&run, &ReportRun::finished);
        run.start();
        QVERIFY(finished.wait(TestWait::toolWorkMs));
        QCOMPARE(finished.first().first().toInt(), int(ReportRun::SomeFilesUnread));
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY2(!widget->isVisible(), qPrintable(widget->metaObject()->className()));

        const QVector<FileData> records = run.table()->records();
        QCOMPARE(records.size(), clips.size());
        const ReportWriter writer(records);

        QString problem;
        const QList<QStringList> csv = parseCsv(writer.csv(), &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(csv.size(), clips.size() + 1);
        const QStringList header = csv.first();
        QCOMPARE(header, QStringList({"File Name", "Path", "Duration", "File TC", "Audio TC", "Frame Rate",
                                      "Drop Frame", "Audio Stream", "TC Channel", "Found", "Algorithm", "Status",
                                      "Export Path", "Export TC", "Export Result", "TC Offset"}));
        // Name, File TC, Audio TC, rate, DF, stream, channel, found, algorithm, status, offset (video frames).
        const QList<QStringList> want{
            {"Take, \"one\" Ü.mov", "09:00:00:00", "10:00:00:00", "25.00", "no", "1", "2", "own", "LOW", "ok", "-90000"},
            {"df.mov", "", "00:00:58;00", "29.97", "yes", "1", "1", "own", "LOW", "ok", ""},
            {"film.mov", "", "12:00:00:00", "23.98", "no", "1", "1", "own", "LOW", "ok", ""},
            {"S01_1.wav", "", "16:05:00:00", "25.00", "no", "0", "1", "own", "LOW", "ok", ""},
            {"S01_2.wav", "", "16:05:00:00", "25.00", "no", "", "", "linked from S01_1.wav", "LOW", "ok", ""},
            {"none.mov", "", "", "", "", "", "", "", "", "audio TC not found", ""},
            {"rate.mov", "10:00:00:02", "10:00:00:00", "30.00", "no", "1", "1", "own", "LOW", "ok", "2"}};
        const QStringList compared{"File Name", "File TC", "Audio TC", "Frame Rate", "Drop Frame", "Audio Stream",
                                   "TC Channel", "Found", "Algorithm", "Status", "TC Offset"};
        // The table says at the read what export will refuse, with the export's reason.
        QCOMPARE(run.table()->index(6, FileTableModel::AudioTCColumn).data().toString(),
                 QString("10:00:00:00@30.00 on ch. 1 (LTC 30 fps does not match video 25 fps)"));
        QCOMPARE(run.table()->index(0, FileTableModel::TCOffsetColumn).data().toString(), QString("-90000"));
        for (int r = 0; r < want.size(); ++r) {
            const QMap<QString, QString> row = csvRow(header, csv.at(r + 1));
            QCOMPARE(csv.at(r + 1).size(), header.size());
            for (int c = 0; c < compared.size(); ++c)
                QCOMPARE(row.value(compared.at(c)), want.at(r).at(c));
            QCOMPARE(row.value("Path"), QFileInfo(clips.at(r)).absoluteFilePath());
            const QString duration = row.value("Duration");
            QVERIFY2(QRegularExpression("^00:00:0\\d\\.\\d{3}$").match(duration).hasMatch(), qPrintable(duration));
            QVERIFY2(qAbs(duration.mid(6).toDouble() - 4.0) < 0.05, qPrintable(duration));
            QCOMPARE(row.value("Export Path"), QString());
        }
        // The odd name is quoted with its quotes doubled, in UTF-8.
        QVERIFY(writer.csv().contains("\r\n\"Take, \"\"one\"\" \xC3\x9C.mov\","));

        const Ale ale = parseAle(writer.ale(), &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(ale.heading.value("FIELD_DELIM"), QString("TABS"));
        // Two 720p clips outnumber the 1080p one; the 160x120 ones have no name there.
        QCOMPARE(ale.heading.value("VIDEO_FORMAT"), QString("720"));
        QCOMPARE(ale.heading.value("AUDIO_FORMAT"), QString("48khz"));
        QCOMPARE(ale.heading.value("FPS"), QString("25"));
        QCOMPARE(ale.columns.mid(0, 7),
                 QStringList({"Name", "Tracks", "Start", "End", "Duration", "Source File", "Tape"}));
        QCOMPARE(ale.rows.size(), clips.size());
        // Name, tracks, start, end, duration, tape, rate mismatch.
        const QList<QStringList> wantAle{
            {"Take, \"one\" Ü.mov", "VA1A2", "10:00:00:00", "10:00:04:00", "00:00:04:00", "Take, \"one\" Ü", ""},
            {"df.mov", "VA1A2", "00:00:58;00", "00:01:02;02", "00:00:04;00", "df", "yes"},
            {"film.mov", "VA1A2", "12:00:00:00", "12:00:04:00", "00:00:04:00", "film", "yes"},
            {"S01_1.wav", "A1A2", "16:05:00:00", "16:05:04:00", "00:00:04:00", "S01_1", ""},
            {"S01_2.wav", "A1A2", "16:05:00:00", "16:05:04:00", "00:00:04:00", "S01_2", ""},
            {"none.mov", "VA1A2", "", "", "00:00:04:00", "none", ""},
            {"rate.mov", "VA1A2", "10:00:00:00", "10:00:04:00", "00:00:04:00", "rate", "yes"}};
        const QStringList aleCompared{"Name", "Tracks", "Start", "End", "Duration", "Tape", "Rate Mismatch"};
        for (int r = 0; r < wantAle.size(); ++r) {
            for (int c = 0; c < aleCompared.size(); ++c)
                QCOMPARE(ale.rows.at(r).value(aleCompared.at(c)), wantAle.at(r).at(c));
            QCOMPARE(ale.rows.at(r).value("Source File"), QFileInfo(clips.at(r)).absoluteFilePath());
            QCOMPARE(ale.rows.at(r).value("Status"), want.at(r).at(9));
            QCOMPARE(ale.rows.at(r).value("Found"), want.at(r).at(7));
            QCOMPARE(ale.rows.at(r).value("TC Offset"), want.at(r).at(10));
        }
    }

    // End is Start plus the duration at the clip's rate, across dropped frame
    // numbers and midnight.
    void aleEndAtTheClipsRate_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("base");
        QTest::addColumn<bool>("ntsc");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("fps");
        QTest::newRow("25 over midnight") << "23:59:59:24" << 25 << false << false << 1 << "00:00:00:00"
                                          << "00:00:00:01" << "25";
        QTest::newRow("DF into minute 1") << "00:00:59;28" << 30 << true << true << 4 << "00:01:00;04"
                                          << "00:00:00;04" << "29.97";
        QTest::newRow("DF tenth minute") << "00:09:59;29" << 30 << true << true << 1 << "00:10:00;00"
                                         << "00:00:00;01" << "29.97";
        QTest::newRow("DF over midnight") << "23:59:59;29" << 30 << true << true << 1 << "00:00:00;00"
                                          << "00:00:00;01" << "29.97";
        QTest::newRow("29.97 non-drop") << "01:00:00:00" << 30 << true << false << 1800 << "01:01:00:00"
                                        << "00:01:00:00" << "29.97";
        QTest::newRow("23.976") << "01:00:00:00" << 24 << true << false << 240 << "01:00:10:00"
                                << "00:00:10:00" << "23.976";
    }

    void aleEndAtTheClipsRate()
    {
        QFETCH(QString, start);
        QFETCH(int, base);
        QFETCH(bool, ntsc);
        QFETCH(bool, drop);
        QFETCH(int, frames);
        QFETCH(QString, end);
        QFETCH(QString, duration);
        QFETCH(QString, fps);
        const double rate = ntsc ? base * 1000.0 / 1001.0 : base;
        const ReportWriter writer({timedRecord(start, base, ntsc, drop, frames / rate)});
        QString problem;
        const Ale ale = parseAle(writer.ale(), &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(ale.heading.value("FPS"), fps);
        QCOMPARE(ale.rows.value(0).value("Start"), start);
        QCOMPARE(ale.rows.value(0).value("End"), end);
        QCOMPARE(ale.rows.value(0).value("Duration"), duration);
    }

    // Own, searched for later in the file, or taken from a sibling that may since have been removed;
    // and a rate the signal contradicts.
    void foundColumnAndSignalRate()
    {
        // Sources are named by their ids, not by their rows.
        FileData own = timedRecord("10:00:00:00", 25, false, false, 4.0);
        own.fileNumber = 5;
        FileData searched = own;
        searched.fileNumber = 6;
        searched.audioTCReading.foundAt = 12.48;
        FileData linked;
        linked.fileName = "S01_2.wav";
        linked.setLinkedAudioTC(5, own.audioTC, own.audioTCReading);
        FileData orphan = linked;
        orphan.audioTCLinkedRow = 0;
        const QVector<FileData> records{own, searched, linked, orphan};
        QStringList found;
        for (const FileData &record : records)
            found << ReportWriter::fields(record, records).at(ReportWriter::FoundColumn);
        QCOMPARE(found, QStringList({"own", "found at 00:00:12.480", "linked from clip.mov", "linked"}));

        // A forced rate the signal contradicts carries what the signal measures.
        FileData forced = timedRecord("10:00:00:00", 24, false, false, 4.0);
        forced.audioTCReading.signalRate = 25.0;
        const QStringList forcedRow = ReportWriter::fields(forced, {forced});
        QCOMPARE(forcedRow.at(ReportWriter::FrameRateColumn), QString("24.00 (signal 25.00)"));
        // Its timecode is off by seconds: not read, for the status and the exit code alike.
        QCOMPARE(forcedRow.at(ReportWriter::StatusColumn), QString("read at 24.00 fps, but the signal runs at 25.00 fps"));
        QVERIFY(!ReportWriter::isRead(forced) && ReportWriter::isRead(own));
        QCOMPARE(ReportWriter::fields(own, {own}).at(ReportWriter::FrameRateColumn), QString("25.00"));
    }

    // Given settings read once more, as the read dialog would; every file read is 0.
    void commandLineRunWithSettings()
    {
        const QString alePath = dir.filePath("take.ale");
        const TestMedia::ToolRun run = TestMedia::runTool(
            "Dorrik", {"--report", alePath, "--channel", "2", "--read-algorithm", "HIGH", "--fps", "25", clips.first()},
            TestMedia::withoutDisplay());
        QVERIFY(run.finished && !run.crashed);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.standardError), QString("1/1 importing...\n1/1 reading...\n"));
        QFile file(alePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString problem;
        const Ale ale = parseAle(file.readAll(), &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(ale.rows.size(), 1);
        QCOMPARE(ale.rows.first().value("Start"), QString("10:00:00:00"));
        QCOMPARE(ale.rows.first().value("TC Channel"), QString("2"));
        QCOMPARE(ale.rows.first().value("Algorithm"), QString("HIGH"));
    }
};

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
