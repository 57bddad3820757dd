#include "HeadlessRun.h"

#include "ExportOptions.h"
#include "FileTableModel.h"
#include "MainControl.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>
#include <QUrl>
#include <cmath>

namespace {

const QString autoValue = QStringLiteral("auto");

// Rates the decoder can be held to; 23.98 is the dialog's name for 24000/1001.
const QList<QPair<double, double>> frameRates{{23.976, 24000.0 / 1001.0}, {23.98, 24000.0 / 1001.0},
                                              {24.0, 24.0},               {25.0, 25.0},
                                              {29.97, 30000.0 / 1001.0},  {30.0, 30.0}};

constexpr int highestChannel = 32;

const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
const QCommandLineOption algorithmOption(QStringLiteral("read-algorithm"), QString(), QStringLiteral("name"));
const QCommandLineOption channelOption(QStringLiteral("channel"), QString(), QStringLiteral("n"));
const QCommandLineOption fpsOption(QStringLiteral("fps"), QString(), QStringLiteral("rate"));
// Accepted as in the window's command line; there is no update check here.
const QCommandLineOption noUpdateCheckOption(QStringLiteral("no-update-check"), QString());

} // namespace

void HeadlessRun::say(const QString &line)
{
    QTextStream err(stderr);
    err << line << '\n';
    err.flush();
}

HeadlessRun::Mode HeadlessRun::requestedMode(const QStringList &arguments)
{
    auto given = [](const QString &argument, QLatin1String option) {
        return argument == option || argument.startsWith(option + QLatin1Char('='));
    };
    Mode mode = Mode::Window;
    for (const QString &argument : arguments.mid(1)) {
        if (given(argument, QLatin1String("--export")))
            return Mode::Export;
        if (given(argument, QLatin1String("--report")) || argument == QLatin1String("--help")
            || argument == QLatin1String("-h"))
            mode = Mode::Report;
    }
    return mode;
}

QList<QCommandLineOption> HeadlessRun::readOptions()
{
    return {helpOption, algorithmOption, channelOption, fpsOption, noUpdateCheckOption};
}

QString HeadlessRun::usageText()
{
    QString videoTypes;
    for (const ExportTypes::VideoEntry &entry : ExportTypes::videoEntries())
        videoTypes += QStringLiteral("    %1%2\n").arg(entry.word, -19).arg(entry.text);
    QString audioTypes;
    for (const ExportTypes::AudioEntry &entry : ExportTypes::audioEntries())
        audioTypes += QStringLiteral("    %1%2\n").arg(entry.word, -19).arg(entry.text);
    return tr("Usage: Dorrik --report FILE.csv|FILE.ale [read options] PATH...\n"
              "       Dorrik --export FOLDER [--video TYPE] [--audio TYPE] [--mute-tc]\n"
              "                     [--report FILE] [read options] PATH...\n"
              "\n"
              "Reads the audio timecode of every media file in the given files and folders\n"
              "without showing a window, and writes a report: a spreadsheet (.csv) or an\n"
              "Avid Log Exchange file (.ale); or exports every file as the window's\n"
              "Export All does, with that timecode as the copy's own.\n"
              "\n"
              "  --report FILE          the report to write; its suffix chooses the format\n"
              "                         (with --export: written after the export)\n"
              "  --export FOLDER        the folder to export into (made if missing)\n"
              "  --video TYPE           video export type (default: copy):\n"
              "%1"
              "  --audio TYPE           audio export type (default: copy, pcm16 for the\n"
              "                         MXF transcodes, which cannot take the source's audio):\n"
              "%2"
              "  --mute-tc              mute the timecode channel in the copies\n"
              "  --help                 this text\n"
              "\n"
              "Read options:\n"
              "  --read-algorithm A     auto (default), LOW, MID, HIGH or SLOPE\n"
              "  --channel N            read only channel N (1 to 32); default: every channel\n"
              "  --fps R                frame rate 23.976, 24, 25, 29.97 or 30; default: detect\n"
              "\n"
              "Files are first read with the automatic settings; given settings read them\n"
              "once more as the read dialog would. Progress goes to standard error.\n"
              "Exit code of --report: 0 every file has an audio timecode, 1 some have none,\n"
              "2 wrong arguments or the report could not be written.\n"
              "Exit code of --export: 0 every file exported, 1 some not (each listed on\n"
              "standard error with its reason), 2 wrong arguments or the report could not be\n"
              "written, 130/143 cancelled by Ctrl-C/SIGTERM (no partial file left).\n")
        .arg(videoTypes, audioTypes);
}

bool HeadlessRun::parseCommon(QCommandLineParser *parser, const QStringList &arguments, ReadSettings *settings,
                              bool *helpRequested, QString *error)
{
    parser->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    *helpRequested = false;
    if (!parser->parse(arguments)) {
        *error = parser->errorText();
        return false;
    }
    if (parser->isSet(helpOption)) {
        *helpRequested = true;
        return true;
    }

    ReadSettings parsed;
    if (parser->isSet(algorithmOption)) {
        const QString name = parser->value(algorithmOption).toUpper();
        const int index = ReadAlgorithms::names().indexOf(name == autoValue.toUpper() ? autoValue : name);
        if (index < 0) {
            *error = tr("unknown reading algorithm: %1").arg(parser->value(algorithmOption));
            return false;
        }
        parsed.readOptions.readingAlgorithm = static_cast<ReadAlgorithm>(index);
    }
    if (parser->isSet(channelOption) && parser->value(channelOption) != autoValue) {
        bool ok = false;
        const int number = parser->value(channelOption).toInt(&ok);
        if (!ok || number < 1 || number > highestChannel) {
            *error = tr("--channel takes a number from 1 to %1: %2").arg(highestChannel).arg(parser->value(channelOption));
            return false;
        }
        parsed.readOptions.channel = number - 1;
    }
    if (parser->isSet(fpsOption) && parser->value(fpsOption) != autoValue) {
        bool ok = false;
        const double given = parser->value(fpsOption).toDouble(&ok);
        parsed.readOptions.frameRate = -1.0;
        for (const auto &rate : frameRates) {
            if (ok && std::fabs(given - rate.first) < 0.0005)
                parsed.readOptions.frameRate = rate.second;
        }
        if (parsed.readOptions.frameRate < 0.0) {
            *error = tr("--fps takes 23.976, 24, 25, 29.97 or 30: %1").arg(parser->value(fpsOption));
            return false;
        }
    }
    parsed.readOptions.allFiles = true;
    parsed.readWithOptions = parsed.readOptions.readingAlgorithm != ReadAlgorithm::Auto
                             || parsed.readOptions.channel >= 0 || parsed.readOptions.frameRate >= 0.0;

    parsed.paths = parser->positionalArguments();
    if (parsed.paths.isEmpty()) {
        *error = tr("no file or folder to read");
        return false;
    }
    for (const QString &path : qAsConst(parsed.paths)) {
        if (!QFileInfo::exists(path)) {
            *error = tr("no such file or folder: %1").arg(path);
            return false;
        }
    }
    *settings = parsed;
    return true;
}

HeadlessRun::HeadlessRun(const ReadSettings &settings, QObject *parent) : QObject(parent), readSettings(settings)
{
    mainControl = new MainControl;
    mainControl->moveToThread(&workerThread);
    connect(&workerThread, &QThread::finished, mainControl, &QObject::deleteLater);

    files = new FileTableModel(this);
    FileTableModel::connectToControl(files, mainControl);
    // Connected after the model, so the model has taken each answer in before it is counted.
    connect(mainControl, &MainControl::ffprobeResult, this, [this](const FileData &, int fileId, int exitCode) {
        // A file that could not be probed is not read; it is done.
        if (reading && exitCode != 0)
            settle(fileId, files->records().size());
    });
    connect(mainControl, &MainControl::audioTCReadResult, this, [this](const QJsonObject &, int fileId, int, int) {
        if (reading)
            settle(fileId, files->records().size());
    });
    connect(mainControl, &MainControl::importReady, this, &HeadlessRun::onImportReady);
    connect(mainControl, &MainControl::readingFinished, this, &HeadlessRun::onReadingFinished);

    workerThread.start();
}

HeadlessRun::~HeadlessRun()
{
    workerThread.quit();
    if (!workerThread.wait(5000)) {
        workerThread.terminate();
        workerThread.wait();
    }
}

void HeadlessRun::start()
{
    beginStage(readSettings.readWithOptions ? tr("importing...") : tr("reading..."));
    QList<QUrl> urls;
    for (const QString &path : qAsConst(readSettings.paths))
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    files->importUrls(urls);
}

void HeadlessRun::beginStage(const QString &name)
{
    settledIds.clear();
    stage = name;
}

void HeadlessRun::settle(int fileId, int total)
{
    if (settledIds.contains(fileId))
        return;
    settledIds.insert(fileId);
    say(QStringLiteral("%1/%2 %3").arg(settledIds.size()).arg(total).arg(stage));
}

void HeadlessRun::onImportReady()
{
    if (secondReadRunning)
        return;
    if (!readSettings.readWithOptions || files->records().isEmpty()) {
        reading = false;
        onFilesRead();
        return;
    }
    secondReadRunning = true;
    beginStage(tr("reading..."));
    files->requestRead(readSettings.readOptions, files->ids());
}

void HeadlessRun::onReadingFinished()
{
    if (!secondReadRunning || !reading)
        return;
    reading = false;
    onFilesRead();
}
