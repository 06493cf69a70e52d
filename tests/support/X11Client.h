#pragma once

#include "XcbConnection.h"

#include <QByteArray>
#include <QPair>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <xcb/xcb.h>

#include <vector>

namespace testsupport {

// Looks at and drives an X display from outside the program under test, through a connection of
// its own, the way a window manager or a user would.
class X11Client {
public:
    // A null name means $DISPLAY.
    explicit X11Client(const QString &displayName = QString());

    bool isConnected() const;

    // An empty title matches any title. Searches three levels below the root, mapped or not, so
    // that windows reparented into window-manager frames or tray docks are found too.
    std::vector<xcb_window_t> findTopLevels(const QByteArray &wmClassClass, const QString &title);
    bool isViewable(xcb_window_t window);
    // WM_HINTS asks for the iconic state: what a window manager reads from a window that was
    // minimised before or while it was mapped.
    bool asksToBeIconic(xcb_window_t window);
    // _MOTIF_WM_HINTS asks for no decorations: a window that a window manager leaves without a
    // title bar or border, as Qt's frameless ones.
    bool asksToBeFrameless(xcb_window_t window);
    // An invalid rectangle if the window does not exist.
    QRect rootGeometry(xcb_window_t window);
    xcb_window_t inputFocus();
    // Bottom to top.
    std::vector<xcb_window_t> rootStackingOrder();
    // _NET_WM_NAME, else WM_NAME; a null string if the window has neither.
    QString title(xcb_window_t window);
    // The process that owns the window, from _NET_WM_PID; 0 where the window does not say.
    qint64 processId(xcb_window_t window);
    // Minimum and maximum size from WM_NORMAL_HINTS; an invalid size where the hint is unset.
    QPair<QSize, QSize> sizeHints(xcb_window_t window);

    bool sendDeleteWindow(xcb_window_t window);
    // What a window manager does to a window the user minimises (ICCCM 4.1.4): unmaps it and
    // marks it Iconic in WM_STATE. For displays that have no window manager.
    bool iconifyAsWindowManager(xcb_window_t window);
    bool setInputFocus(xcb_window_t window);

    // A window of some other program, to check that searches are not fooled by look-alikes. It
    // lives as long as this client.
    xcb_window_t createTopLevel(const QByteArray &wmClassInstance, const QByteArray &wmClassClass,
                                const QString &title, const QRect &geometry, bool mapped);
    bool destroyWindow(xcb_window_t window);
    // The X resources that programs started from now on read, as xrdb loads them ("Xft.dpi:
    // 144" is what a desktop at 150 % sets); empty removes them.
    bool setResources(const QByteArray &resources);

    // Counts windows created and mapped as children of the root since the last
    // startWatchingRoot(), leaving out this client's own windows. Any Qt GUI process also creates
    // unmapped helper windows, so the mapped count is the surer sign of a window a user would see.
    bool startWatchingRoot();
    int countCreatedWindows();
    int countMappedWindows();

    // Synthesised with XTest, so the server delivers them like real device input.
    bool moveTo(const QPoint &rootPos);
    bool click(const QPoint &rootPos, int button = 1);
    bool doubleClick(const QPoint &rootPos);
    // Adds Shift when the keysym sits on the shifted level of its key; false if no key has it.
    bool pressKey(xcb_keysym_t keysym);

    bool sync();

private:
    QByteArray property(xcb_window_t window, xcb_atom_t property, xcb_atom_t *type = nullptr);
    std::vector<xcb_window_t> children(xcb_window_t window);
    void collectMatches(xcb_window_t parent, int depth, const QByteArray &wmClassClass,
                        const QString &title, std::vector<xcb_window_t> &matches);
    void setStringProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                           const QByteArray &value);
    void drainRootEvents();
    bool fakeInput(uint8_t type, uint8_t detail, const QPoint &rootPos = QPoint());
    bool keyCodeFor(xcb_keysym_t keysym, xcb_keycode_t &keycode, bool &needsShift);

    XcbConnection m_connection;
    bool m_hasXTest = false;
    int m_createdWindows = 0;
    int m_mappedWindows = 0;
};

} // namespace testsupport
