#pragma once

#include "AudioTCOptions.h"
#include "ExportOptions.h"
#include "FileData.h"

#include <QFileInfo>
#include <QMap>
#include <QJsonObject>
#include <QList>
#include <QTableWidget>
#include <QUrl>
#include <QVector>

// The table of imported files. Row i is always fileVector[i] once the
// placeholder row is gone. Results from the controller arrive addressed by the
// row number the request carried, so rows are never removed while a request
// that carries a row number can still be answered.
class FileList : public QTableWidget
{
    Q_OBJECT

public:
    explicit FileList(QWidget *parent = nullptr);

    enum Column { NameColumn = 0, DurationColumn, FileTCColumn, AudioTCColumn };

    const QVector<FileData> &records() const { return fileVector; }
    bool hasPlaceholder() const { return placeholderItem != nullptr; }

    // Requests from the table to the job controller and its answers back
    // (queued when the controller lives on another thread).
    static void connectToControl(FileList *table, QObject *control);

    // Same road as a drop: the controller expands folders and filters names.
    void importUrls(const QList<QUrl> &urls);

    // Why the selected rows cannot be removed now; empty when they can.
    QString deletionRefusal() const;
    bool isExportRunning() const { return exportRunning; }

    static QString audioTCErrorText(int errorNumber);
    static QString audioTCText(const AudioTCReading &reading);

signals:
    void iterateThroughDirReq(QList<QUrl> urls);
    void ffprobeFileReq(FileData fileData, int rowNumber);
    void initAudioTCInfoReq(FileData fileData, int rowNumber);
    void updateAudioTCInfoReq(QVector<FileData> audioTCUpdateFileVector, AudioTCOptions audioTCOptions);
    void updateFileInfo(FileData fileData);
    void exportFilesReq(QVector<FileData> exportFileVector, ExportOptions exportOptions);
    // A request was refused; the text says why (shown in the status line).
    void statusMessage(QString message);

public slots:
    void addItemToTable(QFileInfo fileInfo);
    void onFFProbeResult(FileData fileData, int fileNumber, int exitCode);
    void onAudioTCReadReturn(QJsonObject ltcResultJson, int fileNumber, int audioTCStreamIndex, int exitCode);
    void onAudioTCReadReq(AudioTCOptions audioTCOptions);
    void exportFiles(ExportOptions exportOptions);
    void deleteSelectedRows();
    // Ends of the jobs whose answers carry row numbers (the window passes on
    // the controller's readingFinished and exportReady).
    void importReady();
    void readingFinished();
    void exportFinished();
    // One file's export outcome, kept with its row.
    void onExportFileResult(ExportResult result);

private slots:
    void onCellClicked(int row);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool dropMimeData(int row, int column, const QMimeData *data, Qt::DropAction action) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void removePlaceholder();
    void setCell(int row, int column, const QString &text, Qt::Alignment alignment = Qt::Alignment());
    void resizeColumnLater(int column, int row);
    void resizeVisibleColumnsLater();
    void resizePendingColumns();
    bool rowIsVisible(int row) const;
    void indexWavRow(int row);
    void rebuildWavIndex();
    void showFileTC(const QString &fileTC, int row);
    void showDuration(double seconds, int row);
    void showAudioTCError(int errorNumber, int row);
    void showLinkedAudioTC(int sourceRow, int row);
    void relinkSiblings(int row);
    void showAudioTCNotFound(int row);
    int findLinkSource(int row) const;
    bool areSiblingWavs(int a, int b) const;
    // WAV rows written close enough in time to `row`'s to be its siblings, in ascending row order.
    QVector<int> wavRowsNear(int row) const;
    QVector<int> selectedRecordRows() const;

    QVector<FileData> fileVector;
    QTableWidgetItem *placeholderItem = nullptr;

    // WAV rows by modification time, each list in ascending row order:
    // siblings are found without a walk over the whole table.
    QMap<qint64, QVector<int>> wavRowsByModified;

    // Columns to fit to their visible texts once the current burst of updates is handled.
    QVector<int> columnsToResize;
    bool resizeScheduled = false;

    // Requests in flight that carry row numbers.
    int probesPending = 0;
    bool audioReadRunning = false;
    bool exportRunning = false;

    const QString initFileTCText;
    const QString initAudioTCText;
    const QString initDurationText;
};
