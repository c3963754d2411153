// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

struct CaseSettings
{
    bool hex = false;
    qint64 size = 0;
    qint64 rate = 0; // bytes per second; 0 is as fast as the dialog drains the port
};

// Runs one case in this process, which must own a QApplication, and prints one line
// "RESULT key=value ..." for the parent to collect. Returns the process exit code.
int runReceiveCase(const CaseSettings &settings);
