#include "ReportRun.h"

#include "FileTableModel.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {

const QCommandLineOption reportOption(QStringLiteral("report"), QString(), QStringLiteral("file"));

} // namespace

bool ReportRun::takeReportPath(const QString &path, QString *reportPath, ReportWriter::Format *format,
                               QString *error)
{
    if (!ReportWriter::formatForPath(path, format)) {
        *error = tr("the report must be a .csv or an .ale file: %1").arg(path);
        return false;
    }
    // Known before a long read, not after it.
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
        *error = tr("the report's folder does not exist: %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    *reportPath = path;
    return true;
}

bool ReportRun::parseArguments(const QStringList &arguments, Settings *settings, bool *helpRequested,
                               QString *error)
{
    QCommandLineParser parser;
    parser.addOptions(readOptions());
    parser.addOption(reportOption);
    Settings parsed;
    if (!parseCommon(&parser, arguments, &parsed, helpRequested, error))
        return false;
    if (*helpRequested)
        return true;
    if (parser.value(reportOption).isEmpty()) {
        *error = tr("--report FILE.csv or FILE.ale is missing");
        return false;
    }
    if (!takeReportPath(parser.value(reportOption), &parsed.reportPath, &parsed.format, error))
        return false;
    *settings = parsed;
    return true;
}

ReportRun::ReportRun(const Settings &settings, QObject *parent) : HeadlessRun(settings, parent), settings(settings) {}

bool ReportRun::writeReport(const QVector<FileData> &records, const QString &path, ReportWriter::Format format)
{
    QString error;
    if (ReportWriter(records).write(path, format, &error))
        return true;
    say(tr("Dorrik: the report could not be written to %1: %2").arg(QDir::toNativeSeparators(path), error));
    return false;
}

void ReportRun::onFilesRead()
{
    const QVector<FileData> &records = files->records();
    if (!writeReport(records, settings.reportPath, settings.format)) {
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
