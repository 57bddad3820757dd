#pragma once

#include "ExportCommand.h"
#include "ProbeRecord.h"

#include <QString>
#include <QStringList>

// The check of a written file: what ffprobe sees in it against what the
// command wrote and what the source holds.
class ExportCheck
{
public:
    explicit ExportCheck(const ExportCommand &command);
    ExportCheck(const FileData &fileData, const ExportOptions &options);

    // Empty when the probe of the written file shows what the command wrote
    // and what the source holds; otherwise what differs, with both values.
    QString outputMismatch(const ProbeRecord &probe) const;
    // The ffprobe arguments of the probe outputMismatch reads: format and
    // streams, with the packets of every stream counted.
    static QStringList probeArguments(const QString &writtenPath);

private:
    qint64 sourceFrameCount() const;     // -1 when the source does not tell
    QString videoMismatch(const ProbeStream *written) const; // nullptr: no video written

    ExportCommand command;
};
