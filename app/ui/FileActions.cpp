#include "FileActions.h"

#include "AppInfo.h"
#include "DialogFolder.h"
#include "FileList.h"
#include "ReportWriter.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

FileActions::FileActions(FileList *table, QWidget *window)
    : QObject(window),
      table(table),
      window(window),
      addFiles(new QAction(tr("&Add Files..."), window)),
      addFolder(new QAction(tr("Add &Folder..."), window)),
      saveReport(new QAction(tr("&Save Report..."), window))
{
    addFiles->setShortcut(QKeySequence::Open);
    saveReport->setShortcut(QKeySequence::Save);
    connect(addFiles, &QAction::triggered, this, &FileActions::onAddFilesClicked);
    connect(addFolder, &QAction::triggered, this, &FileActions::onAddFolderClicked);
    connect(saveReport, &QAction::triggered, this, &FileActions::onSaveReportClicked);
}

void FileActions::importPaths(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    table->importUrls(urls);
}

void FileActions::onAddFilesClicked()
{
    // The dialog's patterns match case on some systems; camera cards write capitals.
    QStringList patterns;
    for (const QString &pattern : mediaNameFilters())
        patterns << pattern << pattern.toUpper();
    const QStringList files = QFileDialog::getOpenFileNames(
        window, tr("Add Files"), DialogFolder::last(),
        tr("Media files (%1)").arg(patterns.join(QLatin1Char(' '))) + QStringLiteral(";;") + tr("All files (*)"));
    if (files.isEmpty())
        return;
    DialogFolder::remember(QFileInfo(files.first()).absolutePath());
    importPaths(files);
}

void FileActions::onAddFolderClicked()
{
    const QString folder = QFileDialog::getExistingDirectory(window, tr("Add Folder"), DialogFolder::last());
    if (folder.isEmpty())
        return;
    DialogFolder::remember(folder);
    importPaths({folder});
}

QString FileActions::askReportPath()
{
    const QString csvFilter = tr("Spreadsheet (*.csv)");
    const QString aleFilter = tr("Avid Log Exchange (*.ale)");
    QFileDialog dialog(window, tr("Save Report"), DialogFolder::last());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({csvFilter, aleFilter});
    dialog.setDefaultSuffix(ReportWriter::suffixOf(ReportWriter::Format::Csv));
    // The suffix that is added follows the chosen type.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, aleFilter](const QString &filter) {
        dialog.setDefaultSuffix(ReportWriter::suffixOf(filter == aleFilter ? ReportWriter::Format::Ale
                                                                           : ReportWriter::Format::Csv));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();

    QString path = dialog.selectedFiles().first();
    ReportWriter::Format format;
    // A name that ends in neither suffix gets the chosen type's.
    if (!ReportWriter::formatForPath(path, &format)) {
        format = dialog.selectedNameFilter() == aleFilter ? ReportWriter::Format::Ale : ReportWriter::Format::Csv;
        path += QLatin1Char('.') + ReportWriter::suffixOf(format);
    }
    return path;
}

void FileActions::onSaveReportClicked()
{
    if (table->records().isEmpty()) {
        emit statusMessage(tr("no files to report"));
        return;
    }
    const QString path = askReportPath();
    if (path.isEmpty())
        return;
    DialogFolder::remember(QFileInfo(path).absolutePath());
    QString error;
    if (!saveReportTo(path, &error)) {
        QMessageBox box(QMessageBox::Warning, tr("Save Report"),
                        tr("The report could not be written to\n%1\n%2").arg(QDir::toNativeSeparators(path), error),
                        QMessageBox::Ok, window);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

bool FileActions::saveReportTo(const QString &path, QString *error)
{
    ReportWriter::Format format;
    if (!ReportWriter::formatForPath(path, &format)) {
        *error = tr("a report is a .csv or an .ale file");
    } else if (ReportWriter(table->records()).write(path, format, error)) {
        emit statusMessage(tr("report saved to %1").arg(QDir::toNativeSeparators(path)));
        return true;
    }
    emit statusMessage(tr("report not saved: %1").arg(*error));
    return false;
}
