#pragma once

#include "AudioTCOptions.h"
#include "ExportOptions.h"
#include "ExportResult.h"
#include "FileData.h"
#include "WavSiblings.h"

#include <QAbstractTableModel>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QUrl>
#include <QVector>

class MainControl;

// The imported files, one record per row in the order they came in. Each
// record keeps a stable id in its fileNumber: requests to the controller carry
// it and its answers come back with it, so a row removed meanwhile simply
// drops its late answers. A linked record's audioTCLinkedRow holds its
// source's id. Turns the controller's results into cell texts and links the
// audio timecode of sibling WAV files. Needs no widget: the headless report
// reads through it too.
class FileTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // New columns go after the first four, which reports and scripts know by position.
    enum Column {
        NameColumn = 0,
        DurationColumn,
        FileTCColumn,
        AudioTCColumn,
        TCOffsetColumn,
        ExportColumn,
        FolderColumn,
        ColumnCount
    };
    // What a column sorts by: durations by value, timecodes by their position in the day.
    enum Role { SortRole = Qt::UserRole + 1, IdRole };

    explicit FileTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // In table order.
    const QVector<FileData> &records() const { return fileVector; }
    QVector<int> ids() const;
    int rowOfId(int id) const { return rowById.value(id, -1); }

    // Requests to the job controller and its answers back (queued when the
    // controller lives on another thread).
    static void connectToControl(FileTableModel *model, MainControl *control);

    // Same road as a drop: the controller expands folders and filters names.
    void importUrls(const QList<QUrl> &urls);
    // Reads, or exports, the files of these ids, in the given order.
    void requestRead(const AudioTCOptions &options, const QVector<int> &fileIds);
    void requestExport(const ExportOptions &options, const QVector<int> &fileIds);
    void removeIds(const QVector<int> &fileIds);
    bool isExportRunning() const { return exportRunning; }
    // Rows among these the running export has not reported on yet.
    bool exportStillNeeds(const QVector<int> &fileIds) const;
    // Files left out of imports since the last call because they were in the table already.
    int takeSkippedCount();
    int exportFileCount() const { return exportTotal; }

signals:
    void iterateThroughDirReq(QList<QUrl> urls);
    void ffprobeFileReq(FileData fileData, int fileId);
    void initAudioTCInfoReq(FileData fileData, int fileId);
    void updateAudioTCInfoReq(QVector<FileData> audioTCUpdateFileVector, AudioTCOptions audioTCOptions);
    void exportFilesReq(QVector<FileData> exportFileVector, ExportOptions exportOptions);
    // A request was refused or ended in nothing; the text says why (shown in the status line).
    void statusMessage(QString message);
    // A file of an import is in the table already and is not read again.
    void fileSkipped();

public slots:
    void addItemToTable(QFileInfo fileInfo);
    void onFFProbeResult(FileData fileData, int fileId, int exitCode);
    void onAudioTCReadReturn(QJsonObject ltcResultJson, int fileId, int audioTCStreamIndex, int exitCode);
    // One file's export outcome, kept with its record.
    void onExportFileResult(ExportResult result);
    void exportFinished();

private:
    void noteRateMismatch(int row);
    void rowChanged(int row);
    void rebuildIndexes();
    void showLinkedAudioTC(int sourceRow, int row);
    void relinkSiblings(int row);
    int findLinkSource(int row) const;

    QVector<FileData> fileVector;
    QHash<int, int> rowById;
    // Ids whose probe has answered: their File TC cell shows what it found.
    QSet<int> probedIds;
    int nextId = 0;

    WavSiblings siblings;

    // The same file is one row: its canonical path by id, and the set of them.
    QHash<int, QString> pathById;
    QSet<QString> paths;
    int skippedCount = 0;
    // Why an id's audio timecode cannot be written into a copy of its video.
    QHash<int, QString> rateMismatchById;

    bool exportRunning = false;
    int exportTotal = 0;
    QSet<int> exportPending;
};
