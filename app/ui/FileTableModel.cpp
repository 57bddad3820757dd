#include "FileTableModel.h"

#include "TimeText.h"

#include "MainControl.h"
#include "ResultCode.h"

#include <QRegularExpression>
#include <QtMath>
#include <algorithm>

namespace {

const QString linkedMark = QStringLiteral("@(linked)");

} // namespace

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
    const QStringList titles{tr("File name"), tr("Duration"), tr("File TC"), tr("Audio TC")};
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
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case NameColumn: return record.fileName;
        case DurationColumn: return TimeText::duration(record.duration);
        case FileTCColumn: return fileTCText(index.row());
        case AudioTCColumn: return audioTCCellText(record);
        default: return QVariant();
        }
    case Qt::TextAlignmentRole:
        // The File TC cell is centred from its first answer on.
        if (column == DurationColumn || (column == FileTCColumn && probedIds.contains(record.fileNumber)))
            return int(Qt::AlignCenter);
        return QVariant();
    case SortRole: return sortValue(record, column);
    case IdRole: return record.fileNumber;
    default: return QVariant();
    }
}

QString FileTableModel::fileTCText(int row) const
{
    const FileData &record = fileVector.at(row);
    if (!probedIds.contains(record.fileNumber))
        return tr("init file TC");
    return record.hasFileTC ? record.fileTC : tr("file TC not found");
}

QString FileTableModel::audioTCCellText(const FileData &record) const
{
    if (record.audioTCError != 0)
        return audioTCErrorText(record.audioTCError);
    if (!record.hasAudioTC)
        return tr("init audio TC");
    if (record.audioTCLinked)
        return record.audioTC + linkedMark;
    return audioTCText(record.audioTCReading);
}

// Rows without a value (no timecode) sort after all others.
QVariant FileTableModel::sortValue(const FileData &record, int column) const
{
    switch (column) {
    case NameColumn: return record.fileName;
    case DurationColumn: return record.duration;
    case FileTCColumn: return record.hasFileTC ? dayPosition(record.fileTC, 0.0) : QVariant();
    case AudioTCColumn:
        return record.hasAudioTC ? dayPosition(record.audioTC, record.audioTCReading.frameRate()) : QVariant();
    default: return QVariant();
    }
}

QVariant FileTableModel::dayPosition(const QString &timecode, double fps)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d+)[:;.,](\\d{2})[:;.,](\\d{2})([:;.,])(\\d{2,3})$"));
    const QRegularExpressionMatch match = pattern.match(timecode.trimmed());
    if (!match.hasMatch())
        return QVariant();
    const double seconds = match.captured(1).toDouble() * 3600.0 + match.captured(2).toDouble() * 60.0
                           + match.captured(3).toDouble();
    const double part = match.captured(5).toDouble();
    // Milliseconds of a time reference; frames otherwise, below one second whatever the rate.
    if (match.captured(4) == QLatin1String(".") && match.captured(5).size() == 3)
        return seconds + part / 1000.0;
    return seconds + part / (fps > 0.0 ? qMax(fps, part + 1.0) : 100.0);
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

void FileTableModel::addItemToTable(QFileInfo fileInfo)
{
    FileData record = FileData::fromFileInfo(fileInfo);
    record.fileNumber = nextId++;
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
    for (const int row : qAsConst(rows)) {
        const int id = fileVector.at(row).fileNumber;
        beginRemoveRows(QModelIndex(), row, row);
        fileVector.remove(row);
        probedIds.remove(id);
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

QString FileTableModel::audioTCErrorText(int errorNumber)
{
    return ResultCode::text(errorNumber);
}

QString FileTableModel::audioTCText(const AudioTCReading &reading)
{
    QString text = reading.timecode;
    text += QLatin1Char('@');
    text += QString::number(reading.frameRate(), 'f', 2);
    if (reading.signalRate > 0.0)
        text += QStringLiteral(" (signal %1)").arg(reading.signalRate, 0, 'f', 2);
    if (reading.isDropFrame())
        text += QStringLiteral(" DF ");
    text += QStringLiteral(" on ch. ");
    text += QString::number(qMax(reading.channel, 0) + 1);
    if (reading.foundAt >= 0.0)
        text += QStringLiteral(" (found at %1)").arg(TimeText::duration(reading.foundAt));
    return text;
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

void FileTableModel::onExportFileResult(ExportResult result)
{
    const int row = rowOfId(result.fileNumber);
    if (row >= 0)
        fileVector[row].lastExport = result;
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
    if (request.isEmpty())
        emit statusMessage(tr("no files to export"));
    else
        exportRunning = true;
    emit exportFilesReq(request, options);
}
