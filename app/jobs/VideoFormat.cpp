#include "VideoFormat.h"

#include <QRegularExpression>

namespace {

// "36M" -> 36000000
qint64 bitsPerSecond(const QString &bitRate)
{
    return bitRate.left(bitRate.size() - 1).toLongLong() * 1000000;
}

// The rates MPEG-2 codes exactly, all of which the MXF muxer takes. ffmpeg's
// encoder moves any other to a near one (48000/1001 becomes 48).
bool isMpeg2Rate(const Fraction &rate)
{
    static const char *const rates[] = {"24000/1001", "24", "25", "30000/1001", "30", "50", "60000/1001", "60"};
    for (const char *mpeg2Rate : rates)
        if (rate.sameRate(Fraction::fromText(QString::fromLatin1(mpeg2Rate))))
            return true;
    return false;
}

} // namespace

QString VideoFormat::rateText(double rate)
{
    return QString::number(qRound(rate * 100.0) / 100.0, 'f', 2).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

bool VideoFormat::dnxhdRow(VideoExportType videoType, const Fraction &rFrameRate, DnxhdRow *row)
{
    // Columns: types 2/6, 3/7, 4/8. 50, 59.94 and 60 take the standard 1080p
    // profiles of twice the rate of the 25 and 29.97/30 rows (DNxHD 75, 240,
    // 365x; 90, 290, 440), which ffmpeg's encoder knows by their bit rates.
    struct Rate { int f; const char *rate[3]; const char *format[3]; const char *ntscRate; };
    static const Rate table[] = {
        {23, {"36M", "115M", "175M"}, {"yuv422p", "yuv422p", "yuv422p10"}, "24000/1001"},
        {24, {"36M", "115M", "175M"}, {"yuv422p", "yuv422p", "yuv422p10"}, nullptr},
        {25, {"36M", "120M", "185M"}, {"yuv422p", "yuv422p", "yuv422p10"}, nullptr},
        {29, {"45M", "145M", "220M"}, {"yuv422p", "yuv422p", "yuv422p"}, "30000/1001"},
        {30, {"45M", "145M", "220M"}, {"yuv422p", "yuv422p", "yuv422p"}, nullptr},
        {50, {"75M", "240M", "365M"}, {"yuv422p", "yuv422p", "yuv422p10"}, nullptr},
        {59, {"90M", "290M", "440M"}, {"yuv422p", "yuv422p", "yuv422p"}, "60000/1001"},
        {60, {"90M", "290M", "440M"}, {"yuv422p", "yuv422p", "yuv422p"}, nullptr},
    };
    const int column = ExportTypes::dnxhdColumn(videoType);
    if (column < 0)
        return false;
    for (const Rate &entry : table) {
        if (entry.f != rFrameRate.integerPart())
            continue;
        row->bitRate = QString::fromLatin1(entry.rate[column]);
        row->pixelFormat = QString::fromLatin1(entry.format[column]);
        row->frameRate = entry.ntscRate ? QString::fromLatin1(entry.ntscRate) : rFrameRate.text();
        return true;
    }
    return false;
}

QStringList VideoFormat::transcodeArguments(VideoExportType videoType, const Fraction &rFrameRate)
{
    if (videoType == VideoExportType::MxfMpeg2)
        return {QStringLiteral("-vcodec"), QStringLiteral("mpeg2video"), QStringLiteral("-b:v"),
                QStringLiteral("50M"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv422p"),
                QStringLiteral("-s"), QStringLiteral("1920x1080")};
    DnxhdRow row;
    if (!dnxhdRow(videoType, rFrameRate, &row))
        return {};
    return {QStringLiteral("-vcodec"), QStringLiteral("dnxhd"), QStringLiteral("-b:v"), row.bitRate,
            QStringLiteral("-pix_fmt"), row.pixelFormat, QStringLiteral("-s"),
            QStringLiteral("1920x1080"), QStringLiteral("-r"), row.frameRate};
}

// A transcode writes the chosen codec at the video's own rate or nothing:
// without a profile for that rate ffmpeg would fall back to a codec or a
// rate of its own choosing.
QString VideoFormat::transcodeRefusal(VideoExportType videoType, const Fraction &rFrameRate)
{
    if (!rFrameRate.isValid())
        return QStringLiteral("the video's frame rate is unknown");
    const QString rate = rateText(rFrameRate.value());
    if (videoType == VideoExportType::MxfMpeg2)
        return isMpeg2Rate(rFrameRate) ? QString() : QStringLiteral("MPEG-2 in MXF cannot be written at %1 fps").arg(rate);
    DnxhdRow row;
    if (!dnxhdRow(videoType, rFrameRate, &row))
        return QStringLiteral("DNxHD has no 1080p profile at %1 fps").arg(rate);
    return {};
}

qint64 VideoFormat::transcodeBitRate(VideoExportType videoType, const Fraction &rFrameRate)
{
    if (!ExportTypes::isDnxhd(videoType))
        return 50000000;
    DnxhdRow row;
    if (dnxhdRow(videoType, rFrameRate, &row))
        return bitsPerSecond(row.bitRate);
    if (ExportTypes::dnxhdColumn(videoType) == 1)
        return 120000000;
    if (ExportTypes::dnxhdColumn(videoType) == 2)
        return 185000000;
    return 36000000;
}

// The timecode track runs at the video's rate. The same nominal rate matches
// (an NTSC pair included: the track takes the video's member), and so does a
// whole multiple, with the label converted; any other pair is refused.
int VideoFormat::timecodeMultiplier(const AudioTCReading &reading, const Fraction &videoRate, QString *mismatch)
{
    const int base = reading.frameRateBase;
    if (base <= 0 || !videoRate.isValid())
        return 1;
    const double rate = videoRate.value();
    const int nominal = qRound(rate);
    if (nominal > 0 && nominal % base == 0)
        return nominal / base;
    const double ltcRate = reading.ntsc ? base * 1000.0 / 1001.0 : reading.frameRateFound;
    *mismatch = QStringLiteral("LTC %1 fps does not match video %2 fps").arg(rateText(ltcRate), rateText(rate));
    return 0;
}
