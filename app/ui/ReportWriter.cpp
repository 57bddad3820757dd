#include "ReportWriter.h"

#include "ResultCode.h"
#include "TimeText.h"

#include <QFileInfo>
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

// ---- timecode arithmetic at a clip's rate ----------------------------------

struct ClipRate
{
    int base = 0;      // frames per second on the label: 24, 25, 30
    bool ntsc = false; // real rate base * 1000/1001
    bool drop = false; // labels skip frame numbers (29.97 DF)

    int droppedPerMinute() const { return drop ? base / 15 : 0; }
    qint64 framesPerDay() const
    {
        return drop ? 144LL * (base * 600 - 9 * droppedPerMinute()) : 86400LL * base;
    }
    bool operator==(const ClipRate &other) const { return base == other.base && ntsc == other.ntsc; }
};

ClipRate rateOf(const AudioTCReading &reading)
{
    ClipRate rate;
    rate.base = reading.frameRateBase;
    rate.ntsc = reading.ntsc;
    // Dropping frame numbers is only defined for the NTSC rates of 30 and 60.
    rate.drop = reading.isDropFrame() && rate.base % 30 == 0;
    return rate;
}

// Frame number since midnight of a label "HH:MM:SS:FF" (any of : ; . as separators); -1 when unreadable.
qint64 framesOfLabel(const QString &label, const ClipRate &rate)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2})[:;.,](\\d{2})[:;.,](\\d{2})[:;.,](\\d{2,3})$"));
    const QRegularExpressionMatch match = pattern.match(label.trimmed());
    if (!match.hasMatch() || rate.base <= 0)
        return -1;
    const qint64 hours = match.captured(1).toLongLong();
    const qint64 minutes = match.captured(2).toLongLong();
    const qint64 seconds = match.captured(3).toLongLong();
    const qint64 frames = match.captured(4).toLongLong();
    if (hours > 23 || minutes > 59 || seconds > 59 || frames >= rate.base)
        return -1;
    const qint64 totalMinutes = hours * 60 + minutes;
    return (totalMinutes * 60 + seconds) * rate.base + frames
           - rate.droppedPerMinute() * (totalMinutes - totalMinutes / 10);
}

// Label of a frame count; wraps at midnight.
QString labelOfFrames(qint64 frames, const ClipRate &rate)
{
    const qint64 day = rate.framesPerDay();
    frames = ((frames % day) + day) % day;
    const int dropped = rate.droppedPerMinute();
    if (dropped > 0) {
        const qint64 perMinute = rate.base * 60 - dropped;
        const qint64 perTenMinutes = rate.base * 600 - 9 * dropped;
        const qint64 tens = frames / perTenMinutes;
        const qint64 rest = frames % perTenMinutes;
        frames += 9 * dropped * tens + (rest < dropped ? 0 : dropped * ((rest - dropped) / perMinute));
    }
    return TimeText::label(frames / rate.base, frames % rate.base, rate.drop);
}

// Whole frames a duration in seconds covers at the clip's real rate.
qint64 framesOfDuration(double seconds, const ClipRate &rate)
{
    if (!(seconds > 0.0 && seconds < 1e7))
        return 0;
    const double realRate = rate.ntsc ? rate.base * 1000.0 / 1001.0 : double(rate.base);
    return qint64(std::llround(seconds * realRate));
}

// The rate of the first row with a timecode, else the default.
ClipRate headingRateOf(const QVector<FileData> &records)
{
    for (const FileData &record : records) {
        const AudioTCReading &reading = record.audioTCReading;
        if (record.hasAudioTC && reading.isValid())
            return rateOf(reading);
    }
    ClipRate rate;
    rate.base = defaultAleFrameRate;
    return rate;
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
            tr("Export Path"), tr("Export TC"),  tr("Export Result")};
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

QByteArray ReportWriter::ale() const
{
    // Rows at another rate keep their own and are flagged.
    const ClipRate headingRate = headingRateOf(records);

    QByteArray text = "Heading" + lineEnd;
    text += aleLine({QStringLiteral("FIELD_DELIM"), QStringLiteral("TABS")});
    text += aleLine({QStringLiteral("VIDEO_FORMAT"), QStringLiteral("1080")});
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
    columns << tr("Rate Mismatch");
    text += "Column" + lineEnd + aleLine(columns) + lineEnd;

    text += "Data" + lineEnd;
    for (const FileData &record : records) {
        const QStringList own = fields(record, records);
        const AudioTCReading &reading = record.audioTCReading;
        const bool timed = record.hasAudioTC && reading.isValid();
        const ClipRate rate = timed ? rateOf(reading) : headingRate;
        const qint64 start = timed ? framesOfLabel(record.audioTC, rate) : -1;
        const qint64 length = framesOfDuration(record.duration, rate);

        QString startText;
        QString endText;
        if (start >= 0) {
            startText = labelOfFrames(start, rate);
            endText = labelOfFrames(start + length, rate);
        } else if (record.hasAudioTC) {
            startText = record.audioTC;
        }
        QStringList row{record.fileName,
                        tracksOf(record),
                        startText,
                        endText,
                        labelOfFrames(length, rate),
                        record.filePath,
                        record.baseName};
        for (int column : ownColumns)
            row << own.at(column);
        row << ((timed && !(rate == headingRate)) ? tr("yes") : QString());
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
