#include "DemoOptions.h"
#include "DemoWindow.h"
#include "DeviceMessageFilter.h"
#include "DirectModeDemo.h"
#include "DisplayChoice.h"
#include "DisplayWatch.h"
#include "LeasedDisplayHooks.h"
#include "Say.h"
#include "ShowCommand.h"

#include "HeadsetDisplayFinder.h"
#include "HeadsetOnUsb.h"

#include <QApplication>
#include <QScreen>
#include <QWindow>

namespace {

// What the demo tells the user of the headset: its display wherever it is, else its USB devices,
// which say a headset is there even while its display is unplugged or the system hides it.
// `directModeRefusal`: why the headset's display could not be had in direct mode, if it was
// tried.
DisplayChoice::Headset knownHeadset(const hlx::HeadsetDisplay &display,
                                    const QString &directModeRefusal) {
    DisplayChoice::Headset known;
    switch (display.place) {
    case hlx::HeadsetDisplay::Place::Desktop:
        known.name = QString::fromStdString(display.headset);
        known.rect = QRect(display.rect.x, display.rect.y, display.rect.width, display.rect.height);
        break;
    case hlx::HeadsetDisplay::Place::OffDesktop:
        known.name = QString::fromStdString(display.headset);
        known.unusable = QString::fromStdString(display.why);
        break;
    case hlx::HeadsetDisplay::Place::None: {
        const std::string onUsb = hlx::headsetOnUsb();
        if (!onUsb.empty()) {
            known.name = QStringLiteral("the %1 on USB").arg(QString::fromStdString(onUsb));
            known.unusable = QStringLiteral("no display connected now is a headset's");
        }
        break;
    }
    }
    if (!directModeRefusal.isEmpty())
        known.unusable +=
            QStringLiteral(", and it could not be had in direct mode: %1").arg(directModeRefusal);
    return known;
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumeshow"));
    DeviceMessageFilter::install();
    const DemoOptions options = DemoOptions::parse(QApplication::arguments().mid(1));
    for (const QString &problem : options.problems)
        say(problem);

    const hlx::HeadsetDisplay headset = hlx::HeadsetDisplayFinder().find();
    // Why the headset's display, kept off the desktop, could not be shown on in direct mode;
    // empty where that was not tried.
    QString directModeRefusal;
    // Only a display the system keeps for VR software; one merely switched off stays the user's.
    if (headset.place == hlx::HeadsetDisplay::Place::OffDesktop && headset.directMode) {
        const std::unique_ptr<DirectModeDemo> direct =
            DirectModeDemo::start(headset, leasedDisplayHooks(), &directModeRefusal);
        if (direct)
            return app.exec();
    }

    // -adapter counts in QGuiApplication::screens() order, the order every Qt program on this
    // desktop lists the displays in (on X11 the primary display comes first).
    const QList<QScreen *> screens = QGuiApplication::screens();
    QVector<QRect> rects;
    for (const QScreen *screen : screens)
        rects << nativeGeometry(screen);
    const int primary = int(screens.indexOf(QGuiApplication::primaryScreen()));

    const DisplayChoice choice = DisplayChoice::choose(
        rects, primary, knownHeadset(headset, directModeRefusal), options.adapter);
    if (!choice.note.isEmpty())
        say(choice.note);
    QScreen *screen = screens.at(choice.index);
    const bool onHeadset = choice.reason == DisplayChoice::Reason::Headset;
    const bool fullscreen = options.fullscreen && choice.mayFillScreen();

    DemoWindow window(QSize(options.width, options.height));
    window.setWindowTitle(
        QStringLiteral("Lumeshow — %1")
            .arg(onHeadset ? QString::fromStdString(headset.headset) : screen->name()));
    // Whoever looks for the demo in the headset finds it on their monitor, and there learns why.
    if (choice.reason == DisplayChoice::Reason::HeadsetUnusable)
        window.setCaption(choice.note.left(1).toUpper() + choice.note.mid(1) + '.');
    window.setWindowFlag(Qt::FramelessWindowHint, fullscreen);
    window.winId();
    window.windowHandle()->setScreen(screen);
    if (fullscreen) {
        window.setGeometry(screen->geometry());
    } else {
        const QSizeF requested = QSizeF(options.width, options.height) / screen->devicePixelRatio();
        window.setGeometry(
            DemoWindow::windowRect(requested.toSize(), screen->availableGeometry(), onHeadset));
    }

    switch (startupShowCommand()) {
    case ShowCommand::Hidden:
        break;
    case ShowCommand::Minimized:
        // Restored, it comes back on the geometry set above.
        window.showMinimized();
        break;
    case ShowCommand::Normal:
        // Full screen as well as frameless, so that a window manager keeps its panels off it.
        if (fullscreen)
            window.showFullScreen();
        else
            window.show();
        window.activateWindow();
        break;
    }

    DisplayWatch watch(screen, onHeadset);
    window.follow(screen, fullscreen);
    return app.exec();
}
