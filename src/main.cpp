// SPDX-License-Identifier: MIT
#include "debuglog.h"
#include "dialog.h"
#include "platformdefaults.h"

#include <QApplication>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

int main(int argc, char **argv)
{
    setPlatformDefaults();
    QApplication app(argc, argv);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 has no text codecs: its locale encoding is always UTF-8.
    QTextCodec::setCodecForLocale(QTextCodec::codecForLocale());
#endif
    const DebugLogBuffer debugLog;
    Dialog dialog(nullptr);
    dialog.show();
    return app.exec();
}
