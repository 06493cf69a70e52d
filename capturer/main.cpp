// Pictor: mirrors the headset's display in a window on the desktop.
#include "DeviceMessageFilter.h"
#include "LeasedDisplayFrames.h"
#include "MirrorWindow.h"
#include "ScreenGrabber.h"
#include "SessionLock.h"
#include "WindowMark.h"

#include <QApplication>

int main(int argc, char **argv) {
    // Taken before the toolkit starts, so that a second copy leaves without a window or a
    // flicker of one.
    const std::unique_ptr<SessionLock> lock = SessionLock::take();
    if (!lock)
        return 0;

    // The finder speaks in the desktop's own pixels; so do the screens then.
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
    QApplication app(argc, argv);
    DeviceMessageFilter::install();
    QApplication::setApplicationName(QStringLiteral("Pictor"));
    QApplication::setQuitOnLastWindowClosed(true);

    MirrorWindow window(ScreenGrabber::create(), LeasedDisplayFrames::create());
    window.winId();
    markCapturerWindow(window.windowHandle());
    window.show();
    return app.exec();
}
