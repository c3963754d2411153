// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

class QLCDNumber;

// Byte totals stop at the largest int rather than wrap to a negative count.
int addSaturating(int total, qint64 amount);

// The counters keep their six digits until a total needs more.
int lcdDigitsFor(int value);

void showCount(QLCDNumber *lcd, int value);
