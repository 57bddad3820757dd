#pragma once

#include "FileData.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVector>

// Writes what the table holds as a list for the next person: a spreadsheet
// (CSV) or an Avid Log Exchange file (ALE) that an editing system imports as
// clips with their start timecodes. One report row per table row, in table
// order, made from the rows' records.
class ReportWriter
{
    Q_DECLARE_TR_FUNCTIONS(ReportWriter)

public:
    enum class Format { Csv, Ale };

    // The report's own columns, in CSV order.
    enum Column {
        FileNameColumn,
        PathColumn,
        DurationColumn,
        FileTCColumn,
        AudioTCColumn,
        FrameRateColumn,
        DropFrameColumn,
        AudioStreamColumn,
        ChannelColumn,
        FoundColumn,
        AlgorithmColumn,
        StatusColumn,
        ExportPathColumn,
        ExportWrittenColumn,
        ExportResultColumn,
        TCOffsetColumn,
        ColumnCount
    };

    explicit ReportWriter(const QVector<FileData> &records);

    // The format a report file name asks for (".csv" or ".ale", any case).
    static bool formatForPath(const QString &path, Format *format);
    static QString suffixOf(Format format);

    static QStringList columnTitles();
    // The report's fields of one row; `records` gives the names of linked sources (by their ids).
    static QStringList fields(const FileData &record, const QVector<FileData> &records);
    // Status of a row: "ok", why there is no timecode, or "not read".
    static QString statusText(const FileData &record);
    // An audio timecode that can be trusted: the status says "ok".
    static bool isRead(const FileData &record);

    QByteArray csv() const;
    QByteArray ale() const;
    // The rate the ALE heading states: that of the first row with a timecode.
    QString aleFrameRate() const;
    // The heading's VIDEO_FORMAT: the raster most rows with video have (NTSC, PAL, 720, 1080);
    // 1080 when none has one of these.
    QString aleVideoFormat() const;

    // Writes the whole report or nothing; on failure `error` says why.
    bool write(const QString &path, Format format, QString *error) const;

private:
    QVector<FileData> records;
};
