#pragma once

#include "HeadlessRun.h"
#include "ReportWriter.h"

#include <QString>
#include <QStringList>

// A reading without the window: reads every file on the common road and
// writes the report, and says how it went.
class ReportRun : public HeadlessRun
{
    Q_OBJECT

public:
    enum ExitCode { EveryFileRead = 0, SomeFilesUnread = 1, UsageOrWriteError = 2 };

    struct Settings : ReadSettings
    {
        QString reportPath;
        ReportWriter::Format format = ReportWriter::Format::Csv;
    };

    // Fills `settings` from the arguments (program name first); false with the reason.
    // `helpRequested` is set when --help was given (nothing else is checked then).
    static bool parseArguments(const QStringList &arguments, Settings *settings, bool *helpRequested,
                               QString *error);
    // The report of a run: its path and format (from the suffix), checked before a long read.
    static bool takeReportPath(const QString &path, QString *reportPath, ReportWriter::Format *format,
                               QString *error);
    // Writes the table as a report; false after saying why on standard error.
    static bool writeReport(const QVector<FileData> &records, const QString &path, ReportWriter::Format format);

    explicit ReportRun(const Settings &settings, QObject *parent = nullptr);

private:
    void onFilesRead() override;

    Settings settings;
};
