#include "FileCells.h"

#include "ClipRate.h"
#include "FileTableModel.h"
#include "TimeText.h"

#include <QBrush>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

using Column = FileTableModel::Column;

QString fileTCText(const FileData &record, bool probed)
{
    if (!probed)
        return FileCells::tr("init file TC");
    return record.hasFileTC ? record.fileTC : FileCells::tr("file TC not found");
}

QString audioTCCellText(const FileData &record, const QString &rateMismatch)
{
    if (record.audioTCError != 0)
        return ResultCode::text(record.audioTCError);
    if (!record.hasAudioTC)
        return FileCells::tr("init audio TC");
    if (record.audioTCLinked)
        return record.audioTC + FileCells::linkedMark();
    const QString text = FileCells::audioTCText(record.audioTCReading);
    return rateMismatch.isEmpty() ? text : text + QStringLiteral(" (") + rateMismatch + QLatin1Char(')');
}

QVariant toolTip(const FileData &record, const FileCells::RowState &state, int column)
{
    switch (column) {
    case Column::NameColumn:
    case Column::FolderColumn: return QDir::toNativeSeparators(record.filePath);
    case Column::AudioTCColumn: return state.rateMismatch.isEmpty() ? QVariant() : state.rateMismatch;
    case Column::ExportColumn: return FileCells::exportReasonText(record.lastExport);
    default: return QVariant();
    }
}

// Names as a person sorts them: a run of digits counts as its number, so
// C2 comes before C10. Each run is padded to a fixed width; the leading zeros
// go first, so C02 and C2 sit together.
QString naturalKey(const QString &text)
{
    constexpr int width = 20;
    QString key;
    key.reserve(text.size() + width);
    for (int i = 0; i < text.size();) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9')) {
            key += text.at(i++);
            continue;
        }
        int end = i;
        while (end < text.size() && text.at(end) >= QLatin1Char('0') && text.at(end) <= QLatin1Char('9'))
            ++end;
        while (i < end - 1 && text.at(i) == QLatin1Char('0'))
            ++i;
        key += QString(qMax(0, width - (end - i)), QLatin1Char('0'));
        key += text.mid(i, end - i);
        i = end;
    }
    return key;
}

} // namespace

QVariant FileCells::data(const FileData &record, const RowState &state, int column, int role)
{
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case Column::NameColumn: return record.fileName;
        case Column::DurationColumn: return TimeText::duration(record.duration);
        case Column::FileTCColumn: return fileTCText(record, state.probed);
        case Column::AudioTCColumn: return audioTCCellText(record, state.rateMismatch);
        case Column::TCOffsetColumn: return timecodeOffsetText(record);
        case Column::ExportColumn: return exportOutcomeText(record.lastExport);
        case Column::FolderColumn: return folderText(record);
        default: return QVariant();
        }
    case Qt::TextAlignmentRole:
        // The File TC cell is centred from its first answer on.
        if (column == Column::DurationColumn || column == Column::TCOffsetColumn
            || (column == Column::FileTCColumn && state.probed))
            return int(Qt::AlignCenter);
        return QVariant();
    case Qt::ToolTipRole: return toolTip(record, state, column);
    case Qt::ForegroundRole:
        // What export will refuse stands out before anyone exports.
        if (column == Column::AudioTCColumn && record.audioTCError == 0 && !state.rateMismatch.isEmpty())
            return QBrush(Qt::darkRed);
        return QVariant();
    default: return QVariant();
    }
}

QVariant FileCells::sortValue(const FileData &record, int column)
{
    switch (column) {
    case Column::NameColumn: return naturalKey(record.fileName);
    case Column::DurationColumn: return record.duration;
    case Column::FileTCColumn: return record.hasFileTC ? dayPosition(record.fileTC, 0.0) : QVariant();
    case Column::AudioTCColumn:
        return record.hasAudioTC ? dayPosition(record.audioTC, record.audioTCReading.frameRate()) : QVariant();
    case Column::TCOffsetColumn: {
        const auto offset = timecodeOffsetFrames(record);
        return offset ? QVariant(*offset) : QVariant();
    }
    case Column::ExportColumn: return exportOutcomeText(record.lastExport);
    case Column::FolderColumn: return naturalKey(folderText(record));
    default: return QVariant();
    }
}

QString FileCells::audioTCText(const AudioTCReading &reading)
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

QVariant FileCells::dayPosition(const QString &timecode, double fps)
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

QString FileCells::timecodeOffsetText(const FileData &record)
{
    const auto offset = timecodeOffsetFrames(record);
    if (!offset)
        return QString();
    return *offset > 0 ? QStringLiteral("+%1").arg(*offset) : QString::number(*offset);
}

QString FileCells::folderText(const FileData &record)
{
    return QDir::toNativeSeparators(QFileInfo(record.filePath).absolutePath());
}

QString FileCells::exportOutcomeText(const ExportResult &result)
{
    switch (result.resultCode) {
    case ResultCode::NotExported: return QString();
    case ResultCode::Ok: return tr("done");
    case ResultCode::LeftOutOnlyTimecodeChannel: return tr("left out");
    case ResultCode::CopiedWithoutTimecode: return tr("copied without TC");
    case ResultCode::ExportCancelled: return tr("cancelled");
    // Refused before anything was written.
    case ResultCode::RateMismatch:
    case ResultCode::RateContradictsSignal:
    case ResultCode::NoVideoProfile: return tr("refused");
    default: return tr("failed");
    }
}

QString FileCells::exportReasonText(const ExportResult &result)
{
    if (result.resultCode == ResultCode::NotExported)
        return QString();
    if (result.done())
        return QDir::toNativeSeparators(result.outputPath);
    return result.reasonText();
}
