#pragma once

#include "AudioTCOptions.h"
#include "FileData.h"
#include "ReportWriter.h"

#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

class FileList;
class MainControl;

// A reading without the window: imports paths into a table that is never
// shown, reads every file on the same road as the window (the table and the
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
    const FileList *table() const { return fileList; }

signals:
    void finished(int exitCode);

private slots:
    void onImportReady();
    void onReadingFinished();
    void onProbeResult(FileData fileData, int row, int exitCode);
    void onAudioResult(QJsonObject report, int row, int stream, int exitCode);

private:
    void settle(int row);
    void finish();

    Settings settings;
    QThread workerThread;
    MainControl *mainControl = nullptr;
    FileList *fileList = nullptr;
    QSet<int> settledRows;
    QString stage;
    bool secondReadRunning = false;
};
