#pragma once

#include "ExportResult.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVector>

namespace FD {

// What the decoder report of a row's audio timecode says, read in one place.
struct AudioTCReading
{
    QString timecode;
    int frameRateBase = 0;  // whole-number rate: 24, 25, 30
    bool ntsc = false;      // the rate is frameRateBase * 1000/1001
    bool dropFrame = false; // only meaningful with ntsc
    int channel = -1;       // zero-based channel within the stream
    QString algorithm;      // LOW, MID, HIGH or SLOPE
    double foundAt = -1.0;  // seconds from the first sample to the first frame read, when the read searched
    // The rate the signal measures when the read was forced to a rate it
    // contradicts; 0 when they agree or no rate was forced.
    double signalRate = 0.0;

    bool isValid() const { return frameRateBase > 0; }
    double frameRate() const { return ntsc ? frameRateBase * 1000.0 / 1001.0 : double(frameRateBase); }
    bool isDropFrame() const { return ntsc && dropFrame; }
    // A forced rate the signal contradicts: the timecode is off by seconds, as good as unread.
    bool contradictsSignal() const { return signalRate > 0.0; }
    // "read at 25.00 fps, but the signal runs at 23.98 fps"; empty when the two agree.
    QString rateContradiction() const;
    static AudioTCReading fromReport(const QJsonObject &report);
};

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
    QJsonObject videoStream;
    QJsonArray audioStreams;
    QJsonArray streams;
    QJsonObject format;
    QJsonObject audioTCResult;
    double duration = 0.0;
    // Why the row has no audio timecode (decoder or own result code); 0 when
    // nothing went wrong or nothing was read yet.
    qint32 audioTCError = 0;
    bool isGoPro = false;
    bool audioTCReadRequested = false;
    qint32 fileNumber = -1;
    // The outcome of this row's last export (NotExported before the first).
    ExportResult lastExport;

    // A fresh record for a file on disk: name, path, base name, suffix, modification time.
    static FileData fromFileInfo(const QFileInfo &fileInfo);
    // Takes over what a probe found (streams, format, flags); names and timecodes stay.
    void takeProbeMembers(const FileData &probed);

    void setFileTC(const QString &tc);
    void setTimeReference(qint64 samples, qint32 sampleRate);
    void setAudioTC(const QString &text, QPair<qint32, qint32> streamIndexAndChannel);
    void setLinkedAudioTC(qint32 row, const QString &text, const QJsonObject &report);
    // No audio timecode, neither its own nor a linked one.
    void clearAudioTC();
    // A timecode the file's own audio carries (not one taken from a sibling).
    bool hasOwnAudioTC() const { return hasAudioTC && !audioTCLinked; }

    AudioTCReading audioTCReading() const { return AudioTCReading::fromReport(audioTCResult); }
    bool hasVideo() const { return videoStream.contains(QStringLiteral("index")); }
    // Channels of all audio streams together.
    int audioChannelTotal() const;
};

// Wall-clock text HH:MM:SS.mmm of a sample position; hours are not reduced to a day.
QString timeReferenceText(qint64 samples, qint32 sampleRate);

} // namespace FD

using FD::FileData;
using FD::AudioTCReading;

Q_DECLARE_METATYPE(FD::FileData)
Q_DECLARE_METATYPE(QVector<FD::FileData>)
