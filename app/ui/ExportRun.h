#pragma once

#include "ExportOptions.h"
#include "ExportResult.h"
#include "HeadlessRun.h"
#include "ReportWriter.h"

#include <QString>
#include <QStringList>
#include <QVector>

// An export without the window: reads every file on the common road, exports
// the rows as the window's Export All would, optionally writes the report
// after it, and ends with an exit code a script can act on. A stop (Ctrl-C,
// SIGTERM) cancels as the Cancel button does.
class ExportRun : public HeadlessRun
{
    Q_OBJECT

public:
    enum ExitCode { EveryFileDone = 0, SomeFilesNotDone = 1, UsageOrWriteError = 2 };

    struct Settings : ReadSettings
    {
        ExportOptions exportOptions;
        // Empty: no report.
        QString reportPath;
        ReportWriter::Format format = ReportWriter::Format::Csv;
    };

    // Fills `settings` from the arguments (program name first); false with the reason.
    // `helpRequested` is set when --help was given (nothing else is checked then).
    static bool parseArguments(const QStringList &arguments, Settings *settings, bool *helpRequested,
                               QString *error);

    explicit ExportRun(const Settings &settings, QObject *parent = nullptr);

    // Ends the run with `exitCode` (128 + the signal's number). A running
    // export is cancelled first, as the Cancel button does: no partial file stays.
    void stop(int exitCode);

private:
    void onFilesRead() override;
    void onExportFileResult(const ExportResult &result);
    void onExportReady(int exportResult);

    Settings settings;
    bool exporting = false;
    bool ended = false;
    int stopExitCode = 0;
};
