#pragma once

#include "XcbConnection.h"

#include <QAbstractNativeEventFilter>
#include <QPoint>
#include <QRect>
#include <QSocketNotifier>
#include <QString>

#include <xcb/xcb.h>

#include <memory>
#include <vector>

namespace testsupport {

// A bare XEmbed system tray, so that QSystemTrayIcon has somewhere to dock on a display without a
// desktop environment. It answers dock requests from the Qt event loop, so icons of this process
// and of other processes dock while a test waits in QTest::qWait, QTRY_* or a modal dialog.
class TrayHost : private QAbstractNativeEventFilter {
public:
    static constexpr QRect area{1000, 0, 200, 40};

    // A null name means $DISPLAY.
    explicit TrayHost(const QString &displayName = QString());

    // Claims the tray selection of the display's default screen and announces it. When this
    // process's Qt is on the same display, also waits until Qt has seen the announcement: Qt
    // tears down and re-docks every tray icon it has when one arrives, so a late one would
    // replace the icon under a test's feet.
    bool start();

    // As of the last time the event loop or a TrayHost call looked; oldest first.
    const std::vector<xcb_window_t> &dockedIcons() const { return m_icons; }
    // Until an icon is docked and viewable.
    bool waitForIcon(int timeoutMs);
    // In root coordinates; a null point if there is no such icon.
    QPoint iconCentre(int index = 0);

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;
    bool sharesDisplayWithQt() const;
    bool waitUntilQtSawAnnouncement();
    void processPendingEvents();
    void handleEvent(const xcb_generic_event_t &event);
    void dock(xcb_window_t icon);
    void forget(xcb_window_t icon);
    bool isViewable(xcb_window_t window);

    QString m_displayName;
    XcbConnection m_connection;
    bool m_qtSawAnnouncement = false;
    xcb_window_t m_container = XCB_NONE;
    std::vector<xcb_window_t> m_icons;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace testsupport
