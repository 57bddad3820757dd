#include "ExportOptions.h"

namespace ExportTypes {

namespace {

int number(VideoExportType type)
{
    return static_cast<int>(type);
}

} // namespace

const QVector<VideoEntry> &videoEntries()
{
    static const QVector<VideoEntry> table{
        {VideoExportType::PassThrough, QStringLiteral("pass trough"), QStringLiteral("copy")},
        {VideoExportType::MxfMpeg2, QStringLiteral("MXF - MPEG2 422 50M (1920x1080)"), QStringLiteral("mxf-mpeg2")},
        {VideoExportType::MxfDnxhdLow, QStringLiteral("MXF - DNxHD 36/45 (1920x1080)"), QStringLiteral("mxf-dnxhd-low")},
        {VideoExportType::MxfDnxhdMid, QStringLiteral("MXF - DNxHD 115/120/145 (1920x1080)"), QStringLiteral("mxf-dnxhd-mid")},
        {VideoExportType::MxfDnxhdHigh, QStringLiteral("MXF - DNxHD 175x/185x/220 (1920x1080)"), QStringLiteral("mxf-dnxhd-high")},
        {VideoExportType::QuickTimePassThrough, QStringLiteral("QuickTime - pass trough"), QStringLiteral("mov-copy")},
        {VideoExportType::QuickTimeDnxhdLow, QStringLiteral("QuickTime - DNxHD 36/45 (1920x1080)"), QStringLiteral("mov-dnxhd-low")},
        {VideoExportType::QuickTimeDnxhdMid, QStringLiteral("QuickTime - DNxHD 115/120/145 (1920x1080)"), QStringLiteral("mov-dnxhd-mid")},
        {VideoExportType::QuickTimeDnxhdHigh, QStringLiteral("QuickTime - DNxHD 175x/185x/220 (1920x1080)"), QStringLiteral("mov-dnxhd-high")},
    };
    return table;
}

const QVector<AudioEntry> &audioEntries()
{
    static const QVector<AudioEntry> table{
        {AudioExportType::PassThrough, QStringLiteral("pass trough"), QStringLiteral("copy")},
        {AudioExportType::Pcm16, QStringLiteral("PCM 16 bit"), QStringLiteral("pcm16")},
        {AudioExportType::Pcm24, QStringLiteral("PCM 24 bit"), QStringLiteral("pcm24")},
    };
    return table;
}

bool isMxf(VideoExportType type)
{
    return number(type) >= 1 && number(type) <= 4;
}

bool isQuickTime(VideoExportType type)
{
    return number(type) >= 5 && number(type) <= 8;
}

int dnxhdColumn(VideoExportType type)
{
    switch (type) {
    case VideoExportType::MxfDnxhdLow:
    case VideoExportType::QuickTimeDnxhdLow: return 0;
    case VideoExportType::MxfDnxhdMid:
    case VideoExportType::QuickTimeDnxhdMid: return 1;
    case VideoExportType::MxfDnxhdHigh:
    case VideoExportType::QuickTimeDnxhdHigh: return 2;
    default: return -1;
    }
}

bool isDnxhd(VideoExportType type)
{
    return dnxhdColumn(type) >= 0;
}

bool copiesVideo(VideoExportType type)
{
    return type != VideoExportType::MxfMpeg2 && !isDnxhd(type);
}

} // namespace ExportTypes
