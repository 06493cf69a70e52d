#include "DisplayWatch.h"

#include "Say.h"

#include "HeadsetDisplayFinder.h"

#include <QGuiApplication>
#include <QScreen>

DisplayWatch::DisplayWatch(QScreen *screen, bool isHeadset, QObject *parent)
    : QObject(parent)
    , m_screen(screen)
    , m_isHeadset(isHeadset) {
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &DisplayWatch::screenRemoved);
    if (!m_isHeadset)
        return;
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &DisplayWatch::desktopChanged);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &DisplayWatch::desktopChanged);
    connect(m_screen, &QScreen::geometryChanged, this, &DisplayWatch::desktopChanged);
}

void DisplayWatch::screenRemoved(QScreen *screen) {
    // Compared by address only: the screen is being destroyed.
    if (screen == m_screen)
        end(QStringLiteral("its display %1 left the desktop").arg(screen->name()));
    else
        desktopChanged();
}

void DisplayWatch::desktopChanged() {
    if (!m_isHeadset || m_ended)
        return;
    const hlx::HeadsetDisplay headset = hlx::HeadsetDisplayFinder().find();
    if (headset.place != hlx::HeadsetDisplay::Place::Desktop)
        end(QStringLiteral("the headset's display left the desktop"));
}

void DisplayWatch::end(const QString &why) {
    if (m_ended)
        return;
    m_ended = true;
    say(QStringLiteral("ending: %1").arg(why));
    QCoreApplication::exit(0);
}
