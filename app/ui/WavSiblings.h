#pragma once

#include "FileData.h"

#include <QMap>
#include <QVector>

// Multi-file recordings: the WAV files of one take are written one after
// another at the same moment with the same length. Finds the rows that may be
// such siblings of a row without a walk over the whole table.
class WavSiblings
{
public:
    static bool isWav(const FileData &record);
    // Both WAV, written within 2 s of each other, lengths within 0.05 s.
    static bool areSiblings(const FileData &first, const FileData &second);

    void clear() { rowsByModified.clear(); }
    // Rows are added in ascending order.
    void add(int row, const FileData &record);
    // WAV rows written close enough in time to `record` to be its siblings, in ascending row order.
    QVector<int> near(const FileData &record) const;

private:
    QMap<qint64, QVector<int>> rowsByModified;
};
