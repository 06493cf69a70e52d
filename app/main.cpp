#include "DeviceMessageWarnings.h"
#include "MainWindow.h"
#include "NamedConstants.h"
#include "Platform.h"
#include "RunningInstance.h"

#include <QApplication>
#include <QByteArray>

#include <cstring>

namespace {

// The device messages and the look-up of the running window are X11, so on a Wayland
// session the utility runs through XWayland unless the user chose a platform.
void preferX11OnWayland() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
}

bool startedAtLogin(int argc, char *argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], hlx::kAutostartOption) == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[]) {
    // Decided before any Qt object exists: a second start must stay invisible and cheap.
    const platform::NamedLock lock = platform::createNamedLock(hlx::kInstanceMutexName);
    if (lock.heldElsewhere && !RunningInstance::endedBeforeItsWindowWasFound(lock.handle)) {
        platform::closeNamedLock(lock.handle);
        return 0;
    }

    const bool atLogin = startedAtLogin(argc, argv);
    preferX11OnWayland();
    DeviceMessageWarnings::silence();
    QCoreApplication::setApplicationName(hlx::kApplicationName);
    QApplication app(argc, argv);

    MainWindow window;
    if (atLogin)
        window.putAway();
    else
        window.show();
    app.installNativeEventFilter(&window);
    return app.exec();
}
