#pragma once

#include "AudioTCOptions.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

class FileTableModel;
class MainControl;
class QCommandLineOption;
class QCommandLineParser;

// What every run without a window reads, and how.
struct ReadSettings
{
    AudioTCOptions readOptions;
    // Settings other than automatic were given: read again with them, as the read dialog would.
    bool readWithOptions = false;
    QStringList paths;
};

// The common road of the runs without a window (--report, --export): imports
// paths into the table's model, with no widget, and reads every file as the
// window would (the model and the controller on its worker thread), with one
// progress line per file on standard error. What follows the reading is the
// run's own.
class HeadlessRun : public QObject
{
    Q_OBJECT

public:
    ~HeadlessRun() override;

    enum class Mode { Window, Report, Export };
    // What the command line asks for: --export anywhere is an export, --report
    // or --help a report (whose usage covers both), anything else the window.
    static Mode requestedMode(const QStringList &arguments);

    // Starts the import; `finished` follows once the run's work is done or failed.
    void start();
    const FileTableModel *table() const { return files; }

    // Both runs, their options and the export types by word.
    static QString usageText();
    // One line on standard error, at once.
    static void say(const QString &line);

signals:
    void finished(int exitCode);

protected:
    HeadlessRun(const ReadSettings &settings, QObject *parent);

    // Every file has been read (or could not be).
    virtual void onFilesRead() = 0;
    // Counts one file of the current stage and says so ("3/20 reading...").
    void settle(int fileId, int total);
    void beginStage(const QString &name);

    // Parses the options of `parser` (the run's own and readOptions()) with the
    // paths behind them; false with the reason. `helpRequested` is set when
    // --help was given (nothing else is checked then).
    static bool parseCommon(QCommandLineParser *parser, const QStringList &arguments, ReadSettings *settings,
                            bool *helpRequested, QString *error);
    static QList<QCommandLineOption> readOptions();

    FileTableModel *files = nullptr;
    MainControl *mainControl = nullptr;

private:
    void onImportReady();
    void onReadingFinished();

    ReadSettings readSettings;
    QThread workerThread;
    QSet<int> settledIds;
    QString stage;
    bool secondReadRunning = false;
    bool reading = true;
};
