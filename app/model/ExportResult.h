#pragma once

#include "ResultCode.h"

#include <QMetaType>
#include <QString>

// The outcome of exporting one file, as the controller reports it per file and
// the table keeps it per row.
struct ExportResult
{
    qint32 fileNumber = -1;      // the row the request came from
    QString fileName;            // the source's name as the table shows it
    QString sourcePath;
    QString outputPath;          // the verified file; empty when nothing was kept
    QString timecode;            // timecode written into a QuickTime/MXF copy; empty if none
    qint64 timeReference = -1;   // time reference written into a WAV copy; -1 if none
    qint32 resultCode = ResultCode::NotExported;
    QString reason;              // why, in the user's words; empty for a stamped file

    bool done() const { return ResultCode::isSuccess(resultCode); }
    // Not written because the export's own choices leave nothing to write, not because anything failed.
    bool leftOutByChoice() const { return resultCode == ResultCode::LeftOutOnlyTimecodeChannel; }
    // Why it ended so: the export's own words, or its code's text.
    QString reasonText() const { return reason.isEmpty() ? ResultCode::text(resultCode) : reason; }
    // "name: reason" for the export result's details.
    QString detailLine() const { return fileName + QStringLiteral(": ") + reasonText(); }
};

Q_DECLARE_METATYPE(ExportResult)
