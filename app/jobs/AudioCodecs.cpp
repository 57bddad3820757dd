#include "AudioCodecs.h"

namespace {

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

const QStringList &AudioCodecs::table()
{
    static const QStringList table{
        QStringLiteral("pcm_s24be"), QStringLiteral("pcm_s24le"), QStringLiteral("pcm_s16be"),
        QStringLiteral("pcm_s16le"), QStringLiteral("pcm_s32be"), QStringLiteral("pcm_s32le"),
        QStringLiteral("pcm_alaw"),  QStringLiteral("pcm_f32be"), QStringLiteral("pcm_f32le"),
        QStringLiteral("pcm_f64be"), QStringLiteral("pcm_f64le"), QStringLiteral("pcm_mulaw"),
        QStringLiteral("pcm_s8"),    QStringLiteral("pcm_u16be"), QStringLiteral("pcm_u16le"),
        QStringLiteral("pcm_u24be"), QStringLiteral("pcm_u24le"), QStringLiteral("pcm_u32be"),
        QStringLiteral("pcm_u32le"), QStringLiteral("pcm_u8"),    QStringLiteral("aac"),
        QStringLiteral("ac3"),
    };
    return table;
}

// Codecs each muxer of our ffmpeg takes (measured with ffmpeg 5.1).
const QSet<QString> &AudioCodecs::acceptedBy(const QString &suffix)
{
    static const QSet<QString> mxf{QStringLiteral("pcm_s16le"), QStringLiteral("pcm_s24le")};
    static const QSet<QString> wav{
        QStringLiteral("pcm_s24le"), QStringLiteral("pcm_s16le"), QStringLiteral("pcm_s32le"),
        QStringLiteral("pcm_alaw"),  QStringLiteral("pcm_f32le"), QStringLiteral("pcm_f64le"),
        QStringLiteral("pcm_mulaw"), QStringLiteral("pcm_u8"),    QStringLiteral("aac"),
        QStringLiteral("ac3")};
    static const QSet<QString> quickTime = [] {
        QSet<QString> all;
        for (const QString &name : table())
            if (!name.startsWith(QLatin1String("pcm_u")) || name == QLatin1String("pcm_u8"))
                all.insert(name);
        return all;
    }();
    static const QSet<QString> any(table().begin(), table().end());

    if (sameText(suffix, QStringLiteral("mov")))
        return quickTime;
    if (sameText(suffix, QStringLiteral("mxf")))
        return mxf;
    if (sameText(suffix, QStringLiteral("wav")))
        return wav;
    return any;
}
