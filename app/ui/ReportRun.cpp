#include "ReportRun.h"

#include "FileTableModel.h"
#include "MainControl.h"

#include <QCommandLineParser>
#include <QDir>
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

void say(const QString &line)
{
    QTextStream err(stderr);
    err << line << '\n';
    err.flush();
}

} // namespace

bool ReportRun::isRequested(const QStringList &arguments)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--report") || argument.startsWith(QLatin1String("--report="))
            || argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return true;
    }
    return false;
}

QString ReportRun::usageText()
{
    return tr("Usage: Dorrik --report FILE.csv|FILE.ale [--read-algorithm auto|LOW|MID|HIGH|SLOPE]\n"
              "                     [--channel N] [--fps R] PATH...\n"
              "\n"
              "Reads the audio timecode of every media file in the given files and folders\n"
              "without showing a window, and writes a report: a spreadsheet (.csv) or an\n"
              "Avid Log Exchange file (.ale).\n"
              "\n"
              "  --report FILE          the report to write; its suffix chooses the format\n"
              "  --read-algorithm A     auto (default), LOW, MID, HIGH or SLOPE\n"
              "  --channel N            read only channel N (1 to 32); default: every channel\n"
              "  --fps R                frame rate 23.976, 24, 25, 29.97 or 30; default: detect\n"
              "  --help                 this text\n"
              "\n"
              "Files are first read with the automatic settings; given settings read them\n"
              "once more as the read dialog would. Progress goes to standard error.\n"
              "Exit code: 0 every file has an audio timecode, 1 some have none,\n"
              "2 wrong arguments or the report could not be written.\n");
}

bool ReportRun::parseArguments(const QStringList &arguments, Settings *settings, bool *helpRequested,
                               QString *error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption report(QStringLiteral("report"), QString(), QStringLiteral("file"));
    const QCommandLineOption algorithm(QStringLiteral("read-algorithm"), QString(), QStringLiteral("name"));
    const QCommandLineOption channel(QStringLiteral("channel"), QString(), QStringLiteral("n"));
    const QCommandLineOption fps(QStringLiteral("fps"), QString(), QStringLiteral("rate"));
    // Accepted as in the window's command line; there is no update check here.
    const QCommandLineOption noUpdateCheck(QStringLiteral("no-update-check"), QString());
    parser.addOptions({help, report, algorithm, channel, fps, noUpdateCheck});

    *helpRequested = false;
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        *helpRequested = true;
        return true;
    }

    Settings parsed;
    parsed.reportPath = parser.value(report);
    if (parsed.reportPath.isEmpty()) {
        *error = tr("--report FILE.csv or FILE.ale is missing");
        return false;
    }
    if (!ReportWriter::formatForPath(parsed.reportPath, &parsed.format)) {
        *error = tr("the report must be a .csv or an .ale file: %1").arg(parsed.reportPath);
        return false;
    }

    // Known before a long read, not after it.
    if (!QFileInfo(QFileInfo(parsed.reportPath).absolutePath()).isDir()) {
        *error = tr("the report's folder does not exist: %1").arg(QFileInfo(parsed.reportPath).absolutePath());
        return false;
    }

    if (parser.isSet(algorithm)) {
        const QString name = parser.value(algorithm).toUpper();
        const int index = ReadAlgorithms::names().indexOf(name == autoValue.toUpper() ? autoValue : name);
        if (index < 0) {
            *error = tr("unknown reading algorithm: %1").arg(parser.value(algorithm));
            return false;
        }
        parsed.readOptions.readingAlgorithm = static_cast<ReadAlgorithm>(index);
    }
    if (parser.isSet(channel) && parser.value(channel) != autoValue) {
        bool ok = false;
        const int number = parser.value(channel).toInt(&ok);
        if (!ok || number < 1 || number > highestChannel) {
            *error = tr("--channel takes a number from 1 to %1: %2").arg(highestChannel).arg(parser.value(channel));
            return false;
        }
        parsed.readOptions.channel = number - 1;
    }
    if (parser.isSet(fps) && parser.value(fps) != autoValue) {
        bool ok = false;
        const double given = parser.value(fps).toDouble(&ok);
        parsed.readOptions.frameRate = -1.0;
        for (const auto &rate : frameRates) {
            if (ok && std::fabs(given - rate.first) < 0.0005)
                parsed.readOptions.frameRate = rate.second;
        }
        if (parsed.readOptions.frameRate < 0.0) {
            *error = tr("--fps takes 23.976, 24, 25, 29.97 or 30: %1").arg(parser.value(fps));
            return false;
        }
    }
    parsed.readOptions.allFiles = true;
    parsed.readWithOptions = parsed.readOptions.readingAlgorithm != ReadAlgorithm::Auto || parsed.readOptions.channel >= 0
                             || parsed.readOptions.frameRate >= 0.0;

    parsed.paths = parser.positionalArguments();
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

ReportRun::ReportRun(const Settings &settings, QObject *parent) : QObject(parent), settings(settings)
{
    mainControl = new MainControl;
    mainControl->moveToThread(&workerThread);
    connect(&workerThread, &QThread::finished, mainControl, &QObject::deleteLater);

    files = new FileTableModel(this);
    FileTableModel::connectToControl(files, mainControl);
    // Connected after the model, so the model has taken each answer in before it is counted.
    connect(mainControl, &MainControl::ffprobeResult, this, [this](const FileData &, int fileId, int exitCode) {
        // A file that could not be probed is not read; it is done.
        if (exitCode != 0)
            settle(fileId);
    });
    connect(mainControl, &MainControl::audioTCReadResult, this,
            [this](const QJsonObject &, int fileId, int, int) { settle(fileId); });
    connect(mainControl, &MainControl::importReady, this, &ReportRun::onImportReady);
    connect(mainControl, &MainControl::readingFinished, this, &ReportRun::onReadingFinished);

    workerThread.start();
}

ReportRun::~ReportRun()
{
    workerThread.quit();
    if (!workerThread.wait(5000)) {
        workerThread.terminate();
        workerThread.wait();
    }
}

void ReportRun::start()
{
    stage = settings.readWithOptions ? tr("importing...") : tr("reading...");
    QList<QUrl> urls;
    for (const QString &path : qAsConst(settings.paths))
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    files->importUrls(urls);
}

void ReportRun::settle(int fileId)
{
    if (settledIds.contains(fileId))
        return;
    settledIds.insert(fileId);
    say(QStringLiteral("%1/%2 %3").arg(settledIds.size()).arg(files->records().size()).arg(stage));
}

void ReportRun::onImportReady()
{
    if (secondReadRunning)
        return;
    if (!settings.readWithOptions || files->records().isEmpty()) {
        finish();
        return;
    }
    secondReadRunning = true;
    settledIds.clear();
    stage = tr("reading...");
    files->requestRead(settings.readOptions, files->ids());
}

void ReportRun::onReadingFinished()
{
    if (secondReadRunning)
        finish();
}

void ReportRun::finish()
{
    const QVector<FileData> &records = files->records();
    QString error;
    if (!ReportWriter(records).write(settings.reportPath, settings.format, &error)) {
        say(tr("Dorrik: the report could not be written to %1: %2")
                .arg(QDir::toNativeSeparators(settings.reportPath), error));
        emit finished(UsageOrWriteError);
        return;
    }
    if (records.isEmpty()) {
        say(tr("Dorrik: no media files found"));
        emit finished(SomeFilesUnread);
        return;
    }
    for (const FileData &record : records) {
        if (!ReportWriter::isRead(record)) {
            emit finished(SomeFilesUnread);
            return;
        }
    }
    emit finished(EveryFileRead);
}
