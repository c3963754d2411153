// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

struct CaseSettings
{
    // plain (Latin), chinese, devanagari, thai, bmp: text lines shown as text; noise: random
    // bytes shown as text; hex: random bytes shown in hex.
    QString form = "plain";
    qint64 size = 0;
    qint64 rate = 0; // bytes per second; 0 is as fast as the dialog drains the port
    // Click the connect button the moment every byte has been read, while the box is behind.
    bool closeWhileBehind = false;

    bool hex() const { return form == "hex"; }
    QString payload() const
    {
        return form == "plain" ? "latin" : form == "hex" || form == "noise" ? "random" : form;
    }
};

bool isReceiveForm(const QString &form);

// Runs one case in this process, which must own a QApplication, and prints one line
// "RESULT key=value ..." for the parent to collect. Returns the process exit code.
int runReceiveCase(const CaseSettings &settings);
