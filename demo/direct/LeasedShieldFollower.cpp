#include "LeasedShieldFollower.h"

#include "DirectModeHolder.h"
#include "DirectModeProtocol.h"
#include "EntryResults.h"

#include <QSocketNotifier>

#include <cstdlib>

LeasedShieldFollower::LeasedShieldFollower(int drmFd, uint32_t crtc, uint32_t gammaSize,
                                           QObject *parent)
    : QObject(parent)
    , m_gamma(drmFd, crtc, gammaSize)
    , m_x(nullptr) {
    m_ownRamps = std::make_unique<LeaseOwnRampStore>(
        m_gamma.read(m_display.output).value_or(hlx::GammaRamp::identity(gammaSize)));
    m_shield = std::make_unique<hlx::Eyeshield>(m_gamma, *m_ownRamps);
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
    m_shield->switchOff(m_display);
}

void LeasedShieldFollower::answerOn(xcb_window_t demoWindow) {
    m_demoWindow = demoWindow;
    answer();
}

void LeasedShieldFollower::readEvents() {
    bool wished = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_x.get())) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
            wished |= reinterpret_cast<xcb_property_notify_event_t *>(event)->atom == m_wantedAtom;
        std::free(event);
    }
    if (wished)
        follow();
    if (xcb_connection_has_error(m_x.get()))
        m_notifier->setEnabled(false);
}

void LeasedShieldFollower::follow() {
    const std::optional<hlx::ShieldPair> wish =
        hlx::shieldPairProperty(m_x, m_x.root(), m_wantedAtom);
    if (!wish || wish->serial == m_serial)
        return;
    int result = hlx::entryResult::failed;
    if (wish->level == 0)
        result = m_shield->switchOff(m_display);
    else if (hlx::Eyeshield::temperatureOf(int(wish->level)))
        result = m_shield->switchOn(m_display, int(wish->level));
    m_serial = wish->serial;
    m_shown = result == hlx::entryResult::ok ? wish->level : hlx::directmode::shieldRefused;
    answer();
}

void LeasedShieldFollower::answer() {
    if (m_demoWindow == XCB_NONE || m_serial == 0)
        return;
    hlx::setShieldPairProperty(m_x, m_demoWindow, m_shownAtom, {m_serial, m_shown});
    xcb_flush(m_x.get());
}
