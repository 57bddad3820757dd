#include "WavSiblings.h"

#include <algorithm>
#include <limits>

namespace {

// A recorder writes the files of one take one after another, tens of
// milliseconds apart, and card file systems keep times to 10 ms (exFAT) or
// 2 s (FAT).
constexpr qint64 timeToleranceMs = 2000;
constexpr double lengthTolerance = 0.05;
constexpr qint64 noTime = std::numeric_limits<qint64>::min();

qint64 modifiedKey(const FileData &record)
{
    return record.lastModified.isValid() ? record.lastModified.toMSecsSinceEpoch() : noTime;
}

} // namespace

bool WavSiblings::isWav(const FileData &record)
{
    return record.suffix.compare(QLatin1String("wav"), Qt::CaseInsensitive) == 0;
}

bool WavSiblings::areSiblings(const FileData &first, const FileData &second)
{
    return isWav(first) && isWav(second) && first.lastModified.isValid() && second.lastModified.isValid()
           && qAbs(first.lastModified.msecsTo(second.lastModified)) <= timeToleranceMs
           && qAbs(first.duration - second.duration) < lengthTolerance;
}

void WavSiblings::add(int row, const FileData &record)
{
    if (isWav(record))
        rowsByModified[modifiedKey(record)].append(row);
}

QVector<int> WavSiblings::near(const FileData &record) const
{
    const qint64 key = modifiedKey(record);
    QVector<int> rows;
    if (key == noTime)
        return rows;
    const auto end = rowsByModified.upperBound(key + timeToleranceMs);
    for (auto it = rowsByModified.lowerBound(key - timeToleranceMs); it != end; ++it)
        rows += it.value();
    std::sort(rows.begin(), rows.end());
    return rows;
}
