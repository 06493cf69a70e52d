#include "X11Client.h"

#include <X11/keysym.h>
#include <xcb/xtest.h>

#include <QList>

#include <algorithm>
#include <array>
#include <cstring>

namespace testsupport {

namespace {

constexpr uint32_t maxPropertyLongs = 1024;

// Layout of WM_SIZE_HINTS (ICCCM 4.1.2.3), counted in 32-bit fields.
constexpr uint32_t minSizeFlag = 1u << 4;
constexpr uint32_t maxSizeFlag = 1u << 5;
constexpr int minWidthField = 5;
constexpr int maxWidthField = 7;
constexpr size_t sizeHintsFields = 18;

// Layout of WM_HINTS (ICCCM 4.1.2.4): flags, input, initial state.
constexpr uint32_t stateHintFlag = 1u << 1;
constexpr int initialStateField = 2;
constexpr uint32_t iconicState = 3;

} // namespace

X11Client::X11Client(const QString &displayName)
    : m_connection(displayName) {
    if (m_connection.isValid()) {
        const xcb_query_extension_reply_t *xtest =
            xcb_get_extension_data(m_connection.get(), &xcb_test_id);
        m_hasXTest = xtest && xtest->present;
    }
}

bool X11Client::isConnected() const {
    return m_connection.isValid();
}

std::vector<xcb_window_t> X11Client::findTopLevels(const QByteArray &wmClassClass,
                                                   const QString &title) {
    std::vector<xcb_window_t> matches;
    if (isConnected())
        collectMatches(m_connection.root(), 1, wmClassClass, title, matches);
    return matches;
}

void X11Client::collectMatches(xcb_window_t parent, int depth, const QByteArray &wmClassClass,
                               const QString &title, std::vector<xcb_window_t> &matches) {
    constexpr int maxDepth = 3;
    for (xcb_window_t window : children(parent)) {
        // WM_CLASS is "instance\0class\0".
        const QList<QByteArray> wmClass = property(window, XCB_ATOM_WM_CLASS).split('\0');
        if (wmClass.size() >= 2 && wmClass.at(1) == wmClassClass &&
            (title.isEmpty() || this->title(window) == title))
            matches.push_back(window);
        if (depth < maxDepth)
            collectMatches(window, depth + 1, wmClassClass, title, matches);
    }
}

std::vector<xcb_window_t> X11Client::children(xcb_window_t window) {
    const auto tree =
        m_connection.reply(xcb_query_tree_reply, xcb_query_tree(m_connection.get(), window));
    if (!tree)
        return {};
    const xcb_window_t *first = xcb_query_tree_children(tree.get());
    return {first, first + xcb_query_tree_children_length(tree.get())};
}

QByteArray X11Client::property(xcb_window_t window, xcb_atom_t property, xcb_atom_t *type) {
    const auto value = m_connection.reply(
        xcb_get_property_reply, xcb_get_property(m_connection.get(), 0, window, property,
                                                 XCB_GET_PROPERTY_TYPE_ANY, 0, maxPropertyLongs));
    if (type)
        *type = value ? value->type : xcb_atom_t(XCB_ATOM_NONE);
    if (!value)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(value.get())),
                      xcb_get_property_value_length(value.get()));
}

QString X11Client::title(xcb_window_t window) {
    const xcb_atom_t utf8String = m_connection.atom("UTF8_STRING");
    xcb_atom_t type = XCB_ATOM_NONE;
    const QByteArray netWmName = property(window, m_connection.atom("_NET_WM_NAME"), &type);
    if (type != XCB_ATOM_NONE)
        return QString::fromUtf8(netWmName);
    const QByteArray wmName = property(window, XCB_ATOM_WM_NAME, &type);
    if (type == XCB_ATOM_NONE)
        return QString();
    return type == utf8String ? QString::fromUtf8(wmName) : QString::fromLatin1(wmName);
}

qint64 X11Client::processId(xcb_window_t window) {
    xcb_atom_t type = XCB_ATOM_NONE;
    const QByteArray pid = property(window, m_connection.atom("_NET_WM_PID"), &type);
    if (type != XCB_ATOM_CARDINAL || pid.size() != sizeof(quint32))
        return 0;
    quint32 value = 0;
    std::memcpy(&value, pid.constData(), sizeof value);
    return value;
}

QPair<QSize, QSize> X11Client::sizeHints(xcb_window_t window) {
    const QByteArray value = property(window, XCB_ATOM_WM_NORMAL_HINTS);
    std::array<uint32_t, sizeHintsFields> fields{};
    if (value.size() < static_cast<int>(sizeof fields))
        return {};
    std::memcpy(fields.data(), value.constData(), sizeof fields);
    const auto sizeAt = [&fields](int field) {
        return QSize(static_cast<int>(fields[field]), static_cast<int>(fields[field + 1]));
    };
    return {(fields[0] & minSizeFlag) ? sizeAt(minWidthField) : QSize(),
            (fields[0] & maxSizeFlag) ? sizeAt(maxWidthField) : QSize()};
}

bool X11Client::asksToBeIconic(xcb_window_t window) {
    const QByteArray value = property(window, XCB_ATOM_WM_HINTS);
    std::array<uint32_t, initialStateField + 1> fields{};
    if (value.size() < static_cast<int>(sizeof fields))
        return false;
    std::memcpy(fields.data(), value.constData(), sizeof fields);
    return (fields[0] & stateHintFlag) && fields[initialStateField] == iconicState;
}

bool X11Client::asksToBeFrameless(xcb_window_t window) {
    // flags, functions, decorations, ...: the decorations count only where the flags say so.
    constexpr uint32_t decorationsFlag = 2;
    const QByteArray value = property(window, m_connection.atom("_MOTIF_WM_HINTS"));
    std::array<uint32_t, 3> fields{};
    if (value.size() < static_cast<int>(sizeof fields))
        return false;
    std::memcpy(fields.data(), value.constData(), sizeof fields);
    return (fields[0] & decorationsFlag) && fields[2] == 0;
}

bool X11Client::isViewable(xcb_window_t window) {
    const auto attributes = m_connection.reply(
        xcb_get_window_attributes_reply, xcb_get_window_attributes(m_connection.get(), window));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

QRect X11Client::rootGeometry(xcb_window_t window) {
    xcb_connection_t *c = m_connection.get();
    const auto geometry = m_connection.reply(xcb_get_geometry_reply, xcb_get_geometry(c, window));
    const auto origin =
        m_connection.reply(xcb_translate_coordinates_reply,
                           xcb_translate_coordinates(c, window, m_connection.root(), 0, 0));
    if (!geometry || !origin)
        return QRect();
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

xcb_window_t X11Client::inputFocus() {
    const auto focus =
        m_connection.reply(xcb_get_input_focus_reply, xcb_get_input_focus(m_connection.get()));
    return focus ? focus->focus : XCB_NONE;
}

std::vector<xcb_window_t> X11Client::rootStackingOrder() {
    return children(m_connection.root());
}

bool X11Client::sendDeleteWindow(xcb_window_t window) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = m_connection.atom("WM_PROTOCOLS");
    event.data.data32[0] = m_connection.atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_connection.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&event));
    return sync();
}

bool X11Client::setInputFocus(xcb_window_t window) {
    xcb_set_input_focus(m_connection.get(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    return sync();
}

xcb_window_t X11Client::createTopLevel(const QByteArray &wmClassInstance,
                                       const QByteArray &wmClassClass, const QString &title,
                                       const QRect &geometry, bool mapped) {
    if (!isConnected())
        return XCB_NONE;
    xcb_connection_t *c = m_connection.get();
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t background = m_connection.screen()->white_pixel;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, m_connection.root(),
                      static_cast<int16_t>(geometry.x()), static_cast<int16_t>(geometry.y()),
                      static_cast<uint16_t>(geometry.width()),
                      static_cast<uint16_t>(geometry.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      m_connection.screen()->root_visual, XCB_CW_BACK_PIXEL, &background);
    setStringProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                      wmClassInstance + '\0' + wmClassClass + '\0');
    setStringProperty(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title.toLatin1());
    setStringProperty(window, m_connection.atom("_NET_WM_NAME"), m_connection.atom("UTF8_STRING"),
                      title.toUtf8());
    if (mapped)
        xcb_map_window(c, window);
    return sync() ? window : XCB_NONE;
}

bool X11Client::iconifyAsWindowManager(xcb_window_t window) {
    const xcb_atom_t wmState = m_connection.atom("WM_STATE");
    const std::array<uint32_t, 2> state{iconicState, XCB_WINDOW_NONE};
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, window, wmState, wmState, 32,
                        static_cast<uint32_t>(state.size()), state.data());
    xcb_unmap_window(m_connection.get(), window);
    return sync();
}

bool X11Client::destroyWindow(xcb_window_t window) {
    xcb_destroy_window(m_connection.get(), window);
    return sync();
}

bool X11Client::setResources(const QByteArray &resources) {
    const xcb_atom_t property = m_connection.atom("RESOURCE_MANAGER");
    if (resources.isEmpty())
        xcb_delete_property(m_connection.get(), m_connection.root(), property);
    else
        setStringProperty(m_connection.root(), property, XCB_ATOM_STRING, resources);
    return sync();
}

void X11Client::setStringProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                  const QByteArray &value) {
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, window, property, type, 8,
                        static_cast<uint32_t>(value.size()), value.constData());
}

bool X11Client::startWatchingRoot() {
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection.get(), m_connection.root(), XCB_CW_EVENT_MASK, &mask);
    // Events already in flight belong to before the watch.
    drainRootEvents();
    m_createdWindows = 0;
    m_mappedWindows = 0;
    return isConnected();
}

int X11Client::countCreatedWindows() {
    drainRootEvents();
    return m_createdWindows;
}

int X11Client::countMappedWindows() {
    drainRootEvents();
    return m_mappedWindows;
}

void X11Client::drainRootEvents() {
    // Every event the server generated before answering the round trip is queued after it.
    sync();
    while (xcb_generic_event_t *event = xcb_poll_for_queued_event(m_connection.get())) {
        switch (event->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
            const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
            if (!m_connection.ownsResource(created->window))
                ++m_createdWindows;
            break;
        }
        case XCB_MAP_NOTIFY: {
            const auto *mappedEvent = reinterpret_cast<xcb_map_notify_event_t *>(event);
            if (mappedEvent->event == m_connection.root() &&
                !m_connection.ownsResource(mappedEvent->window))
                ++m_mappedWindows;
            break;
        }
        default:
            break;
        }
        std::free(event);
    }
}

bool X11Client::fakeInput(uint8_t type, uint8_t detail, const QPoint &rootPos) {
    if (!m_hasXTest)
        return false;
    xcb_test_fake_input(m_connection.get(), type, detail, XCB_CURRENT_TIME, m_connection.root(),
                        static_cast<int16_t>(rootPos.x()), static_cast<int16_t>(rootPos.y()), 0);
    return sync();
}

bool X11Client::moveTo(const QPoint &rootPos) {
    return fakeInput(XCB_MOTION_NOTIFY, 0, rootPos);
}

bool X11Client::click(const QPoint &rootPos, int button) {
    const auto detail = static_cast<uint8_t>(button);
    return moveTo(rootPos) && fakeInput(XCB_BUTTON_PRESS, detail) &&
           fakeInput(XCB_BUTTON_RELEASE, detail);
}

bool X11Client::doubleClick(const QPoint &rootPos) {
    return click(rootPos) && click(rootPos);
}

bool X11Client::pressKey(xcb_keysym_t keysym) {
    xcb_keycode_t key = 0;
    bool needsShift = false;
    if (!keyCodeFor(keysym, key, needsShift))
        return false;
    xcb_keycode_t shift = 0;
    bool shiftNeedsShift = false;
    if (needsShift && !keyCodeFor(XK_Shift_L, shift, shiftNeedsShift))
        return false;
    if (needsShift && !fakeInput(XCB_KEY_PRESS, shift))
        return false;
    const bool typed = fakeInput(XCB_KEY_PRESS, key) && fakeInput(XCB_KEY_RELEASE, key);
    // Release Shift even after a failure, so it cannot stick for later input.
    const bool shiftReleased = !needsShift || fakeInput(XCB_KEY_RELEASE, shift);
    return typed && shiftReleased;
}

bool X11Client::keyCodeFor(xcb_keysym_t keysym, xcb_keycode_t &keycode, bool &needsShift) {
    const xcb_setup_t *setup = xcb_get_setup(m_connection.get());
    const auto keyCount = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    const auto mapping = m_connection.reply(
        xcb_get_keyboard_mapping_reply,
        xcb_get_keyboard_mapping(m_connection.get(), setup->min_keycode, keyCount));
    if (!mapping)
        return false;
    const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perKey = mapping->keysyms_per_keycode;
    // Level 0 first, so a key that needs no modifier wins over one that needs Shift.
    for (int level = 0; level < std::min(perKey, 2); ++level) {
        for (int key = 0; key < keyCount; ++key) {
            if (keysyms[key * perKey + level] == keysym) {
                keycode = static_cast<xcb_keycode_t>(setup->min_keycode + key);
                needsShift = level == 1;
                return true;
            }
        }
    }
    return false;
}

bool X11Client::sync() {
    return m_connection.sync();
}

} // namespace testsupport
