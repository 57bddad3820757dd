#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class FileList;
class QAction;
class QWidget;

// The File menu's entries that bring files in and write the report out.
class FileActions : public QObject
{
    Q_OBJECT

public:
    FileActions(FileList *table, QWidget *window);

    QAction *addFilesAction() const { return addFiles; }
    QAction *addFolderAction() const { return addFolder; }
    QAction *saveReportAction() const { return saveReport; }

    // Imported as if dropped on the table.
    void importPaths(const QStringList &paths);
    // Writes the table as a report (CSV or ALE by the name's suffix); the status message says how it went.
    bool saveReportTo(const QString &path, QString *error);

signals:
    void statusMessage(QString message);

private:
    void onAddFilesClicked();
    void onAddFolderClicked();
    void onSaveReportClicked();
    // Where to save a report, ending in .csv or .ale; empty when the user cancelled.
    QString askReportPath();

    FileList *table;
    QWidget *window;
    QAction *addFiles;
    QAction *addFolder;
    QAction *saveReport;
};
