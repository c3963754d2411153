// SPDX-License-Identifier: MIT
#include "platformdefaults.h"

#include <QByteArray>

void setPlatformDefaults()
{
    // Nothing in the window draws with OpenGL, yet on X11 Qt 5 loads its GLX integration at
    // start and, with it, a driver stack of some 50 MB. A user's own choice stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", QByteArray("none"));
}
