#include "LeasedOutputWatch.h"

#include "RandrOutputs.h"

#include <cstdlib>

LeasedOutputWatch::LeasedOutputWatch(xcb_connection_t *connection, xcb_window_t root,
                                     std::string output, xcb_randr_lease_t lease, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_root(root)
    , m_output(std::move(output))
    , m_lease(lease)
    , m_notifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read) {
    if (const xcb_query_extension_reply_t *randr =
            xcb_get_extension_data(connection, &xcb_randr_id))
        m_firstEvent = randr->first_event;
    xcb_randr_select_input(connection, root,
                           XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_PROPERTY | XCB_RANDR_NOTIFY_MASK_LEASE);
    xcb_flush(connection);
    connect(&m_notifier, &QSocketNotifier::activated, this, &LeasedOutputWatch::readEvents);
    // The headset may have gone between the lease and the selection.
    checkOutput();
}

void LeasedOutputWatch::readEvents() {
    bool outputChanged = false;
    // Replies awaited meanwhile may have queued events that the socket no longer announces.
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == m_firstEvent + XCB_RANDR_NOTIFY) {
            const auto *notify = reinterpret_cast<const xcb_randr_notify_event_t *>(event);
            if (notify->subCode == XCB_RANDR_NOTIFY_LEASE) {
                if (notify->u.lc.lease == m_lease && !notify->u.lc.created)
                    end(QStringLiteral("the X server took back the lease of %1")
                            .arg(QString::fromStdString(m_output)));
            } else {
                outputChanged = true;
            }
        }
        std::free(event);
    }
    if (xcb_connection_has_error(m_connection)) {
        end(QStringLiteral("the X server is gone"));
        return;
    }
    if (outputChanged)
        checkOutput();
}

void LeasedOutputWatch::checkOutput() {
    const hlx::RandrOutputs outputs(m_connection, m_root);
    const hlx::RandrOutputs::Output *output = outputs.find(m_output);
    const QString name = QString::fromStdString(m_output);
    // A server may hide a leased output from its clients altogether: its absence says nothing,
    // and the kernel's connector tells an unplugging then. Unplugged while shown, the display
    // takes its EDID with it, and with that the kernel's mark for headsets.
    if (output && (!output->nonDesktop || output->edid.empty()))
        end(QStringLiteral("the headset left %1").arg(name));
    // Whatever came in during those round trips waits in xcb's queue, unannounced by the socket.
    if (!m_ended)
        QMetaObject::invokeMethod(this, &LeasedOutputWatch::readEvents, Qt::QueuedConnection);
}

void LeasedOutputWatch::end(const QString &why) {
    if (m_ended)
        return;
    m_ended = true;
    m_notifier.setEnabled(false);
    emit ended(why);
}
