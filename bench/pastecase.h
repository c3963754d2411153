// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

struct PasteSettings
{
    bool hex = false; // hex digits pasted in hex input form, or text in plain form
    qint64 size = 0; // characters pasted, line breaks included
    int lineLength = 0; // characters before each line break; 0 is one line
};

// The text a case pastes: random hex digits, or random printable ASCII (a blank in about
// every 95 characters), with a line feed after every lineLength characters.
QString pasteText(const PasteSettings &settings);

// Runs one case in this process, which must own a QApplication: pastes the clipboard into the
// window's send box with Ctrl+V, then types a character at the end and deletes it. The text
// must already be on the clipboard unless fillClipboard is set. Prints one line
// "RESULT key=value ..." for the parent to collect. Returns the process exit code.
int runPasteCase(const PasteSettings &settings, bool fillClipboard);
