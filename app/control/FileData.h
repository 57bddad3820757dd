#pragma once

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
    bool isGoPro = false;
    bool audioTCReadRequested = false;
    qint32 fileNumber = -1;

    // A fresh record for a file on disk: name, path, base name, suffix, modification time.
    static FileData fromFileInfo(const QFileInfo &fileInfo);
    // Takes over what a probe found (streams, format, flags); names and timecodes stay.
    void takeProbeMembers(const FileData &probed);

    void setFileTC(const QString &tc);
    void setTimeReference(qint64 samples, qint32 sampleRate);
    void setAudioTC(const QString &text, QPair<qint32, qint32> streamIndexAndChannel);
    void setLinkedAudioTC(qint32 row, const QString &text, const QJsonObject &report);
};

// Wall-clock text HH:MM:SS.mmm of a sample position; hours are not reduced to a day.
QString timeReferenceText(qint64 samples, qint32 sampleRate);

} // namespace FD

using FD::FileData;

Q_DECLARE_METATYPE(FD::FileData)
Q_DECLARE_METATYPE(QVector<FD::FileData>)
