// The probe and extraction jobs, with the real ffprobe and ffmpeg on
// generated media (a fake tool only to print slowly).
#include "ExtractJob.h"
#include "FakeToolDir.h"
#include "JobWait.h"
#include "MetaTypes.h"
#include "ProbeJob.h"
#include "RiffChunks.h"
#include "TestMedia.h"
#include "WorkFolder.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace TestMedia;

namespace {

struct ProbeOutcome
{
    int results = 0;
    ProbeRecord record;
    int fileId = -1;
    int code = -1;
};

ProbeOutcome probeThroughJob(const QString &path, int fileId)
{
    ProbeOutcome outcome;
    outcome.results = runToEnd(new ProbeJob(path, fileId), [&outcome](ProbeJob *job) {
        outcome.record = job->record();
        outcome.fileId = job->fileId();
        outcome.code = job->resultCode();
    });
    return outcome;
}

// Every member of a probe record, a line per part, so a difference names its member.
QStringList membersOf(const ProbeRecord &r)
{
    const ProbeFormat &f = r.format;
    QStringList lines{QStringLiteral("%1 %2, duration %3 %4, tags: timecode %5 '%6' '%7' '%8' '%9'").arg(r.valid)
                          .arg(f.formatName).arg(f.hasDuration).arg(f.duration, 0, 'g', 17).arg(f.hasTimecode)
                          .arg(f.timecode, f.creationTime, f.timeReference, f.comment)
                      + f.description + '|' + f.reelName};
    for (const ProbeStream &s : r.streams)
        lines << QStringLiteral("%1 %2 %3 %4, %5 ch '%6', %7 Hz, %8 bits, %9").arg(s.index).arg(s.codecType,
                     s.codecName, s.codecTag).arg(s.channels).arg(s.channelLayout).arg(s.sampleRate).arg(s.bitsPerSample)
                     .arg(s.rFrameRate.written + ' ' + s.avgFrameRate.written + ' ' + s.timeBase.written)
              << QStringLiteral("start %1 %2, duration %3, frames %4 %5, %6x%7, tags %8 '%9'").arg(s.hasStartTime)
                     .arg(s.startTime).arg(s.duration, 0, 'g', 17).arg(s.nbFrames).arg(s.nbReadPackets).arg(s.width)
                     .arg(s.height).arg(s.hasTimecode).arg(s.timecode + '|' + s.encoder + '|' + s.reelName);
    return lines;
}

QByteArray chunk(const QByteArray &id, const QByteArray &payload)
{
    QByteArray size(4, '\0');
    qToLittleEndian<quint32>(quint32(payload.size()), size.data());
    return id + size + payload + QByteArray(payload.size() & 1, '\0');
}

// Extracts the record's streams; the folder the job made, or empty.
QString extractThroughJob(const FileData &record, int *code)
{
    QString folder;
    const int results = runToEnd(new ExtractJob(record), [&](ExtractJob *job) {
        folder = job->folder();
        *code = job->resultCode();
        if (job->fileData().fileNumber != record.fileNumber)
            *code = -2;
    });
    return results == 1 ? folder : QString();
}

double durationOf(const QString &path)
{
    return probe(path).value("format").toObject().value("duration").toString().toDouble();
}

} // namespace

class ProbeExtractTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void wavProbedInProcessAsFfprobeDoes();

    void extractArguments_data();
    void extractArguments();
    void extractTwoStreamsCutToThreeSeconds();

    void cleanupTestCase() { QVERIFY(removeWorkFolder()); }

private:
    QTemporaryDir dir;
    QString mov;
};

void ProbeExtractTest::initTestCase()
{
    registerMetaTypes();
    QVERIFY(dir.isValid());
    MediaRecipe recipe = TestMedia::recipe(QStringLiteral("take one ü.A01.mov"));
    recipe.seconds = 4.0;
    recipe.audioStreams = 2;
    recipe.ltcStream = 1;
    recipe.ltcChannel = 1;
    recipe.fileTimecode = QStringLiteral("10:00:00:00");
    mov = makeMov(dir.path(), recipe);
    QVERIFY2(!mov.isEmpty(), qPrintable(lastError()));
}

// A WAV the reader understands is probed without ffprobe and gives exactly
// ffprobe's record; any other file goes to ffprobe.
void ProbeExtractTest::wavProbedInProcessAsFfprobeDoes()
{
    const QString bwf = makeBwfWav(dir.path(), recipe("recorder.wav", 1), 172800000);
    MADE(bwf);
    QList<QPair<QString, bool>> wavs{{bwf, true}}; // path, read in process
    const QList<QStringList> formats{
        {"--bext-time-reference", "1728000000", "--bext-description", "sSPEED=025.000-ND\r\nsTAKE=3 \xc3\xbc"},
        {"--format", "s24", "--extensible", "--channels", "6"}, {"--format", "s32", "--rate", "96000"},
        {"--format", "f32", "--extensible", "--channels", "1"}, {"--format", "u8", "--rate", "44100", "--channels", "3"},
        {"--format", "s24", "--extensible", "--channels", "8", "--seconds", "0.0100625"}}; // 10062.5 µs
    for (const QStringList &options : formats) {
        wavs.append({dir.filePath(QStringLiteral("f%1.wav").arg(wavs.size())), true});
        QVERIFY(runTool("ltcgen", QStringList{wavs.last().first, "--channels", "2"} + options).ok());
    }
    // The same chunks in other orders, with an odd-sized one and an INFO list more: the later of a
    // bext description and an INFO comment is the comment, and chunks after the data count.
    QFile source(wavs.at(1).first);
    QVERIFY(source.open(QIODevice::ReadOnly));
    QHash<QByteArray, QByteArray> c{{"junk", chunk("junk", "odd")},
        {"LIST", chunk("LIST", "INFO" + chunk("ICMT", "from INFO") + chunk("ISMP", "10:00:00:00"))}};
    for (const RiffChunks::Chunk &part : RiffChunks::read(source).chunks)
        c.insert(part.id, (source.seek(part.offset), chunk(part.id, source.read(part.size))));
    const QList<QList<QByteArray>> orders{{c["LIST"], c["junk"], c["bext"], c["fmt "], c["data"]},
        {c["fmt "], c["data"], c["bext"], c["junk"], c["LIST"]}, {c["data"], c["LIST"], c["fmt "], c["bext"]},
        {c["fmt "], c["data"].left(c["data"].size() / 2)}}; // the data chunk runs past the end: ffprobe's
    for (const QList<QByteArray> &order : orders) {
        wavs.append({dir.filePath(QStringLiteral("o%1.wav").arg(wavs.size())), order.size() > 2});
        QFile file(wavs.last().first);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(chunk("RIFF", "WAVE" + order.join())) > 0);
    }
    for (const QStringList &encoding : QList<QStringList>{{"-rf64", "always"}, {"-c:a", "adpcm_ms"}}) {
        wavs.append({dir.filePath("card 1 Ø \"" + encoding.last() + "\".wav"), false});
        QVERIFY(runTool("ffmpeg", QStringList{"-v", "error", "-i", bwf} + encoding << wavs.last().first).ok());
    }

    QList<QStringList> expected;
    for (const auto &wav : qAsConst(wavs))
        expected << membersOf(ProbeRecord::fromJson(probe(wav.first)));
    QVERIFY(expected.first().first().contains("'172800000'"));
    // A file that is no media and one cut off fail ffprobe; the file's id stays.
    const QString text = makeNonMediaFile(dir.path(), "notes.wav"), cut = makeCorruptFile(dir.path(), "cut.mov");
    MADE(text);
    MADE(cut);
    wavs << qMakePair(text, false) << qMakePair(cut, false);
    // ffprobe behind a stand-in that notes the arguments of each run, one per line.
    FakeToolDir fakes;
    QFile runs(fakes.filePath("runs"));
    QVERIFY(fakes.add("ffprobe", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" + runs.fileName().toUtf8()
                                 + "'\nexec '" + toolPath("ffprobe").toUtf8() + "' \"$@\""));
    // As a tool's end, the result comes from the event loop, never inside start().
    auto *job = new ProbeJob(bwf, 0);
    QSignalSpy finished(job, &Job::finished);
    job->start();
    QCOMPARE(finished.count(), 0);
    QTRY_COMPARE(finished.count(), 1);
    for (int i = 0; i < wavs.size(); ++i) {
        const qint64 ranBefore = runs.size();
        const ProbeOutcome outcome = probeThroughJob(wavs.at(i).first, i);
        QCOMPARE(outcome.results, 1);
        QCOMPARE(outcome.fileId, i);
        QVERIFY2((runs.size() > ranBefore) != wavs.at(i).second, qPrintable(wavs.at(i).first));
        if (i < expected.size()) {
            QCOMPARE(outcome.code, 0);
            QCOMPARE(membersOf(outcome.record), expected.at(i));
        } else {
            QCOMPARE(outcome.code, int(ResultCode::ProbeFailed));
            QVERIFY(outcome.record.streams.isEmpty());
        }
    }
    // A name with spaces, quotes and non-ASCII letters is one argument, as given.
    QVERIFY(runs.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(runs.readAll()).contains(QStringList{"-v", "quiet", "-print_format", "json",
        "-show_format", "-show_streams", wavs.at(expected.size() - 2).first}.join('\n') + '\n'));
}

void ProbeExtractTest::extractArguments_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QByteArray>("streams");
    QTest::addColumn<int>("fileNumber");
    QTest::addColumn<QStringList>("expected");

    const QString t = QStringLiteral("/tmp/work/clip");
    const QChar sep = QDir::separator();
    auto wav = [&](const QString &name) { return t + sep + name; };

    QTest::newRow("3.0 s is cut") << "clip.mov" << 3.0 << QByteArray("\x01", 1) << 7
        << QStringList{"-y", "-guess_layout_max", "0", "-ss", "0", "-i", "/media/clip.mov",
                       "-t", "3", "-map", "0:1", wav("7_1.wav")};
    QTest::newRow("2.99 s is whole") << "clip.mov" << 2.99 << QByteArray("\x01", 1) << 7
        << QStringList{"-y", "-guess_layout_max", "0", "-i", "/media/clip.mov", "-map", "0:1", wav("7_1.wav")};
    QTest::newRow("unknown duration is whole") << "clip.mov" << 0.0 << QByteArray("\x02", 1) << 0
        << QStringList{"-y", "-guess_layout_max", "0", "-i", "/media/clip.mov", "-map", "0:2", wav("0_2.wav")};
    QTest::newRow("two streams") << "a.b.c.mov" << 60.5 << QByteArray("\x01\x0c", 2) << 12
        << QStringList{"-y", "-guess_layout_max", "0", "-ss", "0", "-i", "/media/clip.mov",
                       "-t", "3", "-map", "0:1", wav("12_1.wav"), "-t", "3", "-map", "0:12", wav("12_12.wav")};
    QTest::newRow("name of any length is left out") << QString(248, QLatin1Char('n')) + ".mov" << 1.0 << QByteArray("\x00", 1) << 3
        << QStringList{"-y", "-guess_layout_max", "0", "-i", "/media/clip.mov", "-map", "0:0", wav("3_0.wav")};
    QTest::newRow("no streams still runs") << "clip.mov" << 10.0 << QByteArray() << 3
        << QStringList{"-y", "-guess_layout_max", "0", "-ss", "0", "-i", "/media/clip.mov"};
}

void ProbeExtractTest::extractArguments()
{
    QFETCH(QString, fileName);
    QFETCH(double, duration);
    QFETCH(QByteArray, streams);
    QFETCH(int, fileNumber);
    QFETCH(QStringList, expected);

    FileData record;
    record.filePath = QStringLiteral("/media/clip.mov");
    record.fileName = fileName;
    record.duration = duration;
    record.audioStreamIndexes = streams;
    record.fileNumber = fileNumber;
    QCOMPARE(ExtractJob::arguments(record, QStringLiteral("/tmp/work/clip")), expected);
}

void ProbeExtractTest::extractTwoStreamsCutToThreeSeconds()
{
    const FileData record = probedRecord(mov, 5);
    QCOMPARE(record.audioStreamIndexes, QByteArray("\x01\x02", 2));
    int code = -1;
    const QString folder = extractThroughJob(record, &code);
    QCOMPARE(code, 0);
    // A folder of its own, with exactly one WAV per stream, named after the file and stream.
    QVERIFY(folder.startsWith(workFolderPath()));
    const QDir work(folder);
    QCOMPARE(work.entryList(QDir::Files, QDir::Name), (QStringList{"5_1.wav", "5_2.wav"}));
    const QString first = work.filePath("5_1.wav");
    const QString second = work.filePath("5_2.wav");
    QVERIFY(qAbs(durationOf(first) - 3.0) < 0.01);
    QVERIFY(qAbs(durationOf(second) - 3.0) < 0.01);

    // Each file holds its own stream with all its channels.
    int rate = 0;
    const auto tones = decodeAudio(first, 0, &rate);
    QCOMPARE(rate, 48000);
    QCOMPARE(tones.size(), 2);
    QVERIFY(hasTone(tones[0], rate, toneFrequency(0, 0)));
    QVERIFY(hasTone(tones[1], rate, toneFrequency(0, 1)));
    const auto ltc = decodeAudio(second, 0);
    QCOMPARE(ltc.size(), 2);
    QVERIFY(hasTone(ltc[0], rate, toneFrequency(1, 0)));
    QVERIFY(looksLikeLtc(ltc[1], rate));
}

QTEST_GUILESS_MAIN(ProbeExtractTest)
#include "tst_probeandextract.moc"
