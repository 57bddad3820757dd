#pragma once

#include <QMetaType>

// Choices of the read-audio-timecode dialog. Negative channel or frame rate: not specified.
struct AudioTCOptions
{
    qint32 readingAlgorithm = 0; // 0 auto, 1 LOW, 2 MID, 3 HIGH, 4 SLOPE
    qint32 channel = -1;
    double frameRate = -1.0;
    bool allFiles = false;
};

Q_DECLARE_METATYPE(AudioTCOptions)
