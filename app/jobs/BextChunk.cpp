#include "BextChunk.h"

#include "RiffChunks.h"

#include <QFile>
#include <QList>

bool BextChunk::read(const QString &path, QByteArray *payload, qint64 *payloadOffset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const RiffChunks riff = RiffChunks::read(file);
    const RiffChunks::Chunk *bext = riff.find("bext");
    if (!bext || bext->offset + bext->size > file.size() || !file.seek(bext->offset))
        return false;
    *payload = file.read(bext->size);
    if (payload->size() != int(bext->size))
        return false;
    if (payloadOffset)
        *payloadOffset = bext->offset;
    return true;
}

QByteArray BextChunk::description(const QByteArray &payload)
{
    return text(payload.left(descriptionSize));
}

QByteArray BextChunk::text(const QByteArray &field)
{
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
