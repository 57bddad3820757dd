#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The audio codecs an export may write, and which of them each container takes.
class AudioCodecs
{
public:
    // Audio codecs an unchanged-audio export passes through as they are.
    static const QStringList &table();
    // The codecs a container takes, named by its suffix in any case ("mov",
    // "mxf", "wav"); any other takes the whole table.
    static const QSet<QString> &acceptedBy(const QString &suffix);
};
