#include "ReportWriter.h"

#include "ClipRate.h"
#include "ResultCode.h"
#include "TimeText.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace {

const QString csvSuffix = QStringLiteral("csv");
const QString aleSuffix = QStringLiteral("ale");
const QByteArray lineEnd = "\r\n";
const QByteArray utf8Bom = "\xEF\xBB\xBF";
// The heading's rate when no row has a timecode.
constexpr int defaultAleFrameRate = 25;

// The rate of the first row with a timecode, else the default.
ClipRate headingRateOf(const QVector<FileData> &records)
{
    for (const FileData &record : records) {
        const AudioTCReading &reading = record.audioTCReading;
        if (record.hasAudioTC && reading.isValid())
            return ClipRate::ofReading(reading);
    }
    ClipRate rate;
    rate.base = defaultAleFrameRate;
    return rate;
}

// The heading's name of a video's raster by its height; empty for one it has no name for.
QString videoFormatOfHeight(int height)
{
    switch (height) {
    case 480: case 486: return QStringLiteral("NTSC");
    case 576: case 608: return QStringLiteral("PAL");
    case 720: return QStringLiteral("720");
    case 1080: return QStringLiteral("1080");
    default: return QString();
    }
}

QString aleRateText(const ClipRate &rate)
{
    if (!rate.ntsc)
        return QString::number(rate.base);
    if (rate.base == 24)
        return QStringLiteral("23.976");
    return QString::number(rate.base * 1000.0 / 1001.0, 'f', 2);
}

// ---- field encoding ---------------------------------------------------------

QByteArray csvField(const QString &text)
{
    static const QRegularExpression needsQuotes(QStringLiteral("[\",\r\n]"));
    if (!text.contains(needsQuotes))
        return text.toUtf8();
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return '"' + quoted.toUtf8() + '"';
}

QByteArray csvLine(const QStringList &fields)
{
    QByteArray line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += csvField(fields.at(i));
    }
    return line + lineEnd;
}

// An ALE field cannot hold its own delimiters.
QByteArray aleLine(const QStringList &fields)
{
    static const QRegularExpression delimiters(QStringLiteral("[\t\r\n]"));
    QStringList clean;
    for (QString field : fields)
        clean << field.replace(delimiters, QStringLiteral(" "));
    return clean.join(QLatin1Char('\t')).toUtf8() + lineEnd;
}

QString tracksOf(const FileData &record)
{
    QString tracks = record.hasVideo() ? QStringLiteral("V") : QString();
    const int channels = record.audioChannelTotal();
    for (int i = 1; i <= channels; ++i)
        tracks += QStringLiteral("A%1").arg(i);
    return tracks;
}

// What the row's last export wrote and how it ended; empty before any export.
void fillExportFields(const ExportResult &result, QStringList &row)
{
    if (result.resultCode == ResultCode::NotExported)
        return;
    row[ReportWriter::ExportPathColumn] = result.outputPath;
    if (!result.timecode.isEmpty())
        row[ReportWriter::ExportWrittenColumn] = result.timecode;
    else if (result.timeReference >= 0)
        row[ReportWriter::ExportWrittenColumn] = QString::number(result.timeReference);
    const QString text = ResultCode::text(result.resultCode);
    row[ReportWriter::ExportResultColumn] =
        (result.reason.isEmpty() || result.reason == text) ? text : text + QStringLiteral(": ") + result.reason;
}

QString foundText(const FileData &record, const QVector<FileData> &records)
{
    if (!record.hasAudioTC)
        return QString();
    if (!record.audioTCLinked) {
        const double foundAt = record.audioTCReading.foundAt;
        if (foundAt >= 0.0)
            return ReportWriter::tr("found at %1").arg(TimeText::durationMillis(foundAt));
        return ReportWriter::tr("own");
    }
    // The source by its id; it may have been removed since.
    const int source = record.audioTCLinkedRow;
    const auto found = std::find_if(records.cbegin(), records.cend(),
                                    [source](const FileData &other) { return other.fileNumber == source; });
    if (source < 0 || found == records.cend())
        return ReportWriter::tr("linked");
    return ReportWriter::tr("linked from %1").arg(found->fileName);
}

} // namespace

ReportWriter::ReportWriter(const QVector<FileData> &records) : records(records) {}

bool ReportWriter::formatForPath(const QString &path, Format *format)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(csvSuffix, Qt::CaseInsensitive) == 0)
        *format = Format::Csv;
    else if (suffix.compare(aleSuffix, Qt::CaseInsensitive) == 0)
        *format = Format::Ale;
    else
        return false;
    return true;
}

QString ReportWriter::suffixOf(Format format)
{
    return format == Format::Csv ? csvSuffix : aleSuffix;
}

QStringList ReportWriter::columnTitles()
{
    return {tr("File Name"),   tr("Path"),       tr("Duration"),    tr("File TC"),
            tr("Audio TC"),    tr("Frame Rate"), tr("Drop Frame"),  tr("Audio Stream"),
            tr("TC Channel"),  tr("Found"),      tr("Algorithm"),   tr("Status"),
            tr("Export Path"), tr("Export TC"),  tr("Export Result"), tr("TC Offset")};
}

bool ReportWriter::isRead(const FileData &record)
{
    return record.hasAudioTC && record.audioTCError == 0 && !record.audioTCReading.contradictsSignal();
}

QString ReportWriter::statusText(const FileData &record)
{
    if (record.audioTCError != 0)
        return ResultCode::text(record.audioTCError);
    if (record.hasAudioTC && record.audioTCReading.contradictsSignal())
        return record.audioTCReading.rateContradiction();
    if (isRead(record))
        return tr("ok");
    return tr("not read");
}

QStringList ReportWriter::fields(const FileData &record, const QVector<FileData> &records)
{
    QStringList row;
    for (int i = 0; i < ColumnCount; ++i)
        row << QString();
    row[FileNameColumn] = record.fileName;
    row[PathColumn] = record.filePath;
    row[DurationColumn] = TimeText::durationMillis(record.duration);
    row[FileTCColumn] = record.hasFileTC ? record.fileTC : QString();
    row[StatusColumn] = statusText(record);
    fillExportFields(record.lastExport, row);
    if (const auto offset = timecodeOffsetFrames(record))
        row[TCOffsetColumn] = QString::number(*offset);
    if (record.hasAudioTC) {
        const AudioTCReading &reading = record.audioTCReading;
        row[AudioTCColumn] = record.audioTC;
        row[FoundColumn] = foundText(record, records);
        if (reading.isValid()) {
            row[FrameRateColumn] = QString::number(reading.frameRate(), 'f', 2);
            // A forced rate the signal contradicts is shown with what the signal measures, as in the table.
            if (reading.signalRate > 0.0)
                row[FrameRateColumn] += tr(" (signal %1)").arg(reading.signalRate, 0, 'f', 2);
            row[DropFrameColumn] = reading.isDropFrame() ? tr("yes") : tr("no");
            row[AlgorithmColumn] = reading.algorithm;
        }
        // A linked timecode was read from another file's channel.
        if (!record.audioTCLinked && record.audioTCStreamIndex >= 0) {
            row[AudioStreamColumn] = QString::number(record.audioTCStreamIndex);
            row[ChannelColumn] = QString::number(record.audioTCChannel + 1);
        }
    }
    return row;
}

QByteArray ReportWriter::csv() const
{
    QByteArray text = utf8Bom + csvLine(columnTitles());
    for (const FileData &record : records)
        text += csvLine(fields(record, records));
    return text;
}

QString ReportWriter::aleFrameRate() const
{
    return aleRateText(headingRateOf(records));
}

QString ReportWriter::aleVideoFormat() const
{
    // The most common among the rows with video of a named raster; the first to reach it on a tie.
    QHash<QString, int> counts;
    QString common = QStringLiteral("1080");
    int best = 0;
    for (const FileData &record : records) {
        const QString format = record.hasVideo() ? videoFormatOfHeight(record.videoStream().height) : QString();
        if (format.isEmpty())
            continue;
        const int count = ++counts[format];
        if (count > best) {
            best = count;
            common = format;
        }
    }
    return common;
}

QByteArray ReportWriter::ale() const
{
    // Rows at another rate keep their own and are flagged.
    const ClipRate headingRate = headingRateOf(records);

    QByteArray text = "Heading" + lineEnd;
    text += aleLine({QStringLiteral("FIELD_DELIM"), QStringLiteral("TABS")});
    text += aleLine({QStringLiteral("VIDEO_FORMAT"), aleVideoFormat()});
    text += aleLine({QStringLiteral("AUDIO_FORMAT"), QStringLiteral("48khz")});
    text += aleLine({QStringLiteral("FPS"), aleRateText(headingRate)});
    text += lineEnd;

    const QStringList titles = columnTitles();
    QStringList columns{QStringLiteral("Name"),     QStringLiteral("Tracks"),      QStringLiteral("Start"),
                        QStringLiteral("End"),      QStringLiteral("Duration"),    QStringLiteral("Source File"),
                        QStringLiteral("Tape")};
    // Name, path and duration are the standard columns already.
    const QVector<int> ownColumns{FileTCColumn,     AudioTCColumn,   FrameRateColumn,   DropFrameColumn,
                                  AudioStreamColumn, ChannelColumn,  FoundColumn,       AlgorithmColumn,
                                  StatusColumn,     ExportPathColumn, ExportWrittenColumn, ExportResultColumn};
    for (int column : ownColumns)
        columns << titles.at(column);
    columns << tr("Rate Mismatch") << titles.at(TCOffsetColumn);
    text += "Column" + lineEnd + aleLine(columns) + lineEnd;

    text += "Data" + lineEnd;
    for (const FileData &record : records) {
        const QStringList own = fields(record, records);
        const AudioTCReading &reading = record.audioTCReading;
        const bool timed = record.hasAudioTC && reading.isValid();
        const ClipRate rate = timed ? ClipRate::ofReading(reading) : headingRate;
        const qint64 start = timed ? rate.framesOfLabel(record.audioTC) : -1;
        const qint64 length = rate.framesOfDuration(record.duration);

        QString startText;
        QString endText;
        if (start >= 0) {
            startText = rate.labelOfFrames(start);
            endText = rate.labelOfFrames(start + length);
        } else if (record.hasAudioTC) {
            startText = record.audioTC;
        }
        QStringList row{record.fileName,
                        tracksOf(record),
                        startText,
                        endText,
                        rate.labelOfFrames(length),
                        record.filePath,
                        record.baseName};
        for (int column : ownColumns)
            row << own.at(column);
        row << ((timed && !(rate == headingRate)) ? tr("yes") : QString()) << own.at(TCOffsetColumn);
        text += aleLine(row);
    }
    return text;
}

bool ReportWriter::write(const QString &path, Format format, QString *error) const
{
    // A report that cannot be written whole leaves any earlier file of that name as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray text = format == Format::Csv ? csv() : ale();
    if (file.write(text) != text.size()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
