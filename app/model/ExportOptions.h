#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

// The export dialog's video types, in the dialog's order.
enum class VideoExportType : qint32 {
    PassThrough = 0,
    MxfMpeg2 = 1,
    MxfDnxhdLow = 2,   // DNxHD 36/45
    MxfDnxhdMid = 3,   // DNxHD 115/120/145
    MxfDnxhdHigh = 4,  // DNxHD 175x/185x/220
    QuickTimePassThrough = 5,
    QuickTimeDnxhdLow = 6,
    QuickTimeDnxhdMid = 7,
    QuickTimeDnxhdHigh = 8,
};

// The export dialog's audio types, in the dialog's order.
enum class AudioExportType : qint32 {
    PassThrough = 0,
    Pcm16 = 1,
    Pcm24 = 2,
};

namespace ExportTypes {

// What the dialog lists, in its order: combo item n is entry n. The word
// names the type on the command line.
struct VideoEntry { VideoExportType type; QString text; QString word; };
struct AudioEntry { AudioExportType type; QString text; QString word; };
const QVector<VideoEntry> &videoEntries();
const QVector<AudioEntry> &audioEntries();

// A type outside the dialog's table (none is sent by it) writes like a pass-through.
bool isMxf(VideoExportType type);       // MPEG-2 or DNxHD into MXF
bool isQuickTime(VideoExportType type); // pass-through or DNxHD into QuickTime
bool isDnxhd(VideoExportType type);
// 0, 1, 2 for the low, mid and high DNxHD bit rates; -1 for any other type.
int dnxhdColumn(VideoExportType type);
bool copiesVideo(VideoExportType type);

} // namespace ExportTypes

// Choices of the export dialog; the controller sets progressUnitsPerFile.
struct ExportOptions
{
    QString targetFolderPath;
    VideoExportType videoExportType = VideoExportType::PassThrough;
    AudioExportType audioExportType = AudioExportType::PassThrough;
    bool muteAudioTC = false;
    bool exportAll = false;
    qint32 progressUnitsPerFile = 15;
};

Q_DECLARE_METATYPE(ExportOptions)
