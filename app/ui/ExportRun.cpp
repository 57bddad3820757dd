#include "ExportRun.h"

#include "FileTableModel.h"
#include "MainControl.h"
#include "ReportRun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QCommandLineOption exportOption(QStringLiteral("export"), QString(), QStringLiteral("folder"));
const QCommandLineOption videoOption(QStringLiteral("video"), QString(), QStringLiteral("type"));
const QCommandLineOption audioOption(QStringLiteral("audio"), QString(), QStringLiteral("type"));
const QCommandLineOption muteOption(QStringLiteral("mute-tc"), QString());
const QCommandLineOption reportOption(QStringLiteral("report"), QString(), QStringLiteral("file"));

template<typename Entry>
QStringList wordsOf(const QVector<Entry> &entries)
{
    QStringList words;
    for (const Entry &entry : entries)
        words << entry.word;
    return words;
}

// The export type an option's word names; false with the words it takes.
template<typename Entry, typename Type>
bool takeType(const QCommandLineParser &parser, const QCommandLineOption &option, const QVector<Entry> &entries,
              Type *type, QString *error)
{
    const int index = wordsOf(entries).indexOf(parser.value(option));
    if (index < 0) {
        *error = QCoreApplication::translate("ExportRun", "--%1 takes %2: %3")
                     .arg(option.names().first(), wordsOf(entries).join(QStringLiteral(", ")), parser.value(option));
        return false;
    }
    *type = entries.at(index).type;
    return true;
}

} // namespace

bool ExportRun::parseArguments(const QStringList &arguments, Settings *settings, bool *helpRequested,
                               QString *error)
{
    QCommandLineParser parser;
    parser.addOptions(readOptions());
    parser.addOptions({exportOption, videoOption, audioOption, muteOption, reportOption});
    Settings parsed;
    if (!parseCommon(&parser, arguments, &parsed, helpRequested, error))
        return false;
    if (*helpRequested)
        return true;

    ExportOptions &options = parsed.exportOptions;
    // The rows go as the window's Export All sends them.
    options.exportAll = true;
    if (parser.isSet(videoOption)
        && !takeType(parser, videoOption, ExportTypes::videoEntries(), &options.videoExportType, error))
        return false;
    // As the dialog does: the MXF transcodes cannot carry the source's audio as it is.
    const bool takesSourceAudio = !ExportTypes::isMxf(options.videoExportType);
    options.audioExportType = takesSourceAudio ? AudioExportType::PassThrough : AudioExportType::Pcm16;
    if (parser.isSet(audioOption)) {
        if (!takeType(parser, audioOption, ExportTypes::audioEntries(), &options.audioExportType, error))
            return false;
        if (!takesSourceAudio && options.audioExportType == AudioExportType::PassThrough) {
            *error = tr("--video %1 takes --audio pcm16 or pcm24").arg(parser.value(videoOption));
            return false;
        }
    }
    options.muteAudioTC = parser.isSet(muteOption);

    if (parser.isSet(reportOption)
        && !ReportRun::takeReportPath(parser.value(reportOption), &parsed.reportPath, &parsed.format, error))
        return false;

    // Last, once everything else is right: a folder that does not exist yet is
    // made, as the export dialog makes one typed into it.
    const QString folder = parser.value(exportOption);
    if (folder.trimmed().isEmpty()) {
        *error = tr("--export FOLDER is missing");
        return false;
    }
    QFileInfo target(folder);
    if (!target.exists() && !target.isSymLink() && !QDir().mkpath(folder)) {
        *error = tr("the export folder cannot be made: %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    target.refresh();
    if (!target.isDir()) {
        *error = tr("the export folder is not a folder: %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if (!target.isWritable()) {
        *error = tr("cannot write to the export folder: %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    options.targetFolderPath = target.absoluteFilePath();
    *settings = parsed;
    return true;
}

ExportRun::ExportRun(const Settings &settings, QObject *parent) : HeadlessRun(settings, parent), settings(settings)
{
    // After the model's own connections: each row holds its outcome before it is counted.
    connect(mainControl, &MainControl::exportFileResult, this, &ExportRun::onExportFileResult);
    connect(mainControl, &MainControl::exportReady, this,
            [this](int exportResult, const QStringList &) { onExportReady(exportResult); });
}

void ExportRun::onFilesRead()
{
    if (ended)
        return;
    if (files->records().isEmpty()) {
        say(tr("Dorrik: no media files found"));
        ended = true;
        const bool written = settings.reportPath.isEmpty()
                             || ReportRun::writeReport(files->records(), settings.reportPath, settings.format);
        emit finished(written ? SomeFilesNotDone : UsageOrWriteError);
        return;
    }
    beginStage(tr("exporting..."));
    exporting = true;
    files->requestExport(settings.exportOptions, files->ids());
}

void ExportRun::onExportFileResult(const ExportResult &result)
{
    settle(result.fileNumber, files->records().size());
}

void ExportRun::stop(int exitCode)
{
    if (ended)
        return;
    if (!exporting) {
        // Nothing written yet: the reads end with the controller.
        ended = true;
        emit finished(exitCode);
        return;
    }
    if (stopExitCode == 0)
        say(tr("cancelling export..."));
    stopExitCode = exitCode;
    QMetaObject::invokeMethod(mainControl, &MainControl::onExportCancel, Qt::QueuedConnection);
}

void ExportRun::onExportReady(int exportResult)
{
    if (ended)
        return;
    exporting = false;
    ended = true;
    files->exportFinished();
    // Cancelled: what was being written is gone; the report still tells
    // which copies were finished before the stop and stay.
    if (exportResult == 1) {
        say(tr("Dorrik: export cancelled"));
        // A report that cannot be written has said why; the stop's own code stays.
        if (!settings.reportPath.isEmpty())
            ReportRun::writeReport(files->records(), settings.reportPath, settings.format);
        emit finished(stopExitCode != 0 ? stopExitCode : int(SomeFilesNotDone));
        return;
    }
    // A stop that came as the last file ended finds every file written and checked: that is the outcome.
    bool everyFileDone = true;
    for (const FileData &record : files->records()) {
        if (record.lastExport.done())
            continue;
        everyFileDone = false;
        say(tr("Dorrik: not exported: %1: %2")
                .arg(QDir::toNativeSeparators(record.filePath), record.lastExport.reasonText()));
    }
    if (!settings.reportPath.isEmpty()
        && !ReportRun::writeReport(files->records(), settings.reportPath, settings.format)) {
        emit finished(UsageOrWriteError);
        return;
    }
    emit finished(everyFileDone ? EveryFileDone : SomeFilesNotDone);
}
