#include "Fraction.h"

#include <QStringList>

Fraction Fraction::fromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    bool numOk = false;
    bool denOk = true;
    Fraction rate;
    rate.written = text;
    rate.num = parts.first().trimmed().toLongLong(&numOk);
    rate.den = parts.size() > 1 ? parts.last().trimmed().toLongLong(&denOk) : 1;
    if (!numOk || !denOk)
        rate.num = rate.den = 0;
    return rate;
}
