#pragma once

#include <QString>

// A rate as ffprobe writes it ("25/1", "30000/1001"), kept exactly: the
// numbers written, not a rounded double.
struct Fraction
{
    qint64 num = 0;
    qint64 den = 0;
    QString written; // the text it was read from

    // "num/den" (or a plain number); an unreadable text gives an invalid rate.
    static Fraction fromText(const QString &text);

    // Both parts positive: a rate that can be computed with.
    bool isValid() const { return num > 0 && den > 0; }
    double value() const { return isValid() ? double(num) / double(den) : 0.0; }
    // Integer part; 0 when invalid.
    int integerPart() const { return isValid() ? int(num / den) : 0; }
    // As it was written ("25/1"); empty for a rate the probe did not give.
    const QString &text() const { return written; }
    // The same rate however written: 25/1 and 25, 30000/1001 and 60000/2002.
    bool sameRate(const Fraction &other) const
    {
        return isValid() && other.isValid() && num * other.den == other.num * den;
    }
};
