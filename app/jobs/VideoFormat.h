#pragma once

#include "AudioTCReading.h"
#include "ExportOptions.h"
#include "Fraction.h"

#include <QString>
#include <QStringList>

// The video an export may write: the DNxHD 1080p profiles, the rates MPEG-2
// codes, and whether a timecode's rate fits the video's. Tables and rules
// only; ExportCommand decides when they apply.
class VideoFormat
{
public:
    struct DnxhdRow
    {
        QString bitRate;      // "-b:v"
        QString pixelFormat;  // "-pix_fmt"
        QString frameRate;    // "-r"
    };
    // The DNxHD row of a video type at the integer part F of the source's rate
    // (23, 24, 25, 29, 30, 50, 59, 60); false outside the table.
    static bool dnxhdRow(VideoExportType videoType, const Fraction &rFrameRate, DnxhdRow *row);

    // The video arguments of a transcode to `videoType` from a source at
    // `rFrameRate`; empty without a profile for that rate.
    static QStringList transcodeArguments(VideoExportType videoType, const Fraction &rFrameRate);
    // Why a transcode to `videoType` cannot be written at `rFrameRate`; empty when it can.
    static QString transcodeRefusal(VideoExportType videoType, const Fraction &rFrameRate);
    // Bits per second a transcode to `videoType` writes at `rFrameRate`.
    static qint64 transcodeBitRate(VideoExportType videoType, const Fraction &rFrameRate);

    // Frames of the video per frame of the timecode; 0, with the reason in
    // `mismatch`, when the rates do not match.
    static int timecodeMultiplier(const AudioTCReading &reading, const Fraction &videoRate, QString *mismatch);

    // 25, 29.97, 23.98: as people say rates.
    static QString rateText(double rate);
};
