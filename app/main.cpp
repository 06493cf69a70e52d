#include "DeviceMessageWarnings.h"
#include "MainWindow.h"
#include "NamedConstants.h"
#include "Platform.h"
#include "RunningInstance.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    // Decided before any Qt object exists: a second start must stay invisible and cheap.
    const platform::NamedLock lock = platform::createNamedLock(hlx::kInstanceMutexName);
    if (lock.heldElsewhere && !RunningInstance::endedBeforeItsWindowWasFound(lock.handle)) {
        platform::closeNamedLock(lock.handle);
        return 0;
    }

    DeviceMessageWarnings::silence();
    QCoreApplication::setApplicationName(hlx::kApplicationName);
    QApplication app(argc, argv);

    MainWindow window;
    window.show();
    app.installNativeEventFilter(&window);
    return app.exec();
}
