#include "ClipRate.h"

#include "FileData.h"
#include "TimeText.h"

#include <QRegularExpression>
#include <cmath>

ClipRate ClipRate::ofReading(const AudioTCReading &reading)
{
    ClipRate rate;
    rate.base = reading.frameRateBase;
    rate.ntsc = reading.ntsc;
    // Dropping frame numbers is only defined for the NTSC rates of 30 and 60.
    rate.drop = reading.isDropFrame() && rate.base % 30 == 0;
    return rate;
}

ClipRate ClipRate::ofVideo(const Fraction &videoRate, bool drop)
{
    ClipRate rate;
    if (!videoRate.isValid())
        return rate;
    rate.base = qRound(videoRate.value());
    rate.ntsc = std::abs(videoRate.value() - rate.base) > 0.001;
    rate.drop = drop && rate.ntsc && rate.base % 30 == 0;
    return rate;
}

qint64 ClipRate::framesOfLabel(const QString &label) const
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2})[:;.,](\\d{2})[:;.,](\\d{2})[:;.,](\\d{2,3})$"));
    const QRegularExpressionMatch match = pattern.match(label.trimmed());
    if (!match.hasMatch() || base <= 0)
        return -1;
    const qint64 hours = match.captured(1).toLongLong();
    const qint64 minutes = match.captured(2).toLongLong();
    const qint64 seconds = match.captured(3).toLongLong();
    const qint64 frames = match.captured(4).toLongLong();
    if (hours > 23 || minutes > 59 || seconds > 59 || frames >= base)
        return -1;
    const qint64 totalMinutes = hours * 60 + minutes;
    return (totalMinutes * 60 + seconds) * base + frames - droppedPerMinute() * (totalMinutes - totalMinutes / 10);
}

QString ClipRate::labelOfFrames(qint64 frames) const
{
    const qint64 day = framesPerDay();
    frames = ((frames % day) + day) % day;
    const int dropped = droppedPerMinute();
    if (dropped > 0) {
        const qint64 perMinute = base * 60 - dropped;
        const qint64 perTenMinutes = base * 600 - 9 * dropped;
        const qint64 tens = frames / perTenMinutes;
        const qint64 rest = frames % perTenMinutes;
        frames += 9 * dropped * tens + (rest < dropped ? 0 : dropped * ((rest - dropped) / perMinute));
    }
    return TimeText::label(frames / base, frames % base, drop);
}

qint64 ClipRate::framesOfDuration(double seconds) const
{
    if (!(seconds > 0.0 && seconds < 1e7))
        return 0;
    return qint64(std::llround(seconds * realRate()));
}

namespace {

// Seconds of a WAV's time reference as the File TC shows it, "HH:MM:SS.mmm"; -1 otherwise.
double secondsOfClockText(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+):(\\d{2}):(\\d{2})\\.(\\d{3})$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return -1.0;
    return match.captured(1).toDouble() * 3600.0 + match.captured(2).toDouble() * 60.0
           + match.captured(3).toDouble() + match.captured(4).toDouble() / 1000.0;
}

} // namespace

std::optional<qint64> timecodeOffsetFrames(const FileData &record)
{
    const AudioTCReading &reading = record.audioTCReading;
    if (!record.hasFileTC || !record.hasAudioTC || !reading.isValid())
        return std::nullopt;
    const ClipRate audioRate = ClipRate::ofReading(reading);
    const qint64 audioFrames = audioRate.framesOfLabel(record.audioTC);
    if (audioFrames < 0)
        return std::nullopt;

    // Both counted in the frames of the file's own timecode.
    ClipRate rate = audioRate;
    qint64 fileFrames = -1;
    qint64 audioInRate = audioFrames;
    const double seconds = secondsOfClockText(record.fileTC);
    if (seconds >= 0.0) {
        fileFrames = std::llround(seconds * audioRate.realRate());
    } else {
        if (record.hasVideo())
            rate = ClipRate::ofVideo(record.videoStream().rFrameRate, record.fileTC.contains(QLatin1Char(';')));
        if (!rate.isValid())
            return std::nullopt;
        fileFrames = rate.framesOfLabel(record.fileTC);
        audioInRate = std::llround(double(audioFrames) * rate.base / audioRate.base);
    }
    if (fileFrames < 0)
        return std::nullopt;
    const qint64 day = rate.framesPerDay();
    qint64 offset = ((fileFrames - audioInRate) % day + day) % day;
    if (offset > day / 2)
        offset -= day;
    return offset;
}
