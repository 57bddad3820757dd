#pragma once

#include "AudioTCOptions.h"
#include "FileData.h"
#include "ReportWriter.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

class FileTableModel;
class MainControl;

// A reading without the window: imports paths into the table's model, with no
// widget, reads every file on the same road as the window (the model and the
// controller on its worker thread), writes the report and says how it went.
class ReportRun : public QObject
{
    Q_OBJECT

public:
    enum ExitCode { EveryFileRead = 0, SomeFilesUnread = 1, UsageOrWriteError = 2 };

    struct Settings
    {
        QString reportPath;
        ReportWriter::Format format = ReportWriter::Format::Csv;
        AudioTCOptions readOptions;
        // Settings other than automatic were given: read again with them, as the read dialog would.
        bool readWithOptions = false;
        QStringList paths;
    };

    // The command line asks for this mode (--report or --help anywhere).
    static bool isRequested(const QStringList &arguments);
    // Fills `settings` from the arguments (program name first); false with the reason.
    // `helpRequested` is set when --help was given (nothing else is checked then).
    static bool parseArguments(const QStringList &arguments, Settings *settings, bool *helpRequested,
                               QString *error);
    static QString usageText();

    explicit ReportRun(const Settings &settings, QObject *parent = nullptr);
    ~ReportRun() override;

    // Starts the import; `finished` follows once the report is written or could not be.
    void start();
    const FileTableModel *table() const { return files; }

signals:
    void finished(int exitCode);

private:
    void onImportReady();
    void onReadingFinished();
    void settle(int fileId);
    void finish();

    Settings settings;
    QThread workerThread;
    MainControl *mainControl = nullptr;
    FileTableModel *files = nullptr;
    QSet<int> settledIds;
    QString stage;
    bool secondReadRunning = false;
};
