#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

// The decoder's reading algorithms, in the dialog's order; Auto leaves the
// choice (and the retries) to the driver.
enum class ReadAlgorithm : qint32 { Auto = 0, Low = 1, Mid = 2, High = 3, Slope = 4 };

namespace ReadAlgorithms {

// The decoder's name of an algorithm ("LOW" ... "SLOPE"), as its "-a" takes it
// and its report names it; "auto" for Auto.
QString name(ReadAlgorithm algorithm);
// Every name, in the order of the enum: "auto", "LOW", "MID", "HIGH", "SLOPE".
const QStringList &names();
// The decoder's "-a" argument: "-aLOW"; empty for Auto.
QString argument(ReadAlgorithm algorithm);

} // namespace ReadAlgorithms

// Choices of the read-audio-timecode dialog. Negative channel or frame rate: not specified.
struct AudioTCOptions
{
    ReadAlgorithm readingAlgorithm = ReadAlgorithm::Auto;
    qint32 channel = -1;
    double frameRate = -1.0;
    bool allFiles = false;
};

Q_DECLARE_METATYPE(AudioTCOptions)
