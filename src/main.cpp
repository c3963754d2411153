// SPDX-License-Identifier: MIT
#include "dialog.h"

#include <QApplication>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

int main(int argc, char **argv)
{
    // Nothing in the window draws with OpenGL, yet on X11 Qt loads its GLX integration and,
    // with it, a driver stack of some 50 MB. Only a default: a user's own choice stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 has no text codecs: its locale encoding is always UTF-8.
    QTextCodec::setCodecForLocale(QTextCodec::codecForLocale());
#endif
    Dialog dialog(nullptr);
    dialog.show();
    return app.exec();
}
