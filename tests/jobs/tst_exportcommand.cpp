// The export command as a whole: argument lists, output names, progress
// estimate and the check of a written file, without running a tool.
#include "BextChunk.h"
#include "ExportCheck.h"
#include "ExportCommand.h"
#include "ExportTarget.h"
#include "TestMedia.h"
#include "VideoFormat.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using TestMedia::probeStream;

namespace {

ProbeStream audioStream(int index, const QString &codec, int channels, const QString &layout = QString())
{
    return probeStream(index, "audio", codec, {{"channels", channels}, {"channel_layout", layout}});
}

ProbeStream videoStream(const QString &rate)
{
    return probeStream(0, "video", "mpeg4", {{"r_frame_rate", rate}});
}

QJsonObject report(double fpsFound, int base, bool ntsc, bool drop, qint64 samples)
{
    return QJsonObject{{"FrameRateFound", fpsFound}, {"FrameRateBaseFound", base}, {"NTSC", ntsc},
                       {"DropFrame", drop}, {"SamplesSinceMidnight", double(samples)}};
}

// A source with a video stream (unless rate is null) and the given audio
// streams after it; the timecode is on channel tcChannel of stream tcStream.
FileData source(const QString &fileName, const QString &rate, const QVector<ProbeStream> &audio,
                int tcStream = 1, int tcChannel = 0)
{
    FileData file;
    file.fileName = fileName;
    file.baseName = fileName.section(QLatin1Char('.'), 0, 0);
    file.suffix = fileName.section(QLatin1Char('.'), -1);
    file.filePath = QStringLiteral("/media/card 1/") + fileName;
    file.duration = 10.0;
    if (!rate.isNull()) {
        file.probe.streams.append(videoStream(rate));
        file.videoStreamPosition = 0;
    }
    for (const ProbeStream &stream : audio) {
        file.probe.streams.append(stream);
        file.audioStreamIndexes.append(char(stream.index));
    }
    file.audioTC = QStringLiteral("10:00:00:00");
    file.audioTCStreamIndex = tcStream;
    file.audioTCChannel = tcChannel;
    file.audioTCReading = AudioTCReading::fromReport(report(25, 25, false, false, 1728000000));
    file.hasAudioTC = true;
    return file;
}

FileData twoStereoMov()
{
    return source("clip.mov", "25/1", {audioStream(1, "pcm_s16le", 2), audioStream(2, "pcm_s16le", 2)});
}

ExportOptions exportOptions(int videoType, int audioType, bool mute)
{
    ExportOptions options;
    options.targetFolderPath = QStringLiteral("/out");
    options.videoExportType = VideoExportType(videoType);
    options.audioExportType = AudioExportType(audioType);
    options.muteAudioTC = mute;
    options.progressUnitsPerFile = 15;
    return options;
}

QStringList argumentsOf(const FileData &file, const ExportOptions &options)
{
    const ExportCommand command(file, options);
    return command.arguments(command.targetPath(0));
}

QStringList list(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList head(const FileData &file)
{
    return {"-y", "-i", file.filePath};
}

} // namespace

class ExportCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void everyVideoType_data();
    void everyVideoType();
    void dnxhdTable();
    void rateWithoutAProfileIsRefused_data();
    void rateWithoutAProfileIsRefused();
    void audioCodecs();
    void unmutedKeepsEveryStream();
    void mutingRemovesOnlyTheTimecodeChannel();
    void mutedMxfFromOtherContainers();
    void wavOutput();
    void wavTimeReferenceAtRealNtscRate();
    void noAudioTimecode();
    void targetNames();
    void targetNameChoice();
    void progressEstimate();
    void verificationOfTheWrittenFile();
    void speedLineInDescription();
    void ratesOfTimecodeAndVideo_data();
    void ratesOfTimecodeAndVideo();
    void mutedMonoWavIsLeftOutWithItsReason();
};

void ExportCommandTest::everyVideoType_data()
{
    QTest::addColumn<int>("videoType");
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("target");

    QTest::newRow("0 pass trough") << 0 << "-vcodec copy" << "/out/clip.mov";
    QTest::newRow("1 MPEG2") << 1 << "-vcodec mpeg2video -b:v 50M -pix_fmt yuv422p -s 1920x1080" << "/out/clip.MXF";
    QTest::newRow("2 MXF DNxHD 36") << 2 << "-vcodec dnxhd -b:v 36M -pix_fmt yuv422p -s 1920x1080 -r 25/1"
                                     << "/out/clip.MXF";
    QTest::newRow("3 MXF DNxHD 120") << 3 << "-vcodec dnxhd -b:v 120M -pix_fmt yuv422p -s 1920x1080 -r 25/1"
                                      << "/out/clip.MXF";
    QTest::newRow("4 MXF DNxHD 185x") << 4 << "-vcodec dnxhd -b:v 185M -pix_fmt yuv422p10 -s 1920x1080 -r 25/1"
                                       << "/out/clip.MXF";
    QTest::newRow("5 QuickTime copy") << 5 << "-vcodec copy" << "/out/clip.MOV";
    QTest::newRow("6 MOV DNxHD 36") << 6 << "-vcodec dnxhd -b:v 36M -pix_fmt yuv422p -s 1920x1080 -r 25/1"
                                     << "/out/clip.MOV";
    QTest::newRow("7 MOV DNxHD 120") << 7 << "-vcodec dnxhd -b:v 120M -pix_fmt yuv422p -s 1920x1080 -r 25/1"
                                      << "/out/clip.MOV";
    QTest::newRow("8 MOV DNxHD 185x") << 8 << "-vcodec dnxhd -b:v 185M -pix_fmt yuv422p10 -s 1920x1080 -r 25/1"
                                       << "/out/clip.MOV";
    QTest::newRow("9 beyond the dialog") << 9 << "-vcodec copy" << "/out/clip.mov";
}

void ExportCommandTest::everyVideoType()
{
    QFETCH(int, videoType);
    QFETCH(QString, video);
    QFETCH(QString, target);
    const FileData file = twoStereoMov();
    const QStringList expected = head(file) + list("-map 0:v? -map 0:1 -map 0:2 -acodec pcm_s16le") + list(qPrintable(video))
                                 // A copied video is never re-timed; a transcode runs at the timecode's rate.
                                 + list(video.startsWith("-vcodec copy") ? "-timecode 10:00:00:00"
                                                                         : "-timecode 10:00:00:00 -r 25")
                                 + QStringList{target};
    QCOMPARE(argumentsOf(file, exportOptions(videoType, 1, false)), expected);
}

void ExportCommandTest::dnxhdTable()
{
    // 24 fps keeps the source's own rate text; 23.976 and 29.97 get the exact NTSC rate.
    VideoFormat::DnxhdRow row;
    const auto dnxhdRow = [&](int type, const QString &rate) {
        return VideoFormat::dnxhdRow(VideoExportType(type), Fraction::fromText(rate), &row);
    };
    QVERIFY(dnxhdRow(8, "24/1"));
    QCOMPARE(QStringList({row.bitRate, row.pixelFormat, row.frameRate}), QStringList({"175M", "yuv422p10", "24/1"}));
    QVERIFY(dnxhdRow(3, "24000/1001"));
    QCOMPARE(QStringList({row.bitRate, row.pixelFormat, row.frameRate}), QStringList({"115M", "yuv422p", "24000/1001"}));
    // 50 and 59.94 take the profiles of twice the rate of the 25 and 29.97 rows.
    QVERIFY(dnxhdRow(8, "50/1"));
    QCOMPARE(QStringList({row.bitRate, row.pixelFormat, row.frameRate}), QStringList({"365M", "yuv422p10", "50/1"}));
    QVERIFY(dnxhdRow(2, "60000/1001"));
    QCOMPARE(QStringList({row.bitRate, row.pixelFormat, row.frameRate}), QStringList({"90M", "yuv422p", "60000/1001"}));
    QVERIFY(dnxhdRow(4, "30000/1001"));
    QCOMPARE(QStringList({row.bitRate, row.pixelFormat, row.frameRate}), QStringList({"220M", "yuv422p", "30000/1001"}));
    QVERIFY(!dnxhdRow(5, "25/1"));
}

void ExportCommandTest::rateWithoutAProfileIsRefused_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("dnxhd");   // the reason; empty: exported
    QTest::addColumn<QString>("mpeg2");
    const QString unknown = "the video's frame rate is unknown";
    QTest::newRow("no video") << QString() << "" << "";
    QTest::newRow("0/0") << "0/0" << unknown << unknown;
    QTest::newRow("12.5") << "25/2" << "DNxHD has no 1080p profile at 12.5 fps" << "MPEG-2 in MXF cannot be written at 12.5 fps";
    QTest::newRow("59.94") << "60000/1001" << "" << "";
}

void ExportCommandTest::rateWithoutAProfileIsRefused()
{
    // Without a profile ffmpeg would choose a codec or a rate of its own.
    QFETCH(QString, rate);
    QFETCH(QString, dnxhd);
    QFETCH(QString, mpeg2);
    FileData file = twoStereoMov();
    if (rate.isNull())
        file.videoStreamPosition = -1;
    else
        file.probe.streams[0] = videoStream(rate);
    file.hasAudioTC = false;
    int code = -1;
    for (int type : {1, 2, 3, 4, 6, 7, 8}) {
        const QString reason = type == 1 ? mpeg2 : dnxhd;
        QCOMPARE(ExportCommand(file, exportOptions(type, 1, false)).refusal(&code), reason);
        QCOMPARE(code, int(reason.isEmpty() ? ResultCode::Ok : ResultCode::NoVideoProfile));
    }
    QCOMPARE(ExportCommand(file, exportOptions(5, 1, false)).refusal(&code), QString()); // a copy takes any rate
}

void ExportCommandTest::audioCodecs()
{
    const auto codecs = [](const FileData &file, int videoType) {
        const QStringList args = argumentsOf(file, exportOptions(videoType, 0, false));
        QStringList found;
        for (int i = 0; i + 1 < args.size(); ++i)
            if (args[i] == "-acodec" || args[i].startsWith("-c:a:"))
                found << args[i] + "=" + args[i + 1];
        return found;
    };
    const FileData s16be = source("clip.mov", "25/1", {audioStream(1, "pcm_s16be", 2)});
    QCOMPARE(codecs(s16be, 5), QStringList{"-acodec=pcm_s16be"});
    // MXF takes only little-endian 16/24-bit PCM.
    QCOMPARE(codecs(s16be, 1), QStringList{"-acodec=pcm_s24le"});
    // Not in the codec table: a PCM every container takes.
    const FileData opus = source("clip.mov", "25/1", {audioStream(1, "opus", 2)});
    QCOMPARE(codecs(opus, 5), QStringList{"-acodec=pcm_s24le"});
    QCOMPARE(codecs(source("clip.mp4", "25/1", {audioStream(1, "aac", 2)}), 0), QStringList{"-acodec=aac"});
    // Different codecs per stream: one "-acodec" would give every stream the last one.
    const FileData mixed = source("clip.mov", "25/1", {audioStream(1, "pcm_s24le", 2), audioStream(2, "pcm_s16le", 1)});
    QCOMPARE(codecs(mixed, 5), (QStringList{"-c:a:0=pcm_s24le", "-c:a:1=pcm_s16le"}));
    ExportOptions options = exportOptions(5, 0, true);
    QCOMPARE(ExportCommand(mixed, options).arguments("/o").mid(3, 12),
             list("-map 0:v? -map 0:1 -filter:a:0 pan=mono|c0=c1 -c:a:0 pcm_s24le -map 0:2 -c:a:1 pcm_s16le"));
    QCOMPARE(codecs(source("clip.mov", "25/1", {audioStream(1, "pcm_s24le", 2)}), 5), QStringList{"-acodec=pcm_s24le"});
}

void ExportCommandTest::unmutedKeepsEveryStream()
{
    // Without "-map" ffmpeg keeps one video and one audio stream; data streams
    // (a copied tmcd track would override "-timecode") stay out.
    const FileData mxf = source("card.mxf", "25/1", {audioStream(1, "pcm_s24le", 1), audioStream(2, "pcm_s24le", 1),
                                                     audioStream(3, "pcm_s24le", 1), audioStream(4, "pcm_s24le", 1)}, 4, 0);
    QCOMPARE(argumentsOf(mxf, exportOptions(0, 0, false)),
             head(mxf) + list("-map 0:v? -map 0:1 -map 0:2 -map 0:3 -map 0:4 -acodec pcm_s24le -vcodec copy "
                              "-timecode 10:00:00:00 /out/card.mxf"));
    // Audio only: nothing but the audio streams.
    const FileData audioOnly = source("sound.mov", QString(), {audioStream(0, "pcm_s16le", 2)}, 0, 0);
    QCOMPARE(argumentsOf(audioOnly, exportOptions(5, 1, false)).mid(3, 6), list("-map 0:v? -map 0:0 -acodec pcm_s16le"));
}

void ExportCommandTest::mutingRemovesOnlyTheTimecodeChannel()
{
    // Four channels, timecode on channel 2: channels 0, 1 and 3 stay, in order.
    const FileData four = source("clip.mov", "25/1", {audioStream(1, "pcm_s16le", 4, "4.0"), audioStream(2, "pcm_s16le", 2)}, 1, 2);
    const QStringList audio{"-map", "0:v?", "-map", "0:1", "-filter:a:0",
                            "pan=3 channels|c0=c0|c1=c1|c2=c3", "-acodec", "pcm_s16le", "-map", "0:2",
                            "-acodec", "pcm_s16le"};
    QCOMPARE(argumentsOf(four, exportOptions(5, 1, true)),
             head(four) + audio + list("-vcodec copy -timecode 10:00:00:00 /out/clip.MOV"));

    // The output index of the filter counts the audio streams before it.
    const FileData second = source("clip.mov", "25/1", {audioStream(1, "pcm_s16le", 2), audioStream(2, "pcm_s16le", 2)}, 2, 0);
    QCOMPARE(argumentsOf(second, exportOptions(0, 1, true)).mid(3, 12),
             list("-map 0:v? -map 0:1 -acodec pcm_s16le -map 0:2 -filter:a:1 pan=mono|c0=c1 -acodec pcm_s16le"));

    // A stereo pair keeps the other channel, whichever carries the timecode.
    for (int tcChannel : {0, 1}) {
        const FileData stereo = source("clip.mov", "25/1", {audioStream(1, "pcm_s16be", 2, "stereo")}, 1, tcChannel);
        QCOMPARE(argumentsOf(stereo, exportOptions(5, 1, true)).at(8),
                 QStringLiteral("pan=mono|c0=c%1").arg(1 - tcChannel));
    }

    // A mono timecode stream is left out of the copy.
    const FileData mono = source("card.mxf", "25/1", {audioStream(1, "pcm_s24le", 1), audioStream(2, "pcm_s24le", 1)}, 1, 0);
    QCOMPARE(argumentsOf(mono, exportOptions(2, 2, true)),
             head(mono) + list("-map 0:v? -map 0:2 -acodec pcm_s24le -vcodec dnxhd -b:v 36M "
                               "-pix_fmt yuv422p -s 1920x1080 -r 25/1 -timecode 10:00:00:00 -r 25 /out/card.MXF"));

    // Beyond the dialog's types there is no muting rule: every stream is kept.
    QCOMPARE(argumentsOf(four, exportOptions(9, 1, true)).mid(3, 9),
             list("-map 0:v? -map 0:1 -map 0:2 -acodec pcm_s16le -vcodec"));
}

void ExportCommandTest::mutedMxfFromOtherContainers()
{
    // Into MXF from another container: "-0:d" and the PCM of the audio type for every stream.
    const FileData four = source("clip.mov", "25/1", {audioStream(1, "pcm_s24le", 4), audioStream(2, "pcm_s24le", 2)}, 1, 0);
    for (int audioType : {0, 1, 2}) {
        const QString pcm = audioType == 2 ? "pcm_s24le" : "pcm_s16le";
        const QStringList expected{"-map", "0:v?", "-map", "-0:d", "-map", "0:1", "-filter:a:0",
                                   "pan=3 channels|c0=c1|c1=c2|c2=c3", "-acodec", pcm, "-map", "0:2", "-acodec", pcm};
        QCOMPARE(argumentsOf(four, exportOptions(1, audioType, true)).mid(3, 14), expected);
    }
    // From MXF into MXF the pass-through rule holds.
    const FileData mxf = source("card.mxf", "25/1", {audioStream(1, "pcm_s24le", 2)}, 1, 1);
    QCOMPARE(argumentsOf(mxf, exportOptions(1, 0, true)).mid(3, 9),
             list("-map 0:v? -map 0:1 -filter:a:0 pan=mono|c0=c0 -acodec pcm_s24le -vcodec"));
}

void ExportCommandTest::wavOutput()
{
    FileData wav = source("take.Wav", QString(), {audioStream(0, "pcm_s24le", 2)}, 0, 0);
    for (int videoType : {0, 2, 5, 8}) {
        QCOMPARE(argumentsOf(wav, exportOptions(videoType, 0, false)),
                 head(wav) + list("-write_bext 1 -map 0:0 -acodec pcm_s24le -metadata time_reference=1728000000 "
                                  "-metadata comment=sSPEED=025.000-ND /out/take.WAV"));
    }
    QCOMPARE(argumentsOf(wav, exportOptions(3, 1, true)),
             head(wav) + list("-write_bext 1 -map 0:0 -filter:a:0 pan=mono|c0=c1 -acodec pcm_s16le "
                              "-metadata time_reference=1728000000 -metadata comment=sSPEED=025.000-ND /out/take.WAV"));
    wav.audioTCReading = AudioTCReading::fromReport(report(29.97, 30, true, true, 172802720));
    const ExportCommand drop(wav, exportOptions(0, 2, false));
    QCOMPARE(drop.arguments("/t").mid(9, 4), list("-metadata time_reference=172802720 -metadata comment=sSPEED=029.970-DF"));
    QVERIFY(drop.writesWav());
    QVERIFY(drop.writesTimeReference());
    QVERIFY(!drop.writesTimecode());
}

void ExportCommandTest::wavTimeReferenceAtRealNtscRate()
{
    // A recorder's 23.976 take stamped 12:39:59:00 at 48 kHz: 1094376 frames of 2002 samples.
    FileData wav = source("take.wav", QString(), {audioStream(0, "pcm_s24le", 1)}, 0, 0);
    wav.audioTCReading = AudioTCReading::fromReport(report(23.98, 24, true, false, 1094376LL * 2000));
    ExportCommand command(wav, exportOptions(0, 0, false));
    QCOMPARE(command.timeReference(), 1094376LL * 2002);
    QVERIFY(command.arguments("/t").contains("time_reference=2190940752"));
    // The speed reads as recorders write it, not as the report rounds it (23.98).
    QCOMPARE(command.speedLine(), QStringLiteral("sSPEED=023.976-ND"));

    wav.audioTCReading = AudioTCReading::fromReport(report(29.97, 30, true, false, 1001));
    QCOMPARE(ExportCommand(wav, exportOptions(0, 0, false)).timeReference(), 1002); // 1002.001 rounds down
    wav.audioTCReading = AudioTCReading::fromReport(report(29.97, 30, true, false, 1500));
    QCOMPARE(ExportCommand(wav, exportOptions(0, 0, false)).timeReference(), 1502); // 1501.5 rounds up
    for (const QJsonObject &unchanged : {report(29.97, 30, true, true, 172802720), report(25, 25, false, false, 1728000000),
                                         report(24, 24, false, false, 999), report(30, 30, false, false, 7)}) {
        wav.audioTCReading = AudioTCReading::fromReport(unchanged);
        QCOMPARE(ExportCommand(wav, exportOptions(0, 0, false)).timeReference(),
                 qint64(unchanged.value("SamplesSinceMidnight").toDouble()));
    }
}

void ExportCommandTest::noAudioTimecode()
{
    FileData file = twoStereoMov();
    file.hasAudioTC = false;
    QCOMPARE(argumentsOf(file, exportOptions(5, 1, true)),
             head(file) + list("-map 0:v? -map 0:1 -filter:a:0 pan=mono|c0=c1 -acodec pcm_s16le -map 0:2 "
                               "-acodec pcm_s16le -vcodec copy /out/clip.MOV"));
    FileData wav = source("take.wav", QString(), {audioStream(0, "pcm_s16le", 1)}, 0, 0);
    wav.hasAudioTC = false;
    const ExportCommand command(wav, exportOptions(0, 0, false));
    QCOMPARE(command.arguments("/o/take.WAV"), head(wav) + list("-write_bext 1 -map 0:0 -acodec pcm_s16le /o/take.WAV"));
    QVERIFY(command.speedLine().isEmpty());
    QVERIFY(!command.writesTimeReference());
}

void ExportCommandTest::targetNames()
{
    struct Case { const char *name; int type; const char *target; };
    const Case cases[] = {
        {"clip.mts", 0, "/out/clip.MOV"}, {"clip.MTS", 0, "/out/clip.MOV"}, {"clip.Mp4", 0, "/out/clip.MOV"},
        {"clip.mov", 0, "/out/clip.mov"}, {"clip.MoV", 9, "/out/clip.MoV"}, {"card.mxf", 0, "/out/card.mxf"},
        {"clip.mts", 1, "/out/clip.MXF"}, {"clip.mov", 6, "/out/clip.MOV"}, {"take.WAV", 7, "/out/take.WAV"},
        {"a.b.mov", 5, "/out/a.MOV"},
    };
    for (const Case &c : cases) {
        const FileData file = source(c.name, "25/1", {audioStream(1, "pcm_s16le", 2)});
        QCOMPARE(ExportCommand(file, exportOptions(c.type, 1, false)).targetPath(0), QString(c.target));
    }
    const ExportCommand command(twoStereoMov(), exportOptions(5, 1, false));
    QCOMPARE(command.targetPath(2), QStringLiteral("/out/clip_2.MOV"));
    QCOMPARE(command.targetPath(9999), QStringLiteral("/out/clip_9999.MOV"));
}

void ExportCommandTest::targetNameChoice()
{
    QTemporaryDir dir;
    QVERIFY(QFile(dir.filePath("clip.MOV")).open(QIODevice::WriteOnly));
    QFile existing(dir.filePath("clip_1.MOV"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("original");
    existing.close();
    // A folder and a dangling link are not free names either.
    QVERIFY(QDir(dir.path()).mkdir("clip_2.MOV"));
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("clip_3.MOV")));

    ExportOptions options = exportOptions(5, 1, false);
    options.targetFolderPath = dir.path();
    const ExportCommand command(twoStereoMov(), options);
    QString error;
    const QString intended = ExportTarget::freePath(command, &error);
    QCOMPARE(intended, dir.filePath("clip_4.MOV"));
    QVERIFY(!QFileInfo::exists(intended)); // nothing under a final name before the end
    for (int counter = 1; counter <= 2; ++counter) {
        QFile written(ExportTarget::createPartialPath(intended, &error));
        QVERIFY(written.open(QIODevice::WriteOnly));
        written.write("ours");
        written.close();
        QCOMPARE(ExportTarget::moveToFreeName(command, written.fileName(), &error), dir.filePath("clip_%1.MOV").arg(counter + 3));
        QVERIFY(!written.exists());
    }
    QFile check(dir.filePath("clip_1.MOV"));
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("original"));
    QVERIFY(!QFileInfo::exists(dir.filePath("nowhere")));

    QVERIFY(ExportTarget::createPartialPath(dir.filePath("missing/clip.MOV"), &error).isEmpty());
    QVERIFY(!error.isEmpty());
}

void ExportCommandTest::progressEstimate()
{
    FileData file = twoStereoMov();
    file.duration = 2.5;
    const auto perStep = [&](int type, int units = 15) {
        ExportOptions options = exportOptions(type, 1, false);
        options.progressUnitsPerFile = units;
        return ExportCommand(file, options).bytesPerStep(1000000);
    };
    // Copies grow like the source; transcodes like their bit rate.
    QCOMPARE(perStep(5), qint64(1000000 / 15));
    QCOMPARE(perStep(1), qint64(2.5 * 50000000 * 0.125 / 15));
    QCOMPARE(perStep(8), qint64(2.5 * 185000000 * 0.125 / 15));
    QCOMPARE(perStep(0, 0), qint64(1000000)); // no division by zero
    FileData wav = source("take.wav", QString(), {audioStream(0, "pcm_s16le", 1)}, 0, 0);
    QCOMPARE(ExportCommand(wav, exportOptions(4, 1, false)).bytesPerStep(3000), qint64(200));
}

void ExportCommandTest::verificationOfTheWrittenFile()
{
    const FileData four = source("clip.mov", "25/1", {audioStream(1, "pcm_s16le", 4), audioStream(2, "pcm_s16le", 2)}, 1, 2);
    const ExportCheck muted(four, exportOptions(5, 1, true));
    const auto written = [](const QString &tc, QVector<int> channels, const QString &tmcd = QString()) {
        QJsonArray streams{QJsonObject{{"codec_type", "video"}, {"codec_name", "mpeg4"}, {"r_frame_rate", "25/1"},
                                       {"tags", QJsonObject{{"timecode", tc}}}}};
        for (int count : channels)
            streams.append(QJsonObject{{"codec_type", "audio"}, {"channels", count}});
        streams.append(QJsonObject{{"codec_type", "data"}, {"tags", QJsonObject{{"timecode", tmcd.isNull() ? tc : tmcd}}}});
        return QJsonObject{{"format", QJsonObject{{"format_name", "mov"}}}, {"streams", streams}};
    };
    QCOMPARE(muted.outputMismatch(ProbeRecord::fromJson(written("10:00:00:00", {3, 2}))), QString());
    QVERIFY(!muted.outputMismatch(ProbeRecord::fromJson(written("09:00:00:00", {3, 2}))).isEmpty());
    QVERIFY(!muted.outputMismatch(ProbeRecord::fromJson(written("10:00:00:00", {3, 2}, "09:00:00:00"))).isEmpty());
    QVERIFY(!muted.outputMismatch(ProbeRecord::fromJson(written("10:00:00:00", {1, 2}))).isEmpty()); // only one channel left
    QVERIFY(!muted.outputMismatch(ProbeRecord::fromJson(written("10:00:00:00", {3}))).isEmpty());   // a stream lost
    QVERIFY(!muted.outputMismatch(ProbeRecord::fromJson(QJsonObject())).isEmpty());

    QJsonObject noTimecode = written("x", {3, 2});
    noTimecode["streams"] = QJsonArray{QJsonObject{{"codec_type", "video"}, {"codec_name", "mpeg4"}, {"r_frame_rate", "25/1"}},
                                       QJsonObject{{"codec_type", "audio"}, {"channels", 3}},
                                       QJsonObject{{"codec_type", "audio"}, {"channels", 2}}};
    QVERIFY(!muted.outputMismatch(ProbeRecord::fromJson(noTimecode)).isEmpty());
    FileData withoutTC = four;
    withoutTC.hasAudioTC = false;
    QCOMPARE(ExportCheck(withoutTC, exportOptions(5, 1, true)).outputMismatch(ProbeRecord::fromJson(noTimecode)), QString());

    // MXF: the timecode is a format tag. A transcode holds the chosen codec
    // at the source's rate, every frame of it (one either way), at 1920x1080.
    FileData counted = four;
    counted.probe.streams[0].nbFrames = 250;
    const ExportCheck mxf(counted, exportOptions(2, 1, false));
    const auto mxfProbe = [](const QString &codec, const QString &rate, const QString &packets, int width) {
        const QJsonObject video{{"codec_type", "video"}, {"codec_name", codec}, {"r_frame_rate", rate},
                                {"width", width}, {"height", 1080}, {"nb_read_packets", packets}};
        return QJsonObject{{"format", QJsonObject{{"tags", QJsonObject{{"timecode", "10:00:00:00"}}}}},
                           {"streams", QJsonArray{video, QJsonObject{{"codec_type", "audio"}, {"channels", 4}},
                                                  QJsonObject{{"codec_type", "audio"}, {"channels", 2}}}}};
    };
    QCOMPARE(mxf.outputMismatch(ProbeRecord::fromJson(mxfProbe("dnxhd", "25/1", "251", 1920))), QString());
    QCOMPARE(mxf.outputMismatch(ProbeRecord::fromJson(mxfProbe("mpeg2video", "25/1", "250", 1920))),
             QString("video codec mpeg2video in the written file instead of dnxhd"));
    QCOMPARE(mxf.outputMismatch(ProbeRecord::fromJson(mxfProbe("dnxhd", "30/1", "300", 1920))),
             QString("video at 30 fps in the written file instead of 25 fps"));
    QCOMPARE(mxf.outputMismatch(ProbeRecord::fromJson(mxfProbe("dnxhd", "25/1", "248", 1920))),
             QString("248 video frames in the written file instead of 250"));
    QCOMPARE(mxf.outputMismatch(ProbeRecord::fromJson(mxfProbe("dnxhd", "25/1", "250", 1280))),
             QString("frame size 1280x1080 in the written file instead of 1920x1080"));

    const FileData wav = source("take.wav", QString(), {audioStream(0, "pcm_s16le", 2)}, 0, 0);
    const ExportCheck wavCheck(wav, exportOptions(0, 0, false));
    const auto wavProbe = [](const QString &reference) {
        return QJsonObject{{"format", QJsonObject{{"tags", QJsonObject{{"time_reference", reference}}}}},
                           {"streams", QJsonArray{QJsonObject{{"codec_type", "audio"}, {"channels", 2}}}}};
    };
    QCOMPARE(wavCheck.outputMismatch(ProbeRecord::fromJson(wavProbe("1728000000"))), QString());
    QVERIFY(!wavCheck.outputMismatch(ProbeRecord::fromJson(wavProbe("0"))).isEmpty());

    // A copy cut short, a timecode track off the video's rate, a lost creation
    // time or reel name: each is a mismatch with its reason.
    FileData tagged = four;
    tagged.probe.format.creationTime = "2024-05-01T12:00:00.000000Z";
    tagged.probe.streams.append(ProbeStream());
    tagged.probe.streams.last().reelName = "A001";
    const ExportCheck copy(tagged, exportOptions(5, 1, true));
    const auto complete = [&](double seconds, const QString &trackRate, const QString &created, const QString &reel) {
        QJsonObject probe = written("10:00:00:00", {3, 2});
        QJsonArray streams = probe["streams"].toArray();
        streams.replace(streams.size() - 1, QJsonObject{{"codec_type", "data"}, {"codec_tag_string", "tmcd"},
                                                        {"avg_frame_rate", trackRate},
                                                        {"tags", QJsonObject{{"timecode", "10:00:00:00"}, {"reel_name", reel}}}});
        probe["streams"] = streams;
        probe["format"] = QJsonObject{{"duration", QString::number(seconds)},
                                      {"tags", QJsonObject{{"creation_time", created}}}};
        return probe;
    };
    const QString created = "2024-05-01T12:00:00.000000Z";
    QCOMPARE(copy.outputMismatch(ProbeRecord::fromJson(complete(10.0, "12800/512", created, "A001"))), QString());
    QCOMPARE(copy.outputMismatch(ProbeRecord::fromJson(complete(0.54, "12800/512", created, "A001"))),
             QString("the written file holds 0.54 s of 10.00 s"));
    QCOMPARE(copy.outputMismatch(ProbeRecord::fromJson(complete(10.0, "15360/614", created, "A001"))),
             QString("timecode track at 25.02 fps instead of the video's 25"));
    QCOMPARE(copy.outputMismatch(ProbeRecord::fromJson(complete(10.0, "25/1", "", "A001"))),
             QString("creation time 2024-05-01T12:00:00.000000Z missing in the written file"));
    QCOMPARE(copy.outputMismatch(ProbeRecord::fromJson(complete(10.0, "25/1", created, ""))), QString("reel name A001 missing in the written file"));
}

void ExportCommandTest::speedLineInDescription()
{
    const QByteArray speed("sSPEED=023.976-ND");
    QCOMPARE(BextChunk::describedWithSpeed("sSPEED=025.000-ND\r\nsTAKE=3\r\nsSCENE=12A\r\n", speed),
             QByteArray("sSPEED=023.976-ND\r\nsTAKE=3\r\nsSCENE=12A\r\n"));
    QCOMPARE(BextChunk::describedWithSpeed("sSCENE=12A\nsSPEED=25.00-ND\nsTAKE=3", speed),
             QByteArray("sSCENE=12A\nsSPEED=023.976-ND\nsTAKE=3"));
    QCOMPARE(BextChunk::describedWithSpeed("sTAKE=3\r\nsSCENE=12A\r\n", speed),
             QByteArray("sSPEED=023.976-ND\r\nsTAKE=3\r\nsSCENE=12A\r\n"));
    QCOMPARE(BextChunk::describedWithSpeed("free text", speed), QByteArray("sSPEED=023.976-ND\nfree text"));
    QCOMPARE(BextChunk::describedWithSpeed(QByteArray(), speed), speed);
    QCOMPARE(BextChunk::describedWithSpeed("sTAKE=3\n", QByteArray()), QByteArray("sTAKE=3\n"));
    // Lines that no longer fit the 256-byte field are dropped whole.
    const QByteArray full = "sTAKE=3\n" + QByteArray(240, 'x') + "\nsNOTE=end\n";
    QCOMPARE(BextChunk::describedWithSpeed(full, speed), QByteArray("sSPEED=023.976-ND\nsTAKE=3\n"));
}

void ExportCommandTest::ratesOfTimecodeAndVideo_data()
{
    QTest::addColumn<int>("videoType");
    QTest::addColumn<QString>("videoRate");
    QTest::addColumn<QJsonObject>("ltc");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("written");  // empty: refused
    QTest::addColumn<QString>("reason");

    const QJsonObject ltc25 = report(25, 25, false, false, 0);
    const QJsonObject ltc30 = report(30, 30, false, false, 0);
    const QJsonObject ltc24 = report(24, 24, false, false, 0);
    const QJsonObject ltc2997df = report(29.97, 30, true, true, 0);
    QTest::newRow("same rate") << 0 << "25/1" << ltc25 << "10:00:00:24" << "10:00:00:24" << "";
    QTest::newRow("NTSC pair takes the video's") << 5 << "24000/1001" << ltc24 << "10:00:00:23" << "10:00:00:23" << "";
    QTest::newRow("50p with 25") << 0 << "50/1" << ltc25 << "10:00:00:24" << "10:00:00:48" << "";
    QTest::newRow("59.94p with 29.97 DF") << 5 << "60000/1001" << ltc2997df << "01:00:00;02" << "01:00:00;04" << "";
    QTest::newRow("MPEG2 29.97p with 29.97 DF") << 1 << "30000/1001" << ltc2997df << "01:00:00;02" << "01:00:00;02" << "";
    QTest::newRow("25p with 30, QuickTime") << 5 << "25/1" << ltc30 << "10:00:00:00" << ""
                                            << "LTC 30 fps does not match video 25 fps";
    // A transcode keeps the video's rate like a copy.
    QTest::newRow("MPEG2 25p with 30") << 1 << "25/1" << ltc30 << "10:00:00:00" << ""
                                       << "LTC 30 fps does not match video 25 fps";
    QTest::newRow("DNxHD 25p with 29.97") << 2 << "25/1" << ltc2997df << "01:00:00;02" << ""
                                          << "LTC 29.97 fps does not match video 25 fps";
    QTest::newRow("DNxHD 50p with 25") << 6 << "50/1" << ltc25 << "10:00:00:24" << "10:00:00:48" << "";
    QTest::newRow("DNxHD 29.97p with 30") << 7 << "30000/1001" << ltc30 << "10:00:00:29" << "10:00:00:29" << "";
}

void ExportCommandTest::ratesOfTimecodeAndVideo()
{
    QFETCH(int, videoType);
    QFETCH(QString, videoRate);
    QFETCH(QJsonObject, ltc);
    QFETCH(QString, label);
    QFETCH(QString, written);
    QFETCH(QString, reason);
    FileData file = source("clip.mov", videoRate, {audioStream(1, "pcm_s16le", 2)});
    file.audioTC = label;
    file.audioTCReading = AudioTCReading::fromReport(ltc);
    const ExportCommand command(file, exportOptions(videoType, 1, false));
    int code = -1;
    QCOMPARE(command.refusal(&code), reason);
    QCOMPARE(code, int(reason.isEmpty() ? ResultCode::Ok : ResultCode::RateMismatch));
    if (!reason.isEmpty())
        return;
    const QStringList args = command.arguments("/out/x.MOV");
    QCOMPARE(args.at(args.indexOf("-timecode") + 1), written);
    QCOMPARE(command.writtenTimecode(), written);
    // The video is never re-timed: every "-r" names its own rate.
    for (int r = args.indexOf("-r"); r >= 0; r = args.indexOf("-r", r + 1))
        QCOMPARE(Fraction::fromText(args.at(r + 1)).integerPart(), Fraction::fromText(videoRate).integerPart());
}

void ExportCommandTest::mutedMonoWavIsLeftOutWithItsReason()
{
    const FileData mono = source("take.wav", QString(), {audioStream(0, "pcm_s24le", 1)}, 0, 0);
    int code = -1;
    QCOMPARE(ExportCommand(mono, exportOptions(0, 0, true)).refusal(&code),
             QStringLiteral("left out: its only channel is the timecode"));
    QCOMPARE(code, int(ResultCode::LeftOutOnlyTimecodeChannel));
    // Unmuted, or with a second channel, it is exported.
    ExportCommand(mono, exportOptions(0, 0, false)).refusal(&code);
    QCOMPARE(code, int(ResultCode::Ok));
    const FileData stereo = source("take.wav", QString(), {audioStream(0, "pcm_s24le", 2)}, 0, 0);
    ExportCommand(stereo, exportOptions(0, 0, true)).refusal(&code);
    QCOMPARE(code, int(ResultCode::Ok));
}

QTEST_GUILESS_MAIN(ExportCommandTest)
#include "tst_exportcommand.moc"
