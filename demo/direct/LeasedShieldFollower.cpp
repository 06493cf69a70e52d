#include "LeasedShieldFollower.h"

#include "DirectModeHolder.h"
#include "DirectModeProtocol.h"
#include "EntryResults.h"

#include <QSocketNotifier>

#include <cstdlib>

LeasedShieldFollower::LeasedShieldFollower(int drmFd, uint32_t crtc, uint32_t gammaSize,
                                           hlx::HeadsetDisplay display, QObject *parent)
    : QObject(parent)
    , m_gamma(drmFd, crtc, gammaSize)
    , m_display(std::move(display))
    , m_x(nullptr) {
    if (!m_x.isValid())
        return;
    m_wantedAtom = m_x.internAtom(hlx::directmode::shieldWantedAtom);
    m_shownAtom = m_x.internAtom(hlx::directmode::shieldShownAtom);
    // Listened to before the choice is read, so that none made in between goes unseen. The root
    // tells of every property of every program: the notices are few and sorted out by atom.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_x.get(), m_x.root(), XCB_CW_EVENT_MASK, &mask);
    m_x.sync();
    m_notifier =
        new QSocketNotifier(xcb_get_file_descriptor(m_x.get()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LeasedShieldFollower::readEvents);
    follow();
}

LeasedShieldFollower::~LeasedShieldFollower() {
    m_shield.switchOff(m_display);
}

void LeasedShieldFollower::answerOn(xcb_window_t demoWindow) {
    m_demoWindow = demoWindow;
    answer();
}

void LeasedShieldFollower::readEvents() {
    // Following a wish waits for replies, and a wish that comes meanwhile is queued by xcb
    // without the descriptor ever showing it: the queue is read again until it holds none.
    for (bool wished = true; wished;) {
        wished = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_x.get())) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
                wished |=
                    reinterpret_cast<xcb_property_notify_event_t *>(event)->atom == m_wantedAtom;
            std::free(event);
        }
        if (wished)
            follow();
    }
    if (xcb_connection_has_error(m_x.get()))
        m_notifier->setEnabled(false);
}

void LeasedShieldFollower::follow() {
    const std::optional<hlx::ShieldPair> wish =
        hlx::shieldPairProperty(m_x, m_x.root(), m_wantedAtom);
    if (!wish || (wish->serial == m_taken.serial && wish->level == m_taken.level))
        return;
    int result = hlx::entryResult::failed;
    if (wish->level == 0)
        result = m_shield.switchOff(m_display);
    else if (hlx::Eyeshield::temperatureOf(int(wish->level)))
        result = m_shield.switchOn(m_display, int(wish->level));
    m_taken = *wish;
    m_shown = result == hlx::entryResult::ok ? wish->level : hlx::directmode::shieldRefused;
    answer();
}

void LeasedShieldFollower::answer() {
    if (m_demoWindow == XCB_NONE || m_taken.serial == 0)
        return;
    hlx::setShieldPairProperty(m_x, m_demoWindow, m_shownAtom, {m_taken.serial, m_shown});
    xcb_flush(m_x.get());
}
