#pragma once

#include "AudioTCReading.h"
#include "ExportResult.h"
#include "FileData.h"

#include <QCoreApplication>
#include <QString>
#include <QVariant>

// The texts and sort values of the table's cells that depend on one record
// alone.
class FileCells
{
    Q_DECLARE_TR_FUNCTIONS(FileTableModel)

public:
    // What the model knows of a row beyond its record.
    struct RowState
    {
        bool probed = false;   // the probe has answered
        QString rateMismatch;  // why export will refuse its timecode; empty when it will not
    };
    // A cell's display text, alignment, tooltip and colour.
    static QVariant data(const FileData &record, const RowState &state, int column, int role);
    // What a column sorts by: durations by value, timecodes by their position
    // in the day; rows without a value (no timecode) sort after all others.
    static QVariant sortValue(const FileData &record, int column);
    static QString linkedMark() { return QStringLiteral("@(linked)"); }

    static QString audioTCText(const AudioTCReading &reading);
    // Seconds since midnight of "HH:MM:SS:FF" (frames at `fps`) or "HH:MM:SS.mmm"; invalid otherwise.
    static QVariant dayPosition(const QString &timecode, double fps);
    // "+2", "0", "-1": File TC minus Audio TC in frames; empty unless the row has both.
    static QString timecodeOffsetText(const FileData &record);
    // The folder the file is in, as the system writes paths.
    static QString folderText(const FileData &record);
    // How the row's last export ended: "done", "left out", "refused", "failed"...; empty before one.
    static QString exportOutcomeText(const ExportResult &result);
    // Why, for the outcome's tooltip.
    static QString exportReasonText(const ExportResult &result);
};
