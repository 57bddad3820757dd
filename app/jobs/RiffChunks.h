#pragma once

#include <QByteArray>
#include <QVector>

class QFile;

// The chunks of a RIFF/RF64/BW64 WAVE file, in file order, from their headers
// alone: the bext chunk of an export and the probe of a WAV read the same walk.
struct RiffChunks
{
    struct Chunk
    {
        QByteArray id;
        qint64 offset = 0; // of the payload
        quint32 size = 0;  // as written, without the pad byte of an odd size
    };

    QByteArray form;       // "RIFF", "RF64" or "BW64"; empty when not a WAVE file
    QVector<Chunk> chunks;
    // The walk reached the file's end, every chunk within it (false after a
    // chunk whose size runs past the end, an RF64 size kept in ds64, an id
    // that is no chunk id, or more chunks than any recorder writes).
    bool complete = false;

    static RiffChunks read(QFile &file);

    // The first chunk `id`; null when there is none.
    const Chunk *find(const char *id) const;
};
