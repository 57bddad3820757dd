#pragma once

#include "AudioTCReading.h"
#include "ExportResult.h"
#include "ProbeRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVector>

namespace FD {

// One imported file. The table owns the authoritative copy of each row; every
// signal and queue carries copies.
struct FileData
{
    QString audioTC = QStringLiteral("");
    QString fileTC = QStringLiteral("");
    qint32 audioTCLinkedRow = -1;
    qint32 audioTCStreamIndex = -1;
    qint32 audioTCChannel = -1;
    qint64 timeReference = 0;
    bool hasAudioTC = false;
    bool hasFileTC = false;
    bool audioTCLinked = false;
    QString fileName;
    QString baseName;
    QString suffix;
    QString filePath;
    QDateTime lastModified;
    QByteArray audioStreamIndexes;
    qint32 audioChannelCount = 0;
    // What the probe found; the streams are addressed by their position in it.
    ProbeRecord probe;
    qint32 videoStreamPosition = -1; // the (last) video stream; -1 without one
    // The decoder report the audio timecode was made from.
    AudioTCReading audioTCReading;
    double duration = 0.0;
    // Why the row has no audio timecode (decoder or own result code); 0 when
    // nothing went wrong or nothing was read yet.
    qint32 audioTCError = 0;
    bool isGoPro = false;
    bool audioTCReadRequested = false;
    // The row's id, given by the table and kept whatever row it is shown in
    // or sorted to; every request and answer carries it.
    qint32 fileNumber = -1;
    // The outcome of this row's last export (NotExported before the first).
    ExportResult lastExport;

    // A fresh record for a file on disk: name, path, base name, suffix,
    // modification time. The table gives it its id (fileNumber).
    static FileData fromFileInfo(const QFileInfo &fileInfo);
    // A record of what a probe found: streams, audio stream indexes, video
    // stream, duration, the GoPro flag and the file timecode (the WAV time
    // reference, else the format's timecode, else a timecode track's).
    static FileData fromProbe(const ProbeRecord &probe);
    // Takes over what a probe found (streams, format, flags); names and timecodes stay.
    void takeProbeMembers(const FileData &probed);

    void setFileTC(const QString &tc);
    void setTimeReference(qint64 samples, qint32 sampleRate);
    void setAudioTC(const QString &text, QPair<qint32, qint32> streamIndexAndChannel);
    void setLinkedAudioTC(qint32 row, const QString &text, const AudioTCReading &reading);
    // No audio timecode, neither its own nor a linked one.
    void clearAudioTC();
    // A timecode the file's own audio carries (not one taken from a sibling).
    bool hasOwnAudioTC() const { return hasAudioTC && !audioTCLinked; }

    bool hasVideo() const { return videoStreamPosition >= 0; }
    // The video stream; an empty one (index -1) without video.
    const ProbeStream &videoStream() const;
    // The stream at `position` in the probe; an empty one outside it.
    const ProbeStream &streamAt(int position) const;
    // The audio streams, in stream order.
    QVector<ProbeStream> audioStreams() const;
    // Seconds from the first sample of the audio stream at `streamPosition` to
    // the first video frame, by the start times the probe gives.
    double videoReferenceSeconds(int streamPosition) const;
    // Channels of all audio streams together.
    int audioChannelTotal() const;
};

} // namespace FD

using FD::FileData;

// Declared by the name every signal spells it with, so each has one metatype name.
Q_DECLARE_METATYPE(FileData)
Q_DECLARE_METATYPE(QVector<FileData>)
