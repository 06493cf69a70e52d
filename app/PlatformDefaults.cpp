#include "PlatformDefaults.h"

#include <QByteArray>
#include <QtGlobal>

PlatformDefaults::PlatformDefaults() {
    // The device messages and the look-up of the running window are X11, so on a Wayland
    // session the utility runs through XWayland.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        choose("QT_QPA_PLATFORM", "xcb");
    // Every widget is drawn by the raster engine. Left to itself, the X11 plugin loads the
    // OpenGL driver stack only to choose the window's visual: on a software renderer that is
    // half of the start-up time and 50 MiB of memory.
    choose("QT_XCB_GL_INTEGRATION", "none");
}

void PlatformDefaults::withdraw() {
    for (const char *name : chosen)
        qunsetenv(name);
    chosen.clear();
}

void PlatformDefaults::choose(const char *name, const char *value) {
    if (!qEnvironmentVariableIsEmpty(name))
        return;
    qputenv(name, QByteArray(value));
    chosen.push_back(name);
}
