#include "MainWindow.h"

#include "AppInfo.h"
#include "AudioTCWindow.h"
#include "ExportWindow.h"
#include "FileList.h"
#include "MainControl.h"
#include "ReportWriter.h"
#include "UpdateCheck.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char logoPath[] = "images/corvanta_LOGO_transparent.png";

// Qt's own escaping leaves quotes alone; the link sits in a quoted attribute.
QString htmlText(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString linePrefix(const ProbeStream &stream)
{
    return QStringLiteral("   %1: ").arg(stream.index);
}

} // namespace

MainWindow::MainWindow(const QUrl &updateInfoUrl, QWidget *parent) : QMainWindow(parent)
{
    auto *central = new QWidget(this);

    exportWindow = new ExportWindow;
    audioTCWindow = new AudioTCWindow;
    updateCheck = new UpdateCheck(nullptr, updateInfoUrl);

    createMenus();

    mainControl = new MainControl;
    mainControl->moveToThread(&workerThread);
    // Destroyed on its own thread once that has stopped, which also removes the working folder.
    connect(&workerThread, &QThread::finished, mainControl, &QObject::deleteLater);

    createWidgets();
    createLayout(central);
    setCentralWidget(central);
    setWindowTitle(AppInfo::appName());
    // Room for a day's file names and the longest Audio TC text from the start.
    resize(1180, 640);

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

QUrl MainWindow::defaultUpdateInfoUrl()
{
    return UpdateCheck::defaultInfoUrl();
}

QString MainWindow::webPageAddress()
{
    return QStringLiteral("https://www.corvanta.com");
}

void MainWindow::createMenus()
{
    exportAction = new QAction(tr("&Export"), this);
    exportAllAction = new QAction(tr("&Export All"), this);
    exitAction = new QAction(tr("&Exit"), this);
    readAudioTCAction = new QAction(tr("&Read Audio TC"), this);
    aboutAction = new QAction(tr("&About"), this);

    addFilesAction = new QAction(tr("&Add Files..."), this);
    addFilesAction->setShortcut(QKeySequence::Open);
    addFolderAction = new QAction(tr("Add &Folder..."), this);
    saveReportAction = new QAction(tr("&Save Report..."), this);
    saveReportAction->setShortcut(QKeySequence::Save);
    // Spelled out: the platform's standard Quit key is empty on Windows.
    exitAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_Q));

    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(addFilesAction);
    fileMenu->addAction(addFolderAction);
    fileMenu->addSeparator();
    fileMenu->addAction(saveReportAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exportAllAction);
    fileMenu->addAction(exportAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);

    QMenu *editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->addAction(readAudioTCAction);

    QMenu *aboutMenu = menuBar()->addMenu(tr("&About"));
    aboutMenu->addAction(aboutAction);
}

void MainWindow::createWidgets()
{
    fileList = new FileList;
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setMinimumWidth(700);
    fileList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    streamInfoList = new QListWidget(this);
    streamInfoList->setObjectName(QStringLiteral("streamInfoList"));
    streamInfoList->setMinimumWidth(200);
    streamInfoList->setMaximumWidth(300);
    streamInfoList->setMinimumHeight(100);
    streamInfoList->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    streamInfoList->setSelectionMode(QAbstractItemView::NoSelection);

    logoLabel = new QLabel(this);
    logoLabel->setObjectName(QStringLiteral("logoLabel"));
    logoLabel->setPixmap(QPixmap(QString::fromLatin1(logoPath)));
    logoLabel->setAlignment(Qt::AlignCenter);
    logoLabel->setMinimumWidth(200);
    logoLabel->setMaximumWidth(280);
    logoLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

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

    auto *rightColumn = new QVBoxLayout;
    rightColumn->setSizeConstraint(QLayout::SetMaximumSize);
    rightColumn->setContentsMargins(5, 5, 5, 5);
    rightColumn->addWidget(logoLabel);
    rightColumn->addWidget(streamInfoList);

    auto *mainLayout = new QHBoxLayout;
    mainLayout->addLayout(leftColumn);
    mainLayout->addLayout(rightColumn);
    central->setLayout(mainLayout);
}

void MainWindow::makeConnections()
{
    connect(updateCheck, SIGNAL(currentVersionInfo(uint,uint,QString,QUrl)),
            this, SLOT(versionInfoCheck(uint,uint,QString,QUrl)));
    connect(exportWindow, SIGNAL(exportRequest(ExportOptions)), fileList, SLOT(exportFiles(ExportOptions)));
    connect(audioTCWindow, SIGNAL(readAudioTCReq(AudioTCOptions)), fileList, SLOT(onAudioTCReadReq(AudioTCOptions)));
    connect(exportAction, SIGNAL(triggered(bool)), this, SLOT(onExportButtonClicked()));
    connect(exportAllAction, SIGNAL(triggered(bool)), this, SLOT(onExportAllButtonClicked()));
    connect(exitAction, SIGNAL(triggered(bool)), this, SLOT(exitApplication()));
    connect(aboutAction, SIGNAL(triggered(bool)), this, SLOT(onAboutMenuClicked()));
    connect(readAudioTCAction, SIGNAL(triggered(bool)), this, SLOT(onReadAudioTCButtonClicked()));
    connect(cancelButton, SIGNAL(clicked(bool)), this, SLOT(onCancelExportButtonClicked()));
    connect(this, SIGNAL(cancelExport()), mainControl, SLOT(onExportCancel()));
    connect(fileList, SIGNAL(updateFileInfo(FileData)), this, SLOT(updateFileInfo(FileData)));
    connect(mainControl, SIGNAL(exportProgress(int,int,QString)), this, SLOT(statusProgressUpdate(int,int,QString)));
    connect(mainControl, SIGNAL(exportReady(int,QStringList)), this, SLOT(exportReady(int,QStringList)));
    connect(mainControl, SIGNAL(importProgress(int,int,QString)), this, SLOT(statusProgressUpdate(int,int,QString)));
    connect(mainControl, SIGNAL(importReady()), this, SLOT(importReady()));
    // The table's own road to the controller, shared with the run without a window.
    FileList::connectToControl(fileList, mainControl);
    connect(mainControl, SIGNAL(readingFinished()), this, SLOT(readingFinished()));
    connect(mainControl, SIGNAL(exportStarted()), this, SLOT(onExportStart()));
    connect(mainControl, SIGNAL(exportFileResult(ExportResult)), this, SLOT(onExportFileResult(ExportResult)));
    connect(this, SIGNAL(deleteSelectedRowsSignal()), fileList, SLOT(deleteSelectedRows()));

    connect(fileList, SIGNAL(statusMessage(QString)), this, SLOT(showStatusMessage(QString)));
    connect(addFilesAction, SIGNAL(triggered(bool)), this, SLOT(onAddFilesClicked()));
    connect(addFolderAction, SIGNAL(triggered(bool)), this, SLOT(onAddFolderClicked()));
    connect(saveReportAction, SIGNAL(triggered(bool)), this, SLOT(onSaveReportClicked()));
}

void MainWindow::importPaths(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    fileList->importUrls(urls);
}

// ---- files in and report out ----------------------------------------------

void MainWindow::onAddFilesClicked()
{
    // The dialog's patterns match case on some systems; camera cards write capitals.
    QStringList patterns;
    for (const QString &pattern : mediaNameFilters())
        patterns << pattern << pattern.toUpper();
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Add Files"), lastFolder,
        tr("Media files (%1)").arg(patterns.join(QLatin1Char(' '))) + QStringLiteral(";;") + tr("All files (*)"));
    if (files.isEmpty())
        return;
    lastFolder = QFileInfo(files.first()).absolutePath();
    importPaths(files);
}

void MainWindow::onAddFolderClicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Add Folder"), lastFolder);
    if (folder.isEmpty())
        return;
    lastFolder = folder;
    importPaths({folder});
}

void MainWindow::onSaveReportClicked()
{
    if (fileList->records().isEmpty()) {
        showStatusMessage(tr("no files to report"));
        return;
    }
    const QString csvFilter = tr("Spreadsheet (*.csv)");
    const QString aleFilter = tr("Avid Log Exchange (*.ale)");
    QFileDialog dialog(this, tr("Save Report"), lastFolder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({csvFilter, aleFilter});
    dialog.setDefaultSuffix(ReportWriter::suffixOf(ReportWriter::Format::Csv));
    // The suffix that is added follows the chosen type.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, aleFilter](const QString &filter) {
        dialog.setDefaultSuffix(ReportWriter::suffixOf(filter == aleFilter ? ReportWriter::Format::Ale
                                                                           : ReportWriter::Format::Csv));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    QString path = dialog.selectedFiles().first();
    ReportWriter::Format format;
    // A name that ends in neither suffix gets the chosen type's.
    if (!ReportWriter::formatForPath(path, &format)) {
        format = dialog.selectedNameFilter() == aleFilter ? ReportWriter::Format::Ale : ReportWriter::Format::Csv;
        path += QLatin1Char('.') + ReportWriter::suffixOf(format);
    }
    lastFolder = QFileInfo(path).absolutePath();
    QString error;
    if (!saveReport(path, &error)) {
        QMessageBox box(QMessageBox::Warning, tr("Save Report"),
                        tr("The report could not be written to\n%1\n%2").arg(QDir::toNativeSeparators(path), error),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

bool MainWindow::saveReport(const QString &path, QString *error)
{
    ReportWriter::Format format;
    if (!ReportWriter::formatForPath(path, &format)) {
        *error = tr("a report is a .csv or an .ale file");
    } else if (ReportWriter(fileList->records()).write(path, format, error)) {
        showStatusMessage(tr("report saved to %1").arg(QDir::toNativeSeparators(path)));
        return true;
    }
    showStatusMessage(tr("report not saved: %1").arg(*error));
    return false;
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

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        const QString refusal = fileList->deletionRefusal();
        if (refusal.isEmpty()) {
            streamInfoList->clear();
            setStatus(tr("Status: "));
            emit deleteSelectedRowsSignal();
        } else {
            showStatusMessage(refusal);
        }
    }
    QMainWindow::keyPressEvent(event);
}

// ---- progress and results ------------------------------------------------

void MainWindow::statusProgressUpdate(int current, int all, QString statusMsg)
{
    progressBar->setRange(0, all);
    progressBar->setValue(current);
    if (exportCancelling)
        setStatus(tr("Status: cancelling export..."));
    else
        setStatus(tr("Status: ") + statusMsg);
}

void MainWindow::importReady()
{
    progressBar->setValue(0);
    setStatus(tr("Status: import ready"));
}

void MainWindow::readingFinished()
{
    fileList->readingFinished();
    progressBar->setValue(0);
    setStatus(tr("Status: read finished"));
}

void MainWindow::onExportStart()
{
    exportResults.clear();
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

// Four names per line; every line but the last ends in ", ".
QString MainWindow::exportErrorText(const QStringList &fileNames)
{
    QString text = tr("Export finished.\nErrors occured with the folliwing files:");
    if (fileNames.isEmpty())
        return text;
    for (int i = 0; i < fileNames.size(); ++i) {
        if (i % 4 == 0)
            text += QLatin1Char('\n');
        text += fileNames.at(i) + QStringLiteral(", ");
    }
    text.chop(2);
    return text;
}

void MainWindow::onExportFileResult(ExportResult result)
{
    exportResults.append(result);
}

QString MainWindow::exportDetailsText(const QVector<ExportResult> &results)
{
    QStringList lines;
    for (const ExportResult &result : results)
        if (!result.done())
            lines << result.detailLine();
    return lines.join(QLatin1Char('\n'));
}

void MainWindow::exportReady(int exportResult, QStringList exportErrorFileNameList)
{
    fileList->exportFinished();
    exportCancelling = false;
    if (exportResult == 1) {
        setStatus(tr("Status: export cancelled"));
    } else if (exportResult == 0 || exportResult == 2) {
        // File names are shown as they are, never as markup.
        QMessageBox box(QMessageBox::Information, tr("Export Result"),
                        exportResult == 0 ? tr("Corvanta did the job!") : exportErrorText(exportErrorFileNameList),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.setDetailedText(exportDetailsText(exportResults));
        box.exec();
        setStatus(tr("Status:"));
    }
    progressBar->setValue(0);
    cancelButton->hide();
    exportRunning = false;
    if (quitRequested)
        exitApplication();
}

// ---- quitting ------------------------------------------------------------

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

void MainWindow::closeOtherTopLevelWidgets()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (widget != this)
            widget->close();
    }
}

void MainWindow::exitApplication()
{
    if (exportRunning) {
        if (confirmQuitDuringExport())
            cancelForQuit();
        return;
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (exportRunning) {
        event->ignore();
        if (confirmQuitDuringExport())
            cancelForQuit();
        return;
    }
    closeOtherTopLevelWidgets();
    event->accept();
}

// ---- about, update and stream information --------------------------------

void MainWindow::onAboutMenuClicked()
{
    const QString text = QStringLiteral("<p style='margin-right:5em;'>%1 V%2.%3<br>%4<a href='%5'>%5</a><br></p>")
                             .arg(AppInfo::appName())
                             .arg(AppInfo::majorVersion)
                             .arg(AppInfo::minorVersion, 2, 10, QLatin1Char('0'))
                             .arg(tr("Webpage: "), webPageAddress());
    QMessageBox box(QMessageBox::NoIcon, tr("About"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

// The document comes over the network: its description is shown as text, and
// only a web address becomes a link.
QString MainWindow::newVersionText(const QString &description, const QUrl &downloadLink)
{
    const QString scheme = downloadLink.scheme().toLower();
    const bool webLink = downloadLink.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
    const QString shown = htmlText(downloadLink.toString());

    QString text = QStringLiteral("<p style='margin-right:5em;'> ")
                   + tr("There is a new software version available!<br>You can download it from the following link:<br>");
    if (webLink) {
        QString target = QString::fromLatin1(downloadLink.toEncoded());
        target.replace(QLatin1Char('\''), QLatin1String("%27"));
        text += QStringLiteral("<a href='%1'>%2</a></p>").arg(htmlText(target), shown);
    } else {
        text += shown + QStringLiteral("</p>");
    }
    if (!description.isEmpty())
        text += tr("Details:<br><i>") + htmlText(description) + QStringLiteral("</i>");
    return text;
}

void MainWindow::versionInfoCheck(uint majorVersion, uint minorVersion, QString description, QUrl downloadLink)
{
    const bool newer = majorVersion > AppInfo::majorVersion
                       || (majorVersion == AppInfo::majorVersion && minorVersion > AppInfo::minorVersion);
    if (!newer)
        return;
    QMessageBox box(QMessageBox::NoIcon, tr("New Version Available"), newVersionText(description, downloadLink),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

QStringList MainWindow::streamInfoLines(const FileData &fileData)
{
    QStringList lines{tr(" Streams:")};
    if (fileData.hasVideo()) {
        const ProbeStream &video = fileData.videoStream();
        lines << linePrefix(video) + tr("video (") + video.codecName + QStringLiteral(")");
        lines << tr("     size: ") + QString::number(video.width) + QStringLiteral("x") + QString::number(video.height);
    }
    const bool mxf = fileData.suffix.compare(QLatin1String("mxf"), Qt::CaseInsensitive) == 0;
    for (const ProbeStream &audio : fileData.audioStreams()) {
        lines << linePrefix(audio) + tr("audio (") + audio.codecName + QStringLiteral(")");
        if (!audio.channelLayout.isEmpty())
            lines << tr("     layout: ") + audio.channelLayout;
        if (!mxf)
            lines << tr("     channels: ") + QString::number(audio.channels);
    }
    return lines;
}

void MainWindow::updateFileInfo(FileData fileData)
{
    streamInfoList->clear();
    streamInfoList->addItems(streamInfoLines(fileData));
}
