// SPDX-License-Identifier: MIT
#include "counting.h"

#include <QLCDNumber>
#include <limits>

int addSaturating(int total, qint64 amount)
{
    constexpr qint64 maximum = std::numeric_limits<int>::max();
    return static_cast<int>(qBound<qint64>(0, qint64(total) + qMax<qint64>(amount, 0), maximum));
}

int lcdDigitsFor(int value)
{
    int digits = 1;
    for (int rest = value; rest >= 10 || rest <= -10; rest /= 10)
        ++digits;
    if (value < 0)
        ++digits;
    return qMax(6, digits);
}

void showCount(QLCDNumber *lcd, int value)
{
    const int digits = lcdDigitsFor(value);
    if (lcd->digitCount() != digits)
        lcd->setDigitCount(digits);
    lcd->display(value);
}
