#pragma once

#include <QString>

// The one place times of day and durations become text. Hours are never
// reduced to a day: 25 hours read 25:00:00.
namespace TimeText {

// HH:MM:SS of whole seconds.
QString clock(qint64 seconds);
// HH:MM:SS.mmm of milliseconds.
QString clockMillis(qint64 milliseconds);
// A probed duration as the table shows it: HH:MM:SS, cut to the second;
// anything that is not a time reads 00:00:00.
QString duration(double seconds);
// The same to the nearest millisecond: HH:MM:SS.mmm.
QString durationMillis(double seconds);
// Wall-clock text HH:MM:SS.mmm of a sample position, the milliseconds cut;
// empty without a sample rate.
QString samplePosition(qint64 samples, qint32 sampleRate);
// A timecode label "HH:MM:SS:FF" ("HH:MM:SS;FF" for drop frame).
QString label(qint64 seconds, qint64 frames, bool dropFrame);

} // namespace TimeText
