#include "DemoOptions.h"
#include "DemoWindow.h"
#include "DisplayChoice.h"
#include "DisplayWatch.h"
#include "Say.h"
#include "ShowCommand.h"

#include "HeadsetDisplayFinder.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QWindow>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumeshow"));
    const DemoOptions options = DemoOptions::parse(QApplication::arguments().mid(1));
    for (const QString &problem : options.problems)
        say(problem);

    // -adapter counts in QGuiApplication::screens() order, the order every Qt program on this
    // desktop lists the displays in (on X11 the primary display comes first).
    const QList<QScreen *> screens = QGuiApplication::screens();
    QVector<QRect> rects;
    for (const QScreen *screen : screens)
        rects << nativeGeometry(screen);
    const int primary = int(screens.indexOf(QGuiApplication::primaryScreen()));

    const hlx::HeadsetDisplay headset = hlx::HeadsetDisplayFinder().find();
    std::optional<QRect> headsetRect;
    if (headset.place == hlx::HeadsetDisplay::Place::Desktop)
        headsetRect =
            QRect(headset.rect.x, headset.rect.y, headset.rect.width, headset.rect.height);

    const DisplayChoice choice =
        DisplayChoice::choose(rects, primary, headsetRect, options.adapter);
    if (!choice.note.isEmpty())
        say(choice.note);
    QScreen *screen = screens.at(choice.index);
    const bool onHeadset = choice.reason == DisplayChoice::Reason::Headset;
    // Where the asked-for display is missing, a window on the primary display is less of a
    // surprise than taking over the user's own monitor.
    const bool fullscreen = options.fullscreen && choice.reason != DisplayChoice::Reason::Primary;

    DemoWindow window(QSize(options.width, options.height));
    window.setWindowTitle(
        QStringLiteral("Lumeshow — %1")
            .arg(onHeadset ? QString::fromStdString(headset.headset) : screen->name()));
    window.setWindowFlag(Qt::FramelessWindowHint, fullscreen);
    window.winId();
    window.windowHandle()->setScreen(screen);
    if (fullscreen) {
        window.setGeometry(screen->geometry());
    } else {
        const QRect area = screen->availableGeometry();
        const qreal ratio = screen->devicePixelRatio();
        const QSize size =
            (QSizeF(options.width, options.height) / ratio).toSize().boundedTo(area.size());
        window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, area));
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
