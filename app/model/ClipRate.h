#pragma once

#include "AudioTCReading.h"
#include "Fraction.h"

#include <QString>
#include <optional>

namespace FD {
struct FileData;
}

// Timecode arithmetic at a clip's rate: labels to frame counts since midnight
// and back, drop frame included.
struct ClipRate
{
    int base = 0;      // frames per second on the label: 24, 25, 30, 50
    bool ntsc = false; // real rate base * 1000/1001
    bool drop = false; // labels skip frame numbers (29.97 and 59.94 DF)

    static ClipRate ofReading(const AudioTCReading &reading);
    // A video's rate; `drop` as its timecode label says (";" before the frames).
    static ClipRate ofVideo(const Fraction &rate, bool drop);

    bool isValid() const { return base > 0; }
    double realRate() const { return ntsc ? base * 1000.0 / 1001.0 : double(base); }
    int droppedPerMinute() const { return drop ? base / 15 : 0; }
    qint64 framesPerDay() const { return drop ? 144LL * (base * 600 - 9 * droppedPerMinute()) : 86400LL * base; }
    bool operator==(const ClipRate &other) const { return base == other.base && ntsc == other.ntsc; }

    // Frame number since midnight of "HH:MM:SS:FF" (any of : ; . , between); -1 when unreadable.
    qint64 framesOfLabel(const QString &label) const;
    // The label of a frame count; wraps at midnight.
    QString labelOfFrames(qint64 frames) const;
    // Whole frames a duration in seconds covers at the real rate.
    qint64 framesOfDuration(double seconds) const;
};

// File TC minus Audio TC in frames of the file's timecode (the video's rate,
// or the audio timecode's for a file without video), the shorter way round
// midnight; nothing unless the row has both.
std::optional<qint64> timecodeOffsetFrames(const FD::FileData &record);
