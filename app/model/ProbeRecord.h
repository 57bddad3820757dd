#pragma once

#include "Fraction.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

// One stream as ffprobe describes it. Counts ffprobe leaves out are -1,
// sizes and channels it leaves out 0, texts empty.
struct ProbeStream
{
    int index = -1;
    QString codecType;      // "video", "audio", "data"
    QString codecName;      // "h264", "pcm_s24le"
    QString codecTag;       // "tmcd" for a QuickTime timecode track
    int channels = 0;
    QString channelLayout;
    int sampleRate = 0;
    int bitsPerSample = 0;
    Fraction rFrameRate;
    Fraction avgFrameRate;
    Fraction timeBase;
    bool hasStartTime = false;
    double startTime = 0.0; // seconds
    double duration = 0.0;  // seconds; 0 when not given
    qint64 nbFrames = -1;
    qint64 nbReadPackets = -1; // only with -count_packets
    int width = 0;
    int height = 0;
    // Tags
    bool hasTimecode = false;
    QString timecode;
    QString encoder;
    QString reelName;

    bool isAudio() const { return codecType.compare(QLatin1String("audio"), Qt::CaseInsensitive) == 0; }
    bool isVideo() const { return codecType.compare(QLatin1String("video"), Qt::CaseInsensitive) == 0; }
    bool isTimecodeTrack() const { return codecTag.compare(QLatin1String("tmcd"), Qt::CaseInsensitive) == 0; }
};

// The container as ffprobe describes it.
struct ProbeFormat
{
    QString formatName;     // "mov,mp4,m4a,3gp,3g2,mj2", "wav", "mxf"
    bool hasDuration = false;
    double duration = 0.0;  // seconds
    // Tags
    bool hasTimecode = false;
    QString timecode;
    QString creationTime;
    QString timeReference;  // broadcast-WAV samples since midnight, as written
    QString comment;
    QString description;
    QString reelName;

    bool isWav() const { return formatName.compare(QLatin1String("wav"), Qt::CaseInsensitive) == 0; }
    // The time reference in samples; 0 when there is none.
    qint64 timeReferenceSamples() const { return timeReference.toLongLong(); }
};

// What one run of ffprobe -show_format -show_streams found, read once from
// its JSON. Everything Dorrik knows of a file's streams comes from here.
struct ProbeRecord
{
    bool valid = false;     // the probe described a container at all
    ProbeFormat format;
    QVector<ProbeStream> streams; // in the file's order

    static ProbeRecord fromJson(const QJsonObject &json);

    // Position in `streams` of the first video stream; -1 without one.
    int firstVideoPosition() const;
};
