#include "FileTableModel.h"

#include "ExportRules.h"
#include "FileCells.h"
#include "MainControl.h"
#include "ResultCode.h"

#include <algorithm>

FileTableModel::FileTableModel(QObject *parent) : QAbstractTableModel(parent)
{
    fileVector.reserve(20);
}

int FileTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : fileVector.size();
}

int FileTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    const QStringList titles{tr("File name"), tr("Duration"), tr("File TC"), tr("Audio TC"),
                             tr("TC offset"), tr("Export"),   tr("Folder")};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < titles.size())
        return titles.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags FileTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant FileTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= fileVector.size())
        return QVariant();
    const FileData &record = fileVector.at(index.row());
    if (role == IdRole)
        return record.fileNumber;
    if (role == SortRole)
        return FileCells::sortValue(record, index.column());
    FileCells::RowState state;
    state.probed = probedIds.contains(record.fileNumber);
    state.rateMismatch = rateMismatchById.value(record.fileNumber);
    return FileCells::data(record, state, index.column(), role);
}

QVector<int> FileTableModel::ids() const
{
    QVector<int> all;
    all.reserve(fileVector.size());
    for (const FileData &record : fileVector)
        all.append(record.fileNumber);
    return all;
}

void FileTableModel::connectToControl(FileTableModel *model, MainControl *control)
{
    connect(model, &FileTableModel::ffprobeFileReq, control, &MainControl::onFFProbeFile);
    connect(model, &FileTableModel::iterateThroughDirReq, control, &MainControl::onIterateThroughDir);
    connect(model, &FileTableModel::initAudioTCInfoReq, control, &MainControl::onInitAudioTCInfo);
    connect(model, &FileTableModel::updateAudioTCInfoReq, control, &MainControl::onUpdateAudioTCInfo);
    connect(model, &FileTableModel::exportFilesReq, control, &MainControl::onExportReq);
    connect(control, &MainControl::ffprobeResult, model, &FileTableModel::onFFProbeResult);
    connect(control, &MainControl::gotFileFromDir, model, &FileTableModel::addItemToTable);
    connect(control, &MainControl::audioTCReadResult, model, &FileTableModel::onAudioTCReadReturn);
    connect(control, &MainControl::exportFileResult, model, &FileTableModel::onExportFileResult);
    connect(model, &FileTableModel::fileSkipped, control, &MainControl::onFileSkipped);
}

void FileTableModel::importUrls(const QList<QUrl> &urls)
{
    if (!urls.isEmpty())
        emit iterateThroughDirReq(urls);
}

// ---- rows ----------------------------------------------------------------

void FileTableModel::rowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void FileTableModel::rebuildIndexes()
{
    rowById.clear();
    siblings.clear();
    for (int row = 0; row < fileVector.size(); ++row) {
        rowById.insert(fileVector.at(row).fileNumber, row);
        siblings.add(row, fileVector.at(row));
    }
}

int FileTableModel::takeSkippedCount()
{
    const int count = skippedCount;
    skippedCount = 0;
    return count;
}

void FileTableModel::addItemToTable(QFileInfo fileInfo)
{
    // The same file reached by another road (a link, a second drop) is one row.
    QString path = fileInfo.canonicalFilePath();
    if (path.isEmpty())
        path = fileInfo.absoluteFilePath();
    if (paths.contains(path)) {
        ++skippedCount;
        emit fileSkipped();
        return;
    }
    FileData record = FileData::fromFileInfo(fileInfo);
    record.fileNumber = nextId++;
    paths.insert(path);
    pathById.insert(record.fileNumber, path);
    const int row = fileVector.size();
    beginInsertRows(QModelIndex(), row, row);
    fileVector.append(record);
    rowById.insert(record.fileNumber, row);
    siblings.add(row, record);
    endInsertRows();
    emit ffprobeFileReq(record, record.fileNumber);
}

void FileTableModel::removeIds(const QVector<int> &fileIds)
{
    QVector<int> rows;
    for (const int id : fileIds) {
        const int row = rowOfId(id);
        if (row >= 0)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // Clearing a day's table row by row would redo the links of every other row.
    if (!rows.isEmpty() && rows.size() == fileVector.size()) {
        beginResetModel();
        fileVector.clear();
        probedIds.clear();
        pathById.clear();
        paths.clear();
        rateMismatchById.clear();
        rebuildIndexes();
        endResetModel();
        return;
    }
    for (const int row : qAsConst(rows)) {
        const int id = fileVector.at(row).fileNumber;
        beginRemoveRows(QModelIndex(), row, row);
        fileVector.remove(row);
        probedIds.remove(id);
        paths.remove(pathById.take(id));
        rateMismatchById.remove(id);
        endRemoveRows();
        // Siblings keep the timecode they took over; only the name of its source is gone.
        for (FileData &record : fileVector) {
            if (record.audioTCLinked && record.audioTCLinkedRow == id)
                record.audioTCLinkedRow = -1;
        }
    }
    rebuildIndexes();
}

// ---- answers from the controller -----------------------------------------

void FileTableModel::onFFProbeResult(FileData fileData, int fileId, int exitCode)
{
    const int row = rowOfId(fileId);
    if (row < 0)
        return;
    FileData &record = fileVector[row];
    probedIds.insert(fileId);
    if (!fileData.fileTC.isEmpty())
        record.setFileTC(fileData.fileTC);
    // The sample position a WAV's File TC text shows.
    if (fileData.timeReference != 0)
        record.timeReference = fileData.timeReference;
    if (exitCode != 0) {
        record.audioTCError = exitCode;
        rowChanged(row);
        return;
    }
    record.duration = fileData.duration;
    record.takeProbeMembers(fileData);
    rowChanged(row);
    emit initAudioTCInfoReq(record, fileId);
}

// Only a row that read its own timecode is a source (no chains): the first
// one in table order, so the outcome does not depend on which read ends first.
int FileTableModel::findLinkSource(int row) const
{
    const FileData &record = fileVector.at(row);
    for (const int i : siblings.near(record)) {
        if (i != row && fileVector.at(i).hasOwnAudioTC() && WavSiblings::areSiblings(fileVector.at(i), record))
            return i;
    }
    return -1;
}

void FileTableModel::showLinkedAudioTC(int sourceRow, int row)
{
    const FileData &source = fileVector.at(sourceRow);
    // Taken over as it is, a rate the signal contradicts included.
    fileVector[row].setLinkedAudioTC(source.fileNumber, source.audioTC, source.audioTCReading);
    fileVector[row].audioTCError = 0;
    rowChanged(row);
}

// Multi-file recordings: one WAV carries the timecode, its siblings written at
// the same moment with the same length carry none. After `row`'s own timecode
// came or went, its siblings without one of their own take theirs from their
// source again; a row's own timecode is never touched.
void FileTableModel::relinkSiblings(int row)
{
    const FileData changed = fileVector.at(row);
    if (!WavSiblings::isWav(changed))
        return;
    for (const int i : siblings.near(changed)) {
        if (i == row || fileVector.at(i).hasOwnAudioTC() || !WavSiblings::areSiblings(fileVector.at(i), changed))
            continue;
        const int source = findLinkSource(i);
        FileData &record = fileVector[i];
        if (source >= 0) {
            const FileData &from = fileVector.at(source);
            if (!record.audioTCLinked || record.audioTCLinkedRow != from.fileNumber || record.audioTC != from.audioTC)
                showLinkedAudioTC(source, i);
        } else if (record.audioTCLinked) {
            record.clearAudioTC();
            record.audioTCError = ResultCode::LtcNotFound;
            rowChanged(i);
        }
    }
}

void FileTableModel::onAudioTCReadReturn(QJsonObject ltcResultJson, int fileId, int audioTCStreamIndex, int exitCode)
{
    const int row = rowOfId(fileId);
    if (row < 0)
        return;
    FileData &record = fileVector[row];
    // A timecode the file read itself is only replaced by a read the user
    // asked for; a linked one gives way to the file's own.
    const bool hadOwn = record.hasOwnAudioTC();
    if (hadOwn && !record.audioTCReadRequested)
        return;

    if (exitCode == 0) {
        const AudioTCReading reading = AudioTCReading::fromReport(ltcResultJson);
        record.audioTCReading = reading;
        record.setAudioTC(reading.timecode, qMakePair(audioTCStreamIndex, qMax(reading.channel, 0)));
        record.audioTCReadRequested = false;
        record.audioTCError = 0;
        // The file's own timecode now; it is no longer one taken from a sibling.
        record.audioTCLinked = false;
        record.audioTCLinkedRow = -1;
        noteRateMismatch(row);
        rowChanged(row);
        relinkSiblings(row);
        return;
    }

    // A linked row keeps its link whatever its own read says.
    if (record.audioTCLinked)
        return;
    // A requested read that found nothing: the cell and the record say the same.
    if (hadOwn)
        record.clearAudioTC();
    rateMismatchById.remove(fileId);

    const int source = exitCode == ResultCode::LtcNotFound && WavSiblings::isWav(record) ? findLinkSource(row) : -1;
    if (source >= 0) {
        showLinkedAudioTC(source, row);
    } else {
        record.audioTCError = exitCode;
        rowChanged(row);
    }
    if (hadOwn)
        relinkSiblings(row);
}

// Said at the read, with the reason the export would give.
void FileTableModel::noteRateMismatch(int row)
{
    const FileData &record = fileVector.at(row);
    const QString mismatch = ExportRules::timecodeRateMismatch(record);
    if (mismatch.isEmpty())
        rateMismatchById.remove(record.fileNumber);
    else
        rateMismatchById.insert(record.fileNumber, mismatch);
}

void FileTableModel::onExportFileResult(ExportResult result)
{
    exportPending.remove(result.fileNumber);
    const int row = rowOfId(result.fileNumber);
    if (row < 0)
        return;
    fileVector[row].lastExport = result;
    rowChanged(row);
}

void FileTableModel::exportFinished()
{
    exportRunning = false;
    exportPending.clear();
}

bool FileTableModel::exportStillNeeds(const QVector<int> &fileIds) const
{
    for (const int id : fileIds) {
        if (exportPending.contains(id))
            return true;
    }
    return false;
}

// ---- requests from the dialogs -------------------------------------------

void FileTableModel::requestRead(const AudioTCOptions &options, const QVector<int> &fileIds)
{
    QVector<FileData> request;
    request.reserve(fileIds.size());
    for (const int id : fileIds) {
        const int row = rowOfId(id);
        if (row < 0)
            continue;
        fileVector[row].audioTCReadRequested = true;
        request.append(fileVector.at(row));
    }
    emit updateAudioTCInfoReq(request, options);
}

void FileTableModel::requestExport(const ExportOptions &options, const QVector<int> &fileIds)
{
    // One export at a time: a second job would mix its results with the first.
    if (exportRunning) {
        emit statusMessage(tr("an export is already running"));
        return;
    }
    // Every chosen row goes: one that cannot be exported (muting the only
    // channel of a mono WAV leaves nothing) comes back with its reason.
    QVector<FileData> request;
    request.reserve(fileIds.size());
    for (const int id : fileIds) {
        const int row = rowOfId(id);
        if (row >= 0)
            request.append(fileVector.at(row));
    }
    if (request.isEmpty()) {
        emit statusMessage(tr("no files to export"));
    } else {
        exportRunning = true;
        exportTotal = request.size();
        exportPending.clear();
        for (const FileData &record : qAsConst(request))
            exportPending.insert(record.fileNumber);
    }
    emit exportFilesReq(request, options);
}
