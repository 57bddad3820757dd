#pragma once

#include "ExportResult.h"
#include "FileActions.h"
#include "FileData.h"

#include <QList>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <QVector>

class AudioTCWindow;
class EditActions;
class ExportWindow;
class FileInfoPanel;
class FileList;
class MainControl;
class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class UpdateCheck;

// The program's only main window: owns the table, both dialogs, the update
// check and the controller's worker thread, and wires them together.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // An empty update address switches the update check off.
    explicit MainWindow(const QUrl &updateInfoUrl = defaultUpdateInfoUrl(), QWidget *parent = nullptr);
    ~MainWindow() override;

    static QUrl defaultUpdateInfoUrl();
    static QString webPageAddress() { return QStringLiteral("https://www.corvanta.com"); }

    // Files and folders handed over at start, imported as if dropped on the table.
    void importPaths(const QStringList &paths) { fileActions->importPaths(paths); }
    // Writes the table as a report (CSV or ALE by the name's suffix); the status line says how it went.
    bool saveReport(const QString &path, QString *error) { return fileActions->saveReportTo(path, error); }

signals:
    void cancelExport();

private slots:
    void onExportButtonClicked();
    void onExportAllButtonClicked();
    void onCancelExportButtonClicked();
    void onExportStart();
    void onAboutMenuClicked();
    void onReadAudioTCButtonClicked();
    void exportReady(int exportResult, QStringList exportErrorFileNameList);
    void importReady();
    void readingFinished();
    void statusProgressUpdate(int current, int all, QString statusMsg);
    void showExportStatus();
    void updateFileInfo(FileData fileData);
    void versionInfoCheck(uint majorVersion, uint minorVersion, QString description, QUrl downloadLink);
    void showStatusMessage(QString message);
    void onExportFileResult(ExportResult result);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void createMenus();
    void createWidgets();
    void createLayout(QWidget *central);
    void makeConnections();
    void openExportWindow(bool exportAll);
    bool confirmQuitDuringExport();
    void cancelForQuit();
    void setStatus(const QString &text);
    // Wide enough for every column, within the screen it opens on.
    void placeOnScreen();

    QThread workerThread;
    FileList *fileList = nullptr;
    MainControl *mainControl = nullptr;
    ExportWindow *exportWindow = nullptr;
    AudioTCWindow *audioTCWindow = nullptr;
    UpdateCheck *updateCheck = nullptr;
    FileInfoPanel *infoPanel = nullptr;
    QLabel *statusLabel = nullptr;
    QProgressBar *progressBar = nullptr;
    QPushButton *cancelButton = nullptr;
    QAction *exportAction = nullptr;
    QAction *exportAllAction = nullptr;
    QAction *exitAction = nullptr;
    QAction *readAudioTCAction = nullptr;
    QAction *aboutAction = nullptr;
    FileActions *fileActions = nullptr;
    EditActions *editActions = nullptr;
    bool exportRunning = false;
    bool quitRequested = false;
    bool exportCancelling = false;
    // The running export job's per-file outcomes, for the result's details.
    QVector<ExportResult> exportResults;
    // Since the export started, for the time left.
    QElapsedTimer exportClock;
};
