#pragma once

#include <QByteArray>
#include <QString>

// The broadcast-extension ("bext") chunk of a WAV file, where recorders put
// the take's description (sSPEED, sTAKE, sSCENE lines), originator and time
// reference.
//
// ffmpeg re-wraps a WAV with the description moved into a LIST/INFO comment,
// the originator moved to INFO and the dates and loudness fields dropped; the
// export puts them back into the written file's bext chunk, in place.
class BextChunk
{
public:
    // Fixed part before the coding history.
    static constexpr int fixedSize = 602;
    static constexpr int descriptionSize = 256;
    // Offsets within the fixed part.
    static constexpr int originatorOffset = 256;    // originator, reference, date, time
    static constexpr int timeReferenceOffset = 338; // 8 bytes
    static constexpr int versionOffset = 346;       // version, UMID, loudness, reserved
    static constexpr int umidOffset = 348;          // 64 bytes

    // Payload of the file's bext chunk and its offset in the file; false when
    // the file is not a RIFF/RF64 WAVE file or holds no bext chunk.
    static bool read(const QString &path, QByteArray *payload, qint64 *payloadOffset = nullptr);

    // Description text of a payload (up to the first NUL).
    static QByteArray description(const QByteArray &payload);
    // A text field's bytes up to the first NUL, as C strings end.
    static QByteArray text(const QByteArray &field);

    // The description with every line that starts with "sSPEED=" replaced by
    // speedLine, or with speedLine added as the first line; unchanged for an
    // empty speedLine, exactly speedLine for an empty description. Trailing
    // lines that no longer fit the 256-byte field are dropped.
    static QByteArray describedWithSpeed(const QByteArray &description, const QByteArray &speedLine);

    // Gives the bext chunk of `outputPath` the source's description (with the
    // new speed line), originator, originator reference, origination date and
    // time, version, UMID and loudness fields; the output's own time reference
    // and coding history stay. A source without a bext chunk contributes
    // nothing but the speed line. False, with `error` set, when the output has
    // no complete bext chunk or cannot be written.
    static bool carryOver(const QString &sourcePath, const QString &outputPath,
                          const QByteArray &speedLine, QString *error);
};
