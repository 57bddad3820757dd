#pragma once

#include <QJsonObject>
#include <QString>

// What one decoder report says, read once from its JSON.
struct AudioTCReading
{
    QString timecode;              // label of the reference sample: "10:00:00:00", "01:00:00;02"
    int frameCount = 0;            // frames since midnight of that label
    qint64 samplesSinceMidnight = 0;
    double frameRateFound = 0.0;   // as reported, two decimals: 25.00, 29.97
    int frameRateBase = 0;         // whole-number rate: 24, 25, 30
    bool ntsc = false;             // the rate is frameRateBase * 1000/1001
    bool dropFrame = false;        // only meaningful with ntsc
    int channel = -1;              // zero-based channel within the stream
    QString algorithm;             // LOW, MID, HIGH or SLOPE
    double foundAt = -1.0;         // seconds from the first sample to the first frame read, when the read searched
    // The rate the signal measures when the read was forced to a rate it
    // contradicts; 0 when they agree or no rate was forced.
    double signalRate = 0.0;
    int errorNumber = 0;           // the decoder's error number of a failed read

    // The one reader of the decoder's report.
    static AudioTCReading fromReport(const QJsonObject &report);

    bool isValid() const { return !timecode.isEmpty() && frameRateBase > 0; }
    double frameRate() const { return ntsc ? frameRateBase * 1000.0 / 1001.0 : double(frameRateBase); }
    bool isDropFrame() const { return ntsc && dropFrame; }
    // A forced rate the signal contradicts: the timecode is off by seconds, as good as unread.
    bool contradictsSignal() const { return signalRate > 0.0; }
    // "read at 25.00 fps, but the signal runs at 23.98 fps"; empty when the two agree.
    QString rateContradiction() const;
};
