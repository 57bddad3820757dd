#include "RiffChunks.h"

#include <QFile>
#include <QtEndian>

namespace {

// Far more than any recorder writes; a zero-filled or damaged tail would
// otherwise be walked eight bytes at a time.
constexpr int mostChunks = 1000;

bool isChunkId(const char *id)
{
    for (int i = 0; i < 4; ++i)
        if (id[i] < 0x20 || id[i] > 0x7e)
            return false;
    return true;
}

} // namespace

RiffChunks RiffChunks::read(QFile &file)
{
    RiffChunks riff;
    char header[12];
    if (!file.seek(0) || file.read(header, 12) != 12)
        return riff;
    const QByteArray magic(header, 4);
    if ((magic != "RIFF" && magic != "RF64" && magic != "BW64") || QByteArray(header + 8, 4) != "WAVE")
        return riff;
    riff.form = magic;

    qint64 position = 12;
    const qint64 end = file.size();
    while (position + 8 <= end) {
        char chunk[8];
        if (!file.seek(position) || file.read(chunk, 8) != 8 || !isChunkId(chunk)
            || riff.chunks.size() == mostChunks)
            return riff;
        const quint32 size = qFromLittleEndian<quint32>(reinterpret_cast<const uchar *>(chunk + 4));
        // An RF64 data chunk gives its size in ds64 only.
        if (size == 0xFFFFFFFFu)
            return riff;
        riff.chunks.append({QByteArray(chunk, 4), position + 8, size});
        if (position + 8 + qint64(size) > end)
            return riff;
        position += 8 + qint64(size) + (size & 1);
    }
    riff.complete = true;
    return riff;
}

const RiffChunks::Chunk *RiffChunks::find(const char *id) const
{
    for (const Chunk &chunk : chunks)
        if (chunk.id == id)
            return &chunk;
    return nullptr;
}
