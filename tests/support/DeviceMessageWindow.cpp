#include "DeviceMessageWindow.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

const QByteArrayList deviceMessageNames = {
    "WM_GAME_START",           "WM_GAME_STOP",      "WM_GAME_ALIVE",      "WM_VORN_MONITOR_ADDED",
    "WM_VORN_MONITOR_REMOVED", "WM_VORN_HID_ADDED", "WM_VORN_HID_REMOVED"};

} // namespace

DeviceMessageWindow::DeviceMessageWindow(const QString &displayName)
    : m_connection(displayName) {
    if (!m_connection.isValid())
        return;
    for (const QByteArray &name : deviceMessageNames)
        m_names[m_connection.atom(name)] = name;
    const xcb_window_t window = xcb_generate_id(m_connection.get());
    xcb_create_window(m_connection.get(), XCB_COPY_FROM_PARENT, window, m_connection.root(), 0, 0,
                      10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, m_connection.screen()->root_visual,
                      0, nullptr);
    // Once the server has it, every sender that looks for top-levels finds it.
    if (m_connection.sync())
        m_window = window;
}

DeviceMessageWindow::~DeviceMessageWindow() {
    if (m_window != XCB_WINDOW_NONE) {
        xcb_destroy_window(m_connection.get(), m_window);
        m_connection.sync();
    }
}

void DeviceMessageWindow::read() {
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection.get())) {
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
            const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
            if (message->window == m_window)
                m_received << m_names.value(message->type, QByteArray::number(message->type));
        }
        std::free(event);
    }
}

QByteArrayList DeviceMessageWindow::take() {
    read();
    QByteArrayList taken;
    taken.swap(m_received);
    return taken;
}

bool DeviceMessageWindow::waitForEnd(const QByteArrayList &last, int timeoutMs,
                                     QByteArrayList &received) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        read();
        if (m_received.size() >= last.size() &&
            m_received.mid(m_received.size() - last.size()) == last) {
            received = take();
            return true;
        }
        if (deadline.hasExpired()) {
            received = take();
            return false;
        }
        QThread::msleep(10);
    }
}
