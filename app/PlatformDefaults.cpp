#include "PlatformDefaults.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
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
    chooseScaling();
}

void PlatformDefaults::withdraw() {
    for (const char *name : chosen)
        qunsetenv(name);
    chosen.clear();
}

void PlatformDefaults::chooseScaling() {
    // The form counts in device-independent pixels, so at 150 % it must be drawn at 150 %, not
    // only with larger fonts in the same pixels. The factor goes through unrounded: rounded up,
    // 150 % becomes a 200 % window taller than a 768-row screen. Qt's own variables
    // (QT_ENABLE_HIGHDPI_SCALING=0, QT_AUTO_SCREEN_SCALE_FACTOR=0, QT_SCREEN_SCALE_FACTORS,
    // QT_SCALE_FACTOR, QT_SCALE_FACTOR_ROUNDING_POLICY) still override all three.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

void PlatformDefaults::choose(const char *name, const char *value) {
    if (!qEnvironmentVariableIsEmpty(name))
        return;
    qputenv(name, QByteArray(value));
    chosen.push_back(name);
}
