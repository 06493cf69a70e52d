#include "TrayHost.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace testsupport {

namespace {

constexpr int iconSize = 22;
constexpr int iconSpacing = 26;
constexpr int iconMargin = 4;
constexpr uint32_t horizontalOrientation = 0;
constexpr uint32_t systemTrayRequestDock = 0;
constexpr uint32_t xembedEmbeddedNotify = 0;
constexpr uint32_t xembedProtocolVersion = 0;

} // namespace

TrayHost::TrayHost(const QString &displayName)
    : m_displayName(displayName)
    , m_connection(displayName) {}

bool TrayHost::start() {
    if (!m_connection.isValid() || m_container != XCB_NONE)
        return false;
    xcb_connection_t *c = m_connection.get();
    const xcb_screen_t *screen = m_connection.screen();

    m_container = xcb_generate_id(c);
    // Override-redirect, like a panel: a window manager must not frame or move the dock.
    const uint32_t attributes[] = {screen->black_pixel, 1, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, m_container, screen->root,
                      static_cast<int16_t>(area.x()), static_cast<int16_t>(area.y()),
                      static_cast<uint16_t>(area.width()), static_cast<uint16_t>(area.height()), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, attributes);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_container,
                        m_connection.atom("_NET_SYSTEM_TRAY_ORIENTATION"), XCB_ATOM_CARDINAL, 32, 1,
                        &horizontalOrientation);
    xcb_map_window(c, m_container);

    const xcb_atom_t selection =
        m_connection.atom("_NET_SYSTEM_TRAY_S" + QByteArray::number(m_connection.screenNumber()));
    xcb_set_selection_owner(c, m_container, selection, XCB_CURRENT_TIME);
    const auto owner =
        m_connection.reply(xcb_get_selection_owner_reply, xcb_get_selection_owner(c, selection));
    if (!owner || owner->owner != m_container)
        return false;

    // Clients that started before the tray wait for this announcement to dock.
    xcb_client_message_event_t announcement{};
    announcement.response_type = XCB_CLIENT_MESSAGE;
    announcement.format = 32;
    announcement.window = screen->root;
    announcement.type = m_connection.atom("MANAGER");
    announcement.data.data32[0] = XCB_CURRENT_TIME;
    announcement.data.data32[1] = selection;
    announcement.data.data32[2] = m_container;
    xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&announcement));

    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { processPendingEvents(); });
    const bool synced = m_connection.sync();
    processPendingEvents();
    return synced && (!sharesDisplayWithQt() || waitUntilQtSawAnnouncement());
}

bool TrayHost::sharesDisplayWithQt() const {
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) &&
           QGuiApplication::platformName() == QLatin1String("xcb") &&
           (m_displayName.isNull() || m_displayName == qEnvironmentVariable("DISPLAY"));
}

bool TrayHost::waitUntilQtSawAnnouncement() {
    QCoreApplication::instance()->installNativeEventFilter(this);
    const QDeadlineTimer deadline(XcbConnection::replyTimeoutMs);
    while (!m_qtSawAnnouncement && !deadline.hasExpired())
        QTest::qWait(5);
    QCoreApplication::instance()->removeNativeEventFilter(this);
    return m_qtSawAnnouncement;
}

bool TrayHost::nativeEventFilter(const QByteArray &eventType, void *message, long *) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
        const auto *announcement = static_cast<const xcb_client_message_event_t *>(message);
        if (announcement->type == m_connection.atom("MANAGER") &&
            announcement->data.data32[2] == m_container)
            m_qtSawAnnouncement = true;
    }
    return false;
}

bool TrayHost::waitForIcon(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const bool ready = !m_icons.empty() && isViewable(m_icons.front());
        processPendingEvents();
        if (ready)
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
}

QPoint TrayHost::iconCentre(int index) {
    if (index < 0 || index >= static_cast<int>(m_icons.size()))
        return QPoint();
    xcb_connection_t *c = m_connection.get();
    const xcb_window_t icon = m_icons[static_cast<size_t>(index)];
    QPoint centre;
    if (const auto geometry =
            m_connection.reply(xcb_get_geometry_reply, xcb_get_geometry(c, icon))) {
        const auto translated = m_connection.reply(
            xcb_translate_coordinates_reply,
            xcb_translate_coordinates(c, icon, m_connection.root(),
                                      static_cast<int16_t>(geometry->width / 2),
                                      static_cast<int16_t>(geometry->height / 2)));
        if (translated)
            centre = QPoint(translated->dst_x, translated->dst_y);
    }
    processPendingEvents();
    return centre;
}

void TrayHost::processPendingEvents() {
    // Round trips made while handling an event may queue further events without leaving the
    // socket readable, so the queue is drained until empty rather than once per notification.
    xcb_connection_t *c = m_connection.get();
    while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
        handleEvent(*event);
        std::free(event);
    }
    if (xcb_connection_has_error(c) && m_notifier)
        m_notifier->setEnabled(false);
}

void TrayHost::handleEvent(const xcb_generic_event_t &event) {
    switch (event.response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto &message = reinterpret_cast<const xcb_client_message_event_t &>(event);
        if (message.type == m_connection.atom("_NET_SYSTEM_TRAY_OPCODE") &&
            message.data.data32[1] == systemTrayRequestDock)
            dock(message.data.data32[2]);
        break;
    }
    case XCB_DESTROY_NOTIFY:
        forget(reinterpret_cast<const xcb_destroy_notify_event_t &>(event).window);
        break;
    case XCB_REPARENT_NOTIFY: {
        const auto &reparent = reinterpret_cast<const xcb_reparent_notify_event_t &>(event);
        if (reparent.parent != m_container)
            forget(reparent.window);
        break;
    }
    default:
        break;
    }
}

void TrayHost::dock(xcb_window_t icon) {
    if (icon == XCB_NONE || std::find(m_icons.begin(), m_icons.end(), icon) != m_icons.end())
        return;
    xcb_connection_t *c = m_connection.get();
    // Without this, closing the tray would destroy the docked windows under their owners' feet;
    // with it, the server hands them back to the root window.
    xcb_change_save_set(c, XCB_SET_MODE_INSERT, icon);
    const int slot = static_cast<int>(m_icons.size());
    xcb_reparent_window(c, icon, m_container, static_cast<int16_t>(iconMargin + iconSpacing * slot),
                        static_cast<int16_t>((area.height() - iconSize) / 2));
    const uint32_t size[] = {iconSize, iconSize};
    xcb_configure_window(c, icon, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    xcb_map_window(c, icon);

    xcb_client_message_event_t notify{};
    notify.response_type = XCB_CLIENT_MESSAGE;
    notify.format = 32;
    notify.window = icon;
    notify.type = m_connection.atom("_XEMBED");
    notify.data.data32[0] = XCB_CURRENT_TIME;
    notify.data.data32[1] = xembedEmbeddedNotify;
    notify.data.data32[3] = m_container;
    notify.data.data32[4] = xembedProtocolVersion;
    xcb_send_event(c, 0, icon, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&notify));

    // The icon may have been destroyed before the request arrived.
    const auto tree = m_connection.reply(xcb_query_tree_reply, xcb_query_tree(c, icon));
    if (tree && tree->parent == m_container)
        m_icons.push_back(icon);
}

void TrayHost::forget(xcb_window_t icon) {
    const auto it = std::find(m_icons.begin(), m_icons.end(), icon);
    if (it == m_icons.end())
        return;
    m_icons.erase(it);
    // Close the gap, so that an icon's slot always follows from its index.
    for (size_t slot = 0; slot < m_icons.size(); ++slot) {
        const uint32_t x = static_cast<uint32_t>(iconMargin + iconSpacing * static_cast<int>(slot));
        xcb_configure_window(m_connection.get(), m_icons[slot], XCB_CONFIG_WINDOW_X, &x);
    }
    xcb_flush(m_connection.get());
}

bool TrayHost::isViewable(xcb_window_t window) {
    const auto attributes = m_connection.reply(
        xcb_get_window_attributes_reply, xcb_get_window_attributes(m_connection.get(), window));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

} // namespace testsupport
