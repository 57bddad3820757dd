#include "BextChunk.h"

#include <QFile>
#include <QList>
#include <QtEndian>

namespace {

// Offsets within the fixed part.
constexpr int originatorOffset = 256;     // originator, reference, date, time
constexpr int timeReferenceOffset = 338;  // 8 bytes, kept from the output
constexpr int versionOffset = 346;        // version, UMID, loudness, reserved

quint32 le32(const char *bytes)
{
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar *>(bytes));
}

// Offset and size of the first chunk `id` of a RIFF/RF64 WAVE file, or -1.
qint64 findChunk(QFile &file, const QByteArray &id, quint32 *size)
{
    char header[12];
    if (!file.seek(0) || file.read(header, 12) != 12)
        return -1;
    const QByteArray magic(header, 4);
    if ((magic != "RIFF" && magic != "RF64" && magic != "BW64") || QByteArray(header + 8, 4) != "WAVE")
        return -1;

    qint64 position = 12;
    const qint64 end = file.size();
    while (position + 8 <= end) {
        char chunk[8];
        if (!file.seek(position) || file.read(chunk, 8) != 8)
            return -1;
        const quint32 chunkSize = le32(chunk + 4);
        if (QByteArray(chunk, 4) == id) {
            if (position + 8 + qint64(chunkSize) > end)
                return -1;
            *size = chunkSize;
            return position + 8;
        }
        // An RF64 data chunk gives its size in ds64 only; bext comes before it.
        if (chunkSize == 0xFFFFFFFFu)
            return -1;
        position += 8 + qint64(chunkSize) + (chunkSize & 1);
    }
    return -1;
}

} // namespace

bool BextChunk::read(const QString &path, QByteArray *payload, qint64 *payloadOffset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    quint32 size = 0;
    const qint64 offset = findChunk(file, QByteArrayLiteral("bext"), &size);
    if (offset < 0 || !file.seek(offset))
        return false;
    *payload = file.read(size);
    if (payload->size() != int(size))
        return false;
    if (payloadOffset)
        *payloadOffset = offset;
    return true;
}

QByteArray BextChunk::description(const QByteArray &payload)
{
    const QByteArray field = payload.left(descriptionSize);
    const int nul = field.indexOf('\0');
    return nul < 0 ? field : field.left(nul);
}

QByteArray BextChunk::describedWithSpeed(const QByteArray &description, const QByteArray &speedLine)
{
    if (speedLine.isEmpty())
        return description.left(descriptionSize);
    if (description.isEmpty())
        return speedLine.left(descriptionSize);

    // Lines keep their own endings ("\r\n" or "\n").
    QList<QByteArray> lines;
    for (int start = 0; start < description.size();) {
        const int newline = description.indexOf('\n', start);
        const int end = newline < 0 ? description.size() : newline + 1;
        lines.append(description.mid(start, end - start));
        start = end;
    }

    bool replaced = false;
    for (QByteArray &line : lines) {
        if (!line.startsWith("sSPEED="))
            continue;
        int textEnd = line.size();
        while (textEnd > 0 && (line.at(textEnd - 1) == '\n' || line.at(textEnd - 1) == '\r'))
            --textEnd;
        line = speedLine + line.mid(textEnd);
        replaced = true;
    }
    if (!replaced)
        lines.prepend(speedLine + (description.contains("\r\n") ? "\r\n" : "\n"));

    QByteArray result;
    for (const QByteArray &line : qAsConst(lines)) {
        if (result.size() + line.size() > descriptionSize)
            break;
        result += line;
    }
    if (result.isEmpty())
        result = lines.first().left(descriptionSize);
    return result;
}

bool BextChunk::carryOver(const QString &sourcePath, const QString &outputPath,
                          const QByteArray &speedLine, QString *error)
{
    QByteArray written;
    qint64 writtenOffset = 0;
    if (!read(outputPath, &written, &writtenOffset) || written.size() < fixedSize) {
        *error = QStringLiteral("the written file has no complete bext chunk");
        return false;
    }

    QByteArray fixed = written.left(fixedSize);
    QByteArray source;
    QByteArray sourceDescription;
    if (read(sourcePath, &source, nullptr) && source.size() >= timeReferenceOffset) {
        sourceDescription = description(source);
        fixed.replace(originatorOffset, timeReferenceOffset - originatorOffset,
                      source.mid(originatorOffset, timeReferenceOffset - originatorOffset));
        const QByteArray tail = source.mid(versionOffset, fixedSize - versionOffset);
        fixed.replace(versionOffset, tail.size(), tail);
    }
    const QByteArray text = describedWithSpeed(sourceDescription, speedLine);
    fixed.replace(0, descriptionSize, text + QByteArray(descriptionSize - text.size(), '\0'));

    QFile output(outputPath);
    if (!output.open(QIODevice::ReadWrite) || !output.seek(writtenOffset)
        || output.write(fixed) != fixedSize || !output.flush()) {
        *error = output.errorString();
        return false;
    }
    return true;
}
