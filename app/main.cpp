#include "DeviceMessageWarnings.h"
#include "MainWindow.h"
#include "NamedConstants.h"
#include "Platform.h"
#include "PlatformDefaults.h"
#include "RunningInstance.h"

#include <QApplication>

#include <cstring>

namespace {

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
    PlatformDefaults platformDefaults;
    DeviceMessageWarnings::silence();
    QCoreApplication::setApplicationName(hlx::kApplicationName);
    QApplication app(argc, argv);

    MainWindow window;
    if (atLogin)
        window.putAway();
    else
        window.show();
    // Both are made now, and with them every choice Qt reads from the environment.
    platformDefaults.withdraw();
    app.installNativeEventFilter(&window);
    return app.exec();
}
