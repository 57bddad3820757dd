#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Media for the controller's tests, made with the real ffmpeg and our ltcgen.
namespace ControlMedia {

// One audio stream: `channels` channels, LTC on `ltcChannel` (none when
// negative) starting at `start`, and a distinct sine tone on every other channel.
struct Audio
{
    int channels = 2;
    int ltcChannel = 1;
    QString start = QStringLiteral("10:00:00:00");
    QString fps = QStringLiteral("25");
};

// Tone frequency of channel c of stream s: distinct for every channel.
int toneHz(int stream, int channel);

// Runs ffmpeg (-v error -y first); true on exit code 0.
bool ffmpeg(const QStringList &arguments, QString *errors = nullptr);

// Writes a 48 kHz 16-bit WAV holding one audio stream as described.
// Tones are those of stream number `streamNumber` (toneHz).
bool makeWav(const QString &path, const Audio &audio, double seconds = 4.0,
             const QStringList &ltcgenExtra = {}, int streamNumber = 0);

// Writes a clip with a 64x64 video stream at 25 fps (unless `video` is false)
// followed by the given audio streams, 16-bit PCM. `extra` goes before the
// output name (for example "-timecode" and a text, or "-c:v" "mpeg2video").
bool makeClip(const QString &path, const QList<Audio> &audio, const QStringList &extra = {},
              double seconds = 4.0, bool video = true);

// ffprobe's report of a file.
QByteArray probe(const QString &path);

} // namespace ControlMedia
