#include "FileList.h"

#include "ResultCode.h"
#include "TimeText.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QResizeEvent>
#include <QScrollBar>
#include <QtMath>
#include <algorithm>
#include <limits>

namespace {

const QString wavSuffix = QStringLiteral("wav");
const QString linkedMark = QStringLiteral("@(linked)");

bool isWav(const FileData &record)
{
    return record.suffix.compare(wavSuffix, Qt::CaseInsensitive) == 0;
}

qint64 modifiedKey(const FileData &record)
{
    return record.lastModified.isValid() ? record.lastModified.toMSecsSinceEpoch()
                                         : std::numeric_limits<qint64>::min();
}

// A recorder writes the files of one take one after another, tens of
// milliseconds apart, and card file systems keep times to 10 ms (exFAT) or
// 2 s (FAT).
constexpr qint64 siblingTimeToleranceMs = 2000;
constexpr double siblingLengthTolerance = 0.05;

} // namespace

FileList::FileList(QWidget *parent)
    : QTableWidget(parent),
      initFileTCText(tr("init file TC")),
      initAudioTCText(tr("init audio TC")),
      initDurationText(QStringLiteral("00:00:00"))
{
    fileVector.reserve(20);

    setColumnCount(4);
    setHorizontalHeaderLabels({tr("File name"), tr("Duration"), tr("File TC"), tr("Audio TC")});
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    setColumnWidth(AudioTCColumn, 300);
    // Fitting a column measures the rows in view only, so its cost does not
    // grow with the table; scrolling fits the columns to what comes into view.
    horizontalHeader()->setResizeContentsPrecision(0);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &FileList::resizeVisibleColumnsLater);
    horizontalHeader()->setStyleSheet(
        tr("QHeaderView::section{background-color: lightgrey;border:none;font:normal;}"
           "QHeaderView::section:checked{font: normal;}"));
    setStyleSheet(QStringLiteral("QTableView{selection-background-color: #f2ff4900;selection-color: white; "
                                 "show-decoration-selected: 10}\n"));

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);

    setAcceptDrops(true);
    setDragEnabled(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DropOnly);

    insertRow(0);
    placeholderItem = new QTableWidgetItem(tr("Drop files here..."));
    placeholderItem->setFlags(Qt::ItemIsEnabled);
    setItem(0, NameColumn, placeholderItem);

    connect(this, SIGNAL(cellClicked(int,int)), this, SLOT(onCellClicked(int)));
}

// ---- drag and drop -------------------------------------------------------

void FileList::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        QTableWidget::dragEnterEvent(event);
}

void FileList::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        QTableWidget::dragMoveEvent(event);
}

void FileList::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls()) {
        QTableWidget::dropEvent(event);
        return;
    }
    importUrls(event->mimeData()->urls());
    event->acceptProposedAction();
}

// Items dragged from another item view would become cells without a record.
bool FileList::dropMimeData(int, int, const QMimeData *, Qt::DropAction)
{
    return false;
}

void FileList::connectToControl(FileList *table, QObject *control)
{
    connect(table, SIGNAL(ffprobeFileReq(FileData,int)), control, SLOT(onFFProbeFile(FileData,int)));
    connect(table, SIGNAL(iterateThroughDirReq(QList<QUrl>)), control, SLOT(onIterateThroughDir(QList<QUrl>)));
    connect(table, SIGNAL(initAudioTCInfoReq(FileData,int)), control, SLOT(onInitAudioTCInfo(FileData,int)));
    connect(table, SIGNAL(updateAudioTCInfoReq(QVector<FileData>,AudioTCOptions)),
            control, SLOT(onUpdateAudioTCInfo(QVector<FileData>,AudioTCOptions)));
    connect(table, SIGNAL(exportFilesReq(QVector<FileData>,ExportOptions)),
            control, SLOT(onExportReq(QVector<FileData>,ExportOptions)));
    connect(control, SIGNAL(ffprobeResult(FileData,int,int)), table, SLOT(onFFProbeResult(FileData,int,int)));
    connect(control, SIGNAL(gotFileFromDir(QFileInfo)), table, SLOT(addItemToTable(QFileInfo)));
    connect(control, SIGNAL(audioTCReadResult(QJsonObject,int,int,int)),
            table, SLOT(onAudioTCReadReturn(QJsonObject,int,int,int)));
    connect(control, SIGNAL(importReady()), table, SLOT(importReady()));
    connect(control, SIGNAL(exportFileResult(ExportResult)), table, SLOT(onExportFileResult(ExportResult)));
}

void FileList::importUrls(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    removePlaceholder();
    emit iterateThroughDirReq(urls);
}

void FileList::removePlaceholder()
{
    if (!placeholderItem)
        return;
    delete placeholderItem;
    placeholderItem = nullptr;
    removeRow(0);
}

void FileList::resizeEvent(QResizeEvent *event)
{
    QTableWidget::resizeEvent(event);
    resizeVisibleColumnsLater();
}

// ---- rows ----------------------------------------------------------------

bool FileList::rowIsVisible(int row) const
{
    const int first = rowAt(0);
    if (first < 0)
        return true;
    const int last = rowAt(viewport()->height() - 1);
    return row >= first && (last < 0 || row <= last);
}

// A text that changed out of view changes nothing a fit would measure. One fit
// per column serves every update of the current turn of the event loop.
void FileList::resizeColumnLater(int column, int row)
{
    if (!rowIsVisible(row))
        return;
    if (!columnsToResize.contains(column))
        columnsToResize.append(column);
    if (resizeScheduled)
        return;
    resizeScheduled = true;
    QMetaObject::invokeMethod(this, &FileList::resizePendingColumns, Qt::QueuedConnection);
}

void FileList::resizeVisibleColumnsLater()
{
    const int first = qMax(0, rowAt(0));
    resizeColumnLater(FileTCColumn, first);
    resizeColumnLater(AudioTCColumn, first);
}

void FileList::resizePendingColumns()
{
    resizeScheduled = false;
    const QVector<int> columns = columnsToResize;
    columnsToResize.clear();
    for (const int column : columns)
        resizeColumnToContents(column);
}

void FileList::indexWavRow(int row)
{
    const FileData &record = fileVector.at(row);
    if (isWav(record))
        wavRowsByModified[modifiedKey(record)].append(row);
}

void FileList::rebuildWavIndex()
{
    wavRowsByModified.clear();
    for (int row = 0; row < fileVector.size(); ++row)
        indexWavRow(row);
}

void FileList::setCell(int row, int column, const QString &text, Qt::Alignment alignment)
{
    QTableWidgetItem *cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, column, cell);
    }
    cell->setText(text);
    if (alignment)
        cell->setTextAlignment(int(alignment));
}

void FileList::addItemToTable(QFileInfo fileInfo)
{
    removePlaceholder();

    FileData record = FileData::fromFileInfo(fileInfo);

    const int row = rowCount();
    insertRow(row);
    setCell(row, NameColumn, record.fileName);
    setCell(row, DurationColumn, initDurationText, Qt::AlignCenter);
    setCell(row, FileTCColumn, initFileTCText);
    setCell(row, AudioTCColumn, initAudioTCText);
    fileVector.append(record);
    indexWavRow(row);

    record.fileNumber = row;
    ++probesPending;
    emit ffprobeFileReq(record, row);
}

QVector<int> FileList::selectedRecordRows() const
{
    QVector<int> rows;
    const QModelIndexList selected = selectionModel()->selectedRows();
    for (const QModelIndex &index : selected) {
        if (index.row() < fileVector.size())
            rows.append(index.row());
    }
    return rows;
}

QString FileList::deletionRefusal() const
{
    if (exportRunning)
        return tr("files cannot be removed while an export is running");
    if (probesPending > 0 || audioReadRunning)
        return tr("files cannot be removed while files are being read");
    return QString();
}

void FileList::deleteSelectedRows()
{
    const QString refusal = deletionRefusal();
    if (!refusal.isEmpty()) {
        emit statusMessage(refusal);
        return;
    }
    // The placeholder is not a file; removing its row would leave the pointer dangling.
    if (placeholderItem)
        return;

    QVector<int> rows;
    const QModelIndexList selected = selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    for (int row : qAsConst(rows)) {
        removeRow(row);
        if (row >= fileVector.size())
            continue;
        fileVector.remove(row);
        for (FileData &record : fileVector) {
            if (!record.audioTCLinked)
                continue;
            if (record.audioTCLinkedRow == row)
                record.audioTCLinkedRow = -1;
            else if (record.audioTCLinkedRow > row)
                --record.audioTCLinkedRow;
        }
    }
    rebuildWavIndex();
}

void FileList::onCellClicked(int row)
{
    if (placeholderItem || row < 0 || row >= fileVector.size())
        return;
    emit updateFileInfo(fileVector.at(row));
}

// ---- probe results -------------------------------------------------------

void FileList::showFileTC(const QString &fileTC, int row)
{
    if (row < 0 || row >= fileVector.size())
        return;
    QString text = fileTC;
    if (fileTC.isEmpty())
        text = tr("file TC not found");
    else
        fileVector[row].setFileTC(fileTC);
    setCell(row, FileTCColumn, text, Qt::AlignCenter);
    resizeColumnLater(FileTCColumn, row);
}

void FileList::showDuration(double seconds, int row)
{
    if (row < 0 || row >= fileVector.size())
        return;
    fileVector[row].duration = seconds;
    setCell(row, DurationColumn, TimeText::duration(seconds), Qt::AlignCenter);
}

void FileList::onFFProbeResult(FileData fileData, int fileNumber, int exitCode)
{
    if (probesPending > 0)
        --probesPending;
    const int row = fileNumber;
    if (row < 0 || row >= fileVector.size())
        return;

    showFileTC(fileData.fileTC, row);
    if (exitCode != 0) {
        showAudioTCError(exitCode, row);
        return;
    }

    showDuration(fileData.duration, row);
    FileData &record = fileVector[row];
    record.takeProbeMembers(fileData);

    FileData request = record;
    request.fileNumber = row;
    audioReadRunning = true;
    emit initAudioTCInfoReq(request, row);
}

// ---- audio timecode results ----------------------------------------------

QString FileList::audioTCErrorText(int errorNumber)
{
    return ResultCode::text(errorNumber);
}

QString FileList::audioTCText(const AudioTCReading &reading)
{
    // The decoder reports an NTSC rate already divided (29.97), so the division
    // is applied to the whole-number base; a report giving the base (30) reads the same.
    const double rate = reading.ntsc ? qRound(reading.frameRateFound) * 1000.0 / 1001.0 : reading.frameRateFound;

    QString text = reading.timecode;
    text += QLatin1Char('@');
    text += QString::number(rate, 'f', 2);
    if (reading.signalRate > 0.0)
        text += QStringLiteral(" (signal %1)").arg(reading.signalRate, 0, 'f', 2);
    if (reading.isDropFrame())
        text += QStringLiteral(" DF ");
    text += QStringLiteral(" on ch. ");
    text += QString::number(std::max(reading.channel, 0) + 1);
    if (reading.foundAt >= 0.0)
        text += QStringLiteral(" (found at %1)").arg(TimeText::duration(reading.foundAt));
    return text;
}

void FileList::showAudioTCError(int errorNumber, int row)
{
    if (row >= 0 && row < fileVector.size())
        fileVector[row].audioTCError = errorNumber;
    setCell(row, AudioTCColumn, audioTCErrorText(errorNumber));
    resizeColumnLater(AudioTCColumn, row);
}

bool FileList::areSiblingWavs(int a, int b) const
{
    const FileData &first = fileVector.at(a);
    const FileData &second = fileVector.at(b);
    return isWav(first) && isWav(second) && first.lastModified.isValid() && second.lastModified.isValid()
           && qAbs(first.lastModified.msecsTo(second.lastModified)) <= siblingTimeToleranceMs
           && qAbs(first.duration - second.duration) < siblingLengthTolerance;
}

QVector<int> FileList::wavRowsNear(int row) const
{
    const qint64 key = modifiedKey(fileVector.at(row));
    QVector<int> rows;
    if (key == std::numeric_limits<qint64>::min())
        return rows;
    const auto end = wavRowsByModified.upperBound(key + siblingTimeToleranceMs);
    for (auto it = wavRowsByModified.lowerBound(key - siblingTimeToleranceMs); it != end; ++it)
        rows += it.value();
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Only a row that read its own timecode is a source (no chains): the first
// one in row order, so the outcome does not depend on which read ends first.
int FileList::findLinkSource(int row) const
{
    for (const int i : wavRowsNear(row)) {
        if (i != row && fileVector.at(i).hasOwnAudioTC() && areSiblingWavs(i, row))
            return i;
    }
    return -1;
}

void FileList::showLinkedAudioTC(int sourceRow, int row)
{
    const FileData &source = fileVector.at(sourceRow);
    // Taken over as it is, a rate the signal contradicts included.
    fileVector[row].setLinkedAudioTC(sourceRow, source.audioTC, source.audioTCReading);
    fileVector[row].audioTCError = 0;
    setCell(row, AudioTCColumn, source.audioTC + linkedMark);
}

void FileList::showAudioTCNotFound(int row)
{
    showAudioTCError(ResultCode::LtcNotFound, row);
}

// Multi-file recordings: one WAV carries the timecode, its siblings written at
// the same moment with the same length carry none. After `row`'s own timecode
// came or went, its siblings without one of their own take theirs from their
// source again; a row's own timecode is never touched.
void FileList::relinkSiblings(int row)
{
    if (!isWav(fileVector.at(row)))
        return;
    for (const int i : wavRowsNear(row)) {
        if (i == row || fileVector.at(i).hasOwnAudioTC() || !areSiblingWavs(i, row))
            continue;
        const int source = findLinkSource(i);
        const FileData &record = fileVector.at(i);
        if (source >= 0) {
            if (!record.audioTCLinked || record.audioTCLinkedRow != source
                || record.audioTC != fileVector.at(source).audioTC)
                showLinkedAudioTC(source, i);
        } else if (record.audioTCLinked) {
            fileVector[i].clearAudioTC();
            showAudioTCNotFound(i);
        }
    }
}

void FileList::onAudioTCReadReturn(QJsonObject ltcResultJson, int fileNumber, int audioTCStreamIndex, int exitCode)
{
    const int row = fileNumber;
    if (row < 0 || row >= fileVector.size())
        return;
    FileData &record = fileVector[row];
    // A timecode the file read itself is only replaced by a read the user
    // asked for; a linked one gives way to the file's own.
    const bool hadOwn = record.hasOwnAudioTC();
    if (hadOwn && !record.audioTCReadRequested)
        return;

    if (exitCode == 0) {
        const AudioTCReading reading = AudioTCReading::fromReport(ltcResultJson);
        record.setAudioTC(reading.timecode, qMakePair(audioTCStreamIndex, std::max(reading.channel, 0)));
        record.audioTCReading = reading;
        record.audioTCReadRequested = false;
        record.audioTCError = 0;
        // The file's own timecode now; it is no longer one taken from a sibling.
        record.audioTCLinked = false;
        record.audioTCLinkedRow = -1;
        setCell(row, AudioTCColumn, audioTCText(reading));
        resizeColumnLater(AudioTCColumn, row);
        relinkSiblings(row);
        return;
    }

    // A linked row keeps its link whatever its own read says.
    if (record.audioTCLinked)
        return;
    // A requested read that found nothing: the cell and the record say the same.
    if (hadOwn)
        record.clearAudioTC();

    if (exitCode == ResultCode::LtcNotFound) {
        const int source = isWav(record) ? findLinkSource(row) : -1;
        if (source >= 0)
            showLinkedAudioTC(source, row);
        else
            showAudioTCNotFound(row);
    } else {
        showAudioTCError(exitCode, row);
    }
    if (hadOwn)
        relinkSiblings(row);
}

void FileList::importReady()
{
    audioReadRunning = false;
}

void FileList::readingFinished()
{
    audioReadRunning = false;
}

void FileList::exportFinished()
{
    exportRunning = false;
}

void FileList::onExportFileResult(ExportResult result)
{
    const int row = result.fileNumber;
    if (row < 0 || row >= fileVector.size())
        return;
    fileVector[row].lastExport = result;
}

// ---- requests from the dialogs -------------------------------------------

void FileList::onAudioTCReadReq(AudioTCOptions audioTCOptions)
{
    QVector<int> rows;
    if (audioTCOptions.allFiles) {
        for (int i = 0; i < fileVector.size(); ++i)
            rows.append(i);
    } else {
        rows = selectedRecordRows();
    }

    QVector<FileData> request;
    request.reserve(rowCount());
    for (int row : qAsConst(rows)) {
        FileData &record = fileVector[row];
        record.fileNumber = row;
        record.audioTCReadRequested = true;
        request.append(record);
    }
    if (!request.isEmpty())
        audioReadRunning = true;
    emit updateAudioTCInfoReq(request, audioTCOptions);
}

void FileList::exportFiles(ExportOptions exportOptions)
{
    // One export at a time: a second job would mix its results with the first.
    if (exportRunning) {
        emit statusMessage(tr("an export is already running"));
        return;
    }

    QVector<int> rows;
    if (exportOptions.exportAll) {
        for (int i = 0; i < fileVector.size(); ++i)
            rows.append(i);
    } else {
        rows = selectedRecordRows();
    }

    QVector<FileData> request;
    request.reserve(rows.size());
    for (int row : qAsConst(rows)) {
        // Every chosen row goes: one that cannot be exported (muting the only
        // channel of a mono WAV leaves nothing) comes back with its reason.
        FileData record = fileVector.at(row);
        record.fileNumber = row;
        request.append(record);
    }

    if (request.isEmpty())
        emit statusMessage(tr("no files to export"));
    else
        exportRunning = true;
    emit exportFilesReq(request, exportOptions);
}
