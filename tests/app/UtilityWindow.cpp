#include "UtilityWindow.h"

#include "MainWindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>

#include <algorithm>

UtilityWindow::UtilityWindow(testsupport::X11Client &client)
    : x(client)
    , reference(new MainWindow) {
    // Laid out as when shown, but never mapped, so it cannot be taken for the utility's.
    reference->setAttribute(Qt::WA_DontShowOnScreen);
    reference->show();
    // Its icon would otherwise dock in a test's tray beside the utility's.
    for (QSystemTrayIcon *icon : reference->findChildren<QSystemTrayIcon *>())
        icon->hide();
}

UtilityWindow::~UtilityWindow() = default;

bool UtilityWindow::press(xcb_window_t window, const QString &button) {
    auto *control = reference->findChild<QPushButton *>(button);
    if (control == nullptr)
        return false;
    const QPoint offset = control->mapTo(reference.data(), control->rect().center());
    return x.click(x.rootGeometry(window).topLeft() + offset);
}

bool UtilityWindow::choose(xcb_window_t window, const QStringList &path) {
    QList<QAction *> entries = reference->menuBar()->actions();
    const QMenu *menu = nullptr;
    xcb_window_t popup = XCB_WINDOW_NONE;
    for (const QString &text : path) {
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [&](QAction *entry) { return entry->text() == text; });
        if (found == entries.end())
            return false;
        const QPoint where = menu == nullptr ? onMenuBar(window, *found)
                                             : x.rootGeometry(popup).topLeft() +
                                                   menu->actionGeometry(*found).center();
        const std::vector<xcb_window_t> before = shownPopups(window);
        if (!x.click(where))
            return false;
        menu = (*found)->menu();
        if (menu == nullptr)
            return true;
        const_cast<QMenu *>(menu)->adjustSize();
        entries = menu->actions();
        popup = waitForNewPopup(window, before);
        if (popup == XCB_WINDOW_NONE)
            return false;
        // Qt maps a popup before it has painted its entries; a click too early may miss them.
        QTest::qWait(100);
    }
    return false;
}

xcb_window_t UtilityWindow::openMenu(xcb_window_t window, const QString &title, int timeoutMs) {
    const QList<QAction *> entries = reference->menuBar()->actions();
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](QAction *entry) { return entry->text() == title; });
    if (found == entries.end())
        return XCB_WINDOW_NONE;
    const std::vector<xcb_window_t> before = shownPopups(window);
    if (!x.click(onMenuBar(window, *found)))
        return XCB_WINDOW_NONE;
    return waitForNewPopup(window, before, timeoutMs);
}

QPoint UtilityWindow::onMenuBar(xcb_window_t window, QAction *entry) {
    const QRect inBar = reference->menuBar()->actionGeometry(entry);
    return x.rootGeometry(window).topLeft() +
           reference->menuBar()->mapTo(reference.data(), inBar.center());
}

std::vector<xcb_window_t> UtilityWindow::shown(const QString &title) {
    std::vector<xcb_window_t> result;
    for (xcb_window_t candidate : x.findTopLevels("hlx-config", title)) {
        if (x.isViewable(candidate))
            result.push_back(candidate);
    }
    return result;
}

xcb_window_t UtilityWindow::waitForOne(const QString &title, int timeoutMs) {
    std::vector<xcb_window_t> found;
    const bool appeared =
        QTest::qWaitFor([&] { return !(found = shown(title)).empty(); }, timeoutMs);
    return appeared && found.size() == 1 ? found.front() : xcb_window_t(XCB_WINDOW_NONE);
}

std::vector<xcb_window_t> UtilityWindow::shownPopups(xcb_window_t window) {
    std::vector<xcb_window_t> popups = shown(QString());
    popups.erase(std::remove(popups.begin(), popups.end(), window), popups.end());
    return popups;
}

xcb_window_t UtilityWindow::waitForNewPopup(xcb_window_t window,
                                            const std::vector<xcb_window_t> &before,
                                            int timeoutMs) {
    xcb_window_t popup = XCB_WINDOW_NONE;
    const bool opened = QTest::qWaitFor(
        [&] {
            for (xcb_window_t candidate : shownPopups(window)) {
                if (std::find(before.begin(), before.end(), candidate) == before.end())
                    popup = candidate;
            }
            return popup != XCB_WINDOW_NONE;
        },
        timeoutMs);
    return opened ? popup : xcb_window_t(XCB_WINDOW_NONE);
}
