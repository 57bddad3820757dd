#include "MainWindow.h"

#include "AppInfo.h"
#include "AudioTCWindow.h"
#include "EditActions.h"
#include "ExportWindow.h"
#include "FileInfoPanel.h"
#include "FileList.h"
#include "MainControl.h"
#include "FileActions.h"
#include "UpdateCheck.h"
#include "WindowTexts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

MainWindow::MainWindow(const QUrl &updateInfoUrl, QWidget *parent) : QMainWindow(parent)
{
    auto *central = new QWidget(this);

    exportWindow = new ExportWindow;
    audioTCWindow = new AudioTCWindow;
    updateCheck = new UpdateCheck(nullptr, updateInfoUrl);

    fileList = new FileList;
    fileActions = new FileActions(fileList, this);
    editActions = new EditActions(fileList, this);
    createMenus();

    mainControl = new MainControl;
    mainControl->moveToThread(&workerThread);
    // Destroyed on its own thread once that has stopped, which also removes the working folder.
    connect(&workerThread, &QThread::finished, mainControl, &QObject::deleteLater);

    createWidgets();
    createLayout(central);
    setCentralWidget(central);
    setWindowTitle(AppInfo::appName());
    placeOnScreen();

    makeConnections();

    workerThread.start();
    updateCheck->requestVersionInfo();
}

MainWindow::~MainWindow()
{
    delete updateCheck;
    delete exportWindow;
    delete audioTCWindow;
    workerThread.quit();
    if (!workerThread.wait(5000)) {
        workerThread.terminate();
        workerThread.wait();
    }
    delete fileList;
}

void MainWindow::placeOnScreen()
{
    // Where a new window usually opens: the screen with the pointer.
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QSize wanted(fileList->preferredWidth() + infoPanel->maximumWidth() + 40, 640);
    if (!screen) {
        resize(wanted);
        return;
    }
    // The frame the window manager adds is not known before the window is shown.
    const QRect available = screen->availableGeometry().adjusted(0, 0, -16, -40);
    const QSize size = wanted.boundedTo(available.size());
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
}

QUrl MainWindow::defaultUpdateInfoUrl()
{
    return UpdateCheck::defaultInfoUrl();
}

void MainWindow::createMenus()
{
    exportAction = new QAction(tr("&Export"), this);
    exportAllAction = new QAction(tr("&Export All"), this);
    exitAction = new QAction(tr("&Exit"), this);
    readAudioTCAction = new QAction(tr("&Read Audio TC"), this);
    aboutAction = new QAction(tr("&About"), this);

    // Spelled out: the platform's standard Quit key is empty on Windows.
    exitAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_Q));

    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(fileActions->addFilesAction());
    fileMenu->addAction(fileActions->addFolderAction());
    fileMenu->addSeparator();
    fileMenu->addAction(fileActions->saveReportAction());
    fileMenu->addSeparator();
    fileMenu->addAction(exportAllAction);
    fileMenu->addAction(exportAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);

    QMenu *editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->addAction(readAudioTCAction);
    editMenu->addSeparator();
    editMenu->addAction(editActions->removeSelectedAction());
    editMenu->addAction(editActions->clearAction());

    QMenu *aboutMenu = menuBar()->addMenu(tr("&About"));
    aboutMenu->addAction(aboutAction);
}

void MainWindow::createWidgets()
{
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setMinimumWidth(700);
    fileList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    infoPanel = new FileInfoPanel(this);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    statusLabel = new QLabel(tr("Status:"), this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    cancelButton = new QPushButton(tr("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->hide();
}

void MainWindow::createLayout(QWidget *central)
{
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(statusLabel);
    statusRow->addWidget(progressBar);
    statusRow->addWidget(cancelButton);

    auto *leftColumn = new QVBoxLayout;
    leftColumn->addWidget(fileList);
    leftColumn->addLayout(statusRow);

    auto *mainLayout = new QHBoxLayout;
    mainLayout->addLayout(leftColumn);
    mainLayout->addWidget(infoPanel);
    central->setLayout(mainLayout);
}

void MainWindow::makeConnections()
{
    FileTableModel *files = fileList->fileModel();
    connect(updateCheck, &UpdateCheck::currentVersionInfo, this, &MainWindow::versionInfoCheck);
    connect(exportWindow, &ExportWindow::exportRequest, fileList, &FileList::exportFiles);
    connect(audioTCWindow, &AudioTCWindow::readAudioTCReq, fileList, &FileList::onAudioTCReadReq);
    connect(exportAction, &QAction::triggered, this, &MainWindow::onExportButtonClicked);
    connect(exportAllAction, &QAction::triggered, this, &MainWindow::onExportAllButtonClicked);
    // The close event asks first while an export runs.
    connect(exitAction, &QAction::triggered, this, &MainWindow::close);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::onAboutMenuClicked);
    connect(readAudioTCAction, &QAction::triggered, this, &MainWindow::onReadAudioTCButtonClicked);
    connect(cancelButton, &QPushButton::clicked, this, &MainWindow::onCancelExportButtonClicked);
    connect(editActions, &EditActions::statusMessage, this, &MainWindow::showStatusMessage);
    connect(editActions, &EditActions::rowsLeaving, this, [this] {
        infoPanel->clear();
        setStatus(tr("Status: "));
    });
    connect(this, &MainWindow::cancelExport, mainControl, &MainControl::onExportCancel);
    connect(fileList, &FileList::updateFileInfo, this, &MainWindow::updateFileInfo);
    connect(mainControl, &MainControl::exportProgress, this, &MainWindow::statusProgressUpdate);
    connect(mainControl, &MainControl::exportReady, this, &MainWindow::exportReady);
    // An import beside a running export leaves the bar and the line to the export.
    connect(mainControl, &MainControl::importProgress, this, [this](int current, int all, const QString &message) {
        if (!exportRunning)
            statusProgressUpdate(current, all, message);
    });
    connect(mainControl, &MainControl::importReady, this, &MainWindow::importReady);
    // The model's road to the controller, shared with the run without a window.
    FileTableModel::connectToControl(files, mainControl);
    connect(mainControl, &MainControl::readingFinished, this, &MainWindow::readingFinished);
    connect(mainControl, &MainControl::exportStarted, this, &MainWindow::onExportStart);
    connect(mainControl, &MainControl::exportFileResult, this, &MainWindow::onExportFileResult);

    connect(fileList, &FileList::statusMessage, this, &MainWindow::showStatusMessage);
    connect(fileActions, &FileActions::statusMessage, this, &MainWindow::showStatusMessage);
}

void MainWindow::setStatus(const QString &text)
{
    statusLabel->setText(text);
}

void MainWindow::showStatusMessage(QString message)
{
    setStatus(tr("Status: ") + message);
}

// ---- entries -------------------------------------------------------------

void MainWindow::openExportWindow(bool exportAll)
{
    if (fileList->isExportRunning()) {
        showStatusMessage(tr("an export is already running"));
        return;
    }
    exportWindow->setExportAll(exportAll);
    if (exportWindow->isVisible())
        exportWindow->activateWindow();
    else
        exportWindow->show();
}

void MainWindow::onExportButtonClicked()
{
    openExportWindow(false);
}

void MainWindow::onExportAllButtonClicked()
{
    openExportWindow(true);
}

void MainWindow::onReadAudioTCButtonClicked()
{
    if (audioTCWindow->isVisible())
        audioTCWindow->activateWindow();
    else
        audioTCWindow->show();
}

void MainWindow::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(exportAction);
    menu.addAction(readAudioTCAction);
    menu.exec(event->globalPos());
}

// Delete reaches the window as a key when no shortcut took it (the window not active).
void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete)
        editActions->removeSelectedRows();
    QMainWindow::keyPressEvent(event);
}

// ---- progress and results ------------------------------------------------

void MainWindow::statusProgressUpdate(int current, int all, QString statusMsg)
{
    progressBar->setRange(0, all);
    progressBar->setValue(current);
    if (exportRunning)
        showExportStatus();
    else
        setStatus(tr("Status: ") + statusMsg);
}

void MainWindow::showExportStatus()
{
    const int total = fileList->fileModel()->exportFileCount();
    setStatus(exportCancelling
                  ? tr("Status: cancelling export...")
                  : tr("Status: ") + WindowTexts::exportProgressText(exportResults, total, exportClock.elapsed()));
}

void MainWindow::importReady()
{
    progressBar->setValue(0);
    setStatus(tr("Status: import ready") + WindowTexts::skippedText(fileList->fileModel()->takeSkippedCount()));
}

void MainWindow::readingFinished()
{
    progressBar->setValue(0);
    setStatus(tr("Status: read finished"));
}

void MainWindow::onExportStart()
{
    exportResults.clear();
    exportClock.start();
    exportRunning = true;
    cancelButton->show();
}

void MainWindow::onCancelExportButtonClicked()
{
    const auto answer = QMessageBox::question(this, tr("Cancel Export"), tr("Are you sure you want to cancel?"),
                                              QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    exportCancelling = true;
    setStatus(tr("Status: cancelling export..."));
    emit cancelExport();
    cancelButton->hide();
}

void MainWindow::onExportFileResult(ExportResult result)
{
    exportResults.append(result);
    // The batch's progress for this file came just before its result.
    showExportStatus();
}

void MainWindow::exportReady(int exportResult, QStringList exportErrorFileNameList)
{
    fileList->exportFinished();
    exportCancelling = false;
    if (exportResult == 1) {
        setStatus(tr("Status: export cancelled"));
    } else if (exportResult == 0 || exportResult == 2) {
        // File names are shown as they are, never as markup.
        const QString text = exportResult == 0
                                 ? tr("Corvanta did the job!")
                                 : WindowTexts::exportResultText(exportResults, exportErrorFileNameList);
        QMessageBox box(QMessageBox::Information, tr("Export Result"), text, QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.setDetailedText(WindowTexts::exportDetailsText(exportResults));
        box.exec();
        setStatus(tr("Status:"));
    }
    progressBar->setValue(0);
    cancelButton->hide();
    exportRunning = false;
    if (quitRequested)
        close();
}

bool MainWindow::confirmQuitDuringExport()
{
    const auto answer = QMessageBox::question(this, tr("Quit Application"),
                                              tr("Are you sure you want to quit\n(and cancel the export process)?"),
                                              QMessageBox::Yes | QMessageBox::No);
    return answer == QMessageBox::Yes;
}

void MainWindow::cancelForQuit()
{
    emit cancelExport();
    cancelButton->hide();
    quitRequested = true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (exportRunning) {
        event->ignore();
        if (confirmQuitDuringExport())
            cancelForQuit();
        return;
    }
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (widget != this)
            widget->close();
    }
    event->accept();
}

// ---- about, update and stream information --------------------------------

void MainWindow::onAboutMenuClicked()
{
    const QString text = WindowTexts::aboutText(webPageAddress());
    QMessageBox box(QMessageBox::NoIcon, tr("About"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

void MainWindow::versionInfoCheck(uint majorVersion, uint minorVersion, QString description, QUrl downloadLink)
{
    const bool newer = majorVersion > AppInfo::majorVersion
                       || (majorVersion == AppInfo::majorVersion && minorVersion > AppInfo::minorVersion);
    if (!newer)
        return;
    QMessageBox box(QMessageBox::NoIcon, tr("New Version Available"),
                    WindowTexts::newVersionText(description, downloadLink), QMessageBox::Ok, this);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

void MainWindow::updateFileInfo(FileData fileData)
{
    infoPanel->showFile(fileData);
}
