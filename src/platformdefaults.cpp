// SPDX-License-Identifier: MIT
#include "platformdefaults.h"

#include <QApplication>
#include <QByteArray>

#include <initializer_list>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

void setUnlessSet(const char *name, const char *value)
{
    if (!qEnvironmentVariableIsSet(name))
        qputenv(name, QByteArray(value));
}

bool anySet(std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (qEnvironmentVariableIsSet(name))
            return true;
    }
    return false;
}

} // namespace

void setPlatformDefaults()
{
    // Nothing in the window draws with OpenGL, yet on X11 Qt 5 loads its GLX integration at
    // start and, with it, a driver stack of some 50 MB. A user's own choice stands.
    const bool glChosen
        = anySet({ "QT_XCB_GL_INTEGRATION", "QT_WAYLAND_CLIENT_BUFFER_INTEGRATION" });
    setUnlessSet("QT_XCB_GL_INTEGRATION", "none");

    // On Wayland Qt draws its own title bar only on top of its EGL client-buffer integration,
    // which brings in the same driver stack. GNOME's compositor draws no title bars for its
    // clients, so there the title bar is worth it; elsewhere (KDE Plasma, wlroots) the
    // compositor draws them itself and the window is drawn in shared memory alone.
    if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP")
             .contains(QLatin1String("GNOME"), Qt::CaseInsensitive))
        setUnlessSet("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
    // Qt 5 otherwise gives every window a surface that OpenGL child widgets could join later,
    // and on Wayland that surface loads the EGL integration as well.
    if (!glChosen)
        QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);

#ifdef __GLIBC__
    // glibc raises its threshold for mapping a block on its own to the size of the largest
    // mapped block freed, up to 32 MiB. Once the receive box's text buffer of some megabytes
    // has been freed, the next ones come from the heap, where a growing buffer is copied
    // instead of remapped and freed space is seldom returned: a few megabytes more at the
    // peak of a flood. A fixed threshold keeps them mapped. It is not glibc's starting value
    // of 128 KiB: the layout of a long paragraph (some 140 KiB for 4,096 hex characters) would
    // be mapped, faulted in page by page and unmapped again every time one is laid out.
    if (!anySet({ "MALLOC_MMAP_THRESHOLD_", "GLIBC_TUNABLES" }))
        mallopt(M_MMAP_THRESHOLD, 512 * 1024);
#endif

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 scales every window with the screen's DPI; Qt 5 only when told to (its attribute
    // alone leaves the window at 1x at Xft.dpi 192), and it would round 1.25 and 1.5 to whole
    // numbers. Whoever sets Qt's own scaling variables decides.
    if (!anySet({ "QT_ENABLE_HIGHDPI_SCALING", "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_SCALE_FACTOR",
            "QT_SCREEN_SCALE_FACTORS", "QT_DEVICE_PIXEL_RATIO" }))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", QByteArray("1"));
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR_ROUNDING_POLICY"))
        QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
            Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
    // Icons drawn at the screen's scale rather than enlarged from their 1x picture.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
}
