#pragma once

#include "X11Client.h"

#include <QHash>
#include <QPoint>
#include <QScopedPointer>
#include <QStringList>

#include <vector>

class MainWindow;
class QAction;

// A person's hands on the utility's window, from outside through the X server. Where a
// control sits is measured on a window of the same build in the test process, which lays out
// exactly as the utility's does; the menus' popups are found on the screen as they open.
class UtilityWindow {
public:
    explicit UtilityWindow(testsupport::X11Client &x);
    ~UtilityWindow();
    UtilityWindow(const UtilityWindow &) = delete;
    UtilityWindow &operator=(const UtilityWindow &) = delete;

    // Clicks the push button with this object name in the utility's window.
    bool press(xcb_window_t window, const QString &button);
    // The menu paths of the two eye-shield entries.
    static QStringList levelOne() { return {"Tools", "Eyeshield", "EnableEyeshield", "Level 1"}; }
    static QStringList disableEyeshield() { return {"Tools", "Eyeshield", "DisableEyeshield"}; }

    // Opens the menu bar's menus along the entry texts of `path` and clicks the last entry.
    bool choose(xcb_window_t window, const QStringList &path);
    // Clicks the menu bar's entry with this text and returns the popup once it is shown, or none
    // if it is not within the time given.
    xcb_window_t openMenu(xcb_window_t window, const QString &title, int timeoutMs = 5000);

    // The utility's viewable top-level windows with this title: Qt may keep the X window of a
    // box that was answered, so only shown ones count.
    std::vector<xcb_window_t> shown(const QString &title);
    // Waits for exactly one shown window with this title and returns it.
    xcb_window_t waitForOne(const QString &title, int timeoutMs = 10000);

private:
    std::vector<xcb_window_t> shownPopups(xcb_window_t window);
    xcb_window_t waitForNewPopup(xcb_window_t window, const std::vector<xcb_window_t> &before,
                                 int timeoutMs = 5000);
    QPoint onMenuBar(xcb_window_t window, QAction *entry);

    testsupport::X11Client &x;
    QScopedPointer<MainWindow> reference;
};
