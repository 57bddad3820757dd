#pragma once

#include "AudioTCOptions.h"
#include "ExportOptions.h"
#include "FileData.h"
#include "FileTableModel.h"

#include <QList>
#include <QTableView>
#include <QUrl>
#include <QVector>

class QSortFilterProxyModel;

// The table of imported files as the window shows it: the records' model
// through a sorting proxy, with drag and drop of files and folders, removal of
// the selected rows and the columns fitted to the texts in view. Clicking a
// column header sorts by it; until then rows stay in the order they came in.
class FileList : public QTableView
{
    Q_OBJECT

public:
    explicit FileList(QWidget *parent = nullptr);

    FileTableModel *fileModel() const { return files; }
    const QVector<FileData> &records() const { return files->records(); }
    // "Drop files here..." shows until the first files come.
    bool hasPlaceholder() const { return placeholderShown && files->rowCount() == 0; }
    static QString placeholderText();

    void importUrls(const QList<QUrl> &urls);
    // Ids of the selected rows, in the order the selection reports them.
    QVector<int> selectedIds() const;

    // Why these rows cannot be removed now; empty when they can.
    QString deletionRefusal(const QVector<int> &fileIds) const;
    QString deletionRefusal() const { return deletionRefusal(selectedIds()); }
    // Width that shows every column with texts as long as a day's usually are.
    int preferredWidth() const;
    bool isExportRunning() const { return files->isExportRunning(); }

signals:
    void updateFileInfo(FileData fileData);
    // A request was refused; the text says why (shown in the status line).
    void statusMessage(QString message);

public slots:
    void onAudioTCReadReq(AudioTCOptions audioTCOptions);
    void exportFiles(ExportOptions exportOptions);
    void deleteSelectedRows();
    // Every row, unless a running export still needs one.
    void clearRows();
    void exportFinished() { files->exportFinished(); }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void onClicked(const QModelIndex &index);
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void resizeColumnLater(int column, int row);
    void resizeVisibleColumnsLater();
    void resizePendingColumns();
    int typicalWidth(int column) const;
    bool rowIsVisible(int row) const;

    FileTableModel *files;
    QSortFilterProxyModel *sorter;
    bool placeholderShown = true;

    // Columns to fit to their visible texts once the current burst of updates is handled.
    QVector<int> columnsToResize;
    bool resizeScheduled = false;
};
