#include "DirectModeShieldRequest.h"

#include "DirectModeHolder.h"
#include "DirectModeProtocol.h"
#include "XConnection.h"

#include <cstdlib>
#include <poll.h>

namespace hlx {

namespace {

using Clock = std::chrono::steady_clock;

enum class Answer { Shown, Refused, Gone, None };

// Whether `serial` came after `earlier`, across the wrap from the largest serial to 1.
bool later(uint32_t serial, uint32_t earlier) {
    return int32_t(serial - earlier) > 0;
}

// Waits for the holder's acknowledgement of `wish`, reading each change of its properties. An
// answer to a later wish, another caller's, means that this one may never have been shown.
Answer waitForAnswer(XConnection &x, xcb_window_t window, xcb_atom_t shownAtom, ShieldPair wish,
                     Clock::time_point deadline) {
    for (;;) {
        // Read first: the answer may have come before the wait began.
        if (const auto shown = shieldPairProperty(x, window, shownAtom);
            shown && (shown->serial == wish.serial || later(shown->serial, wish.serial)))
            return shown->serial == wish.serial && shown->level == wish.level ? Answer::Shown
                                                                              : Answer::Refused;
        bool gone = false;
        bool changed = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(x.get())) {
            const uint8_t type = event->response_type & 0x7f;
            gone |= type == XCB_DESTROY_NOTIFY;
            changed |= type == XCB_PROPERTY_NOTIFY &&
                       reinterpret_cast<xcb_property_notify_event_t *>(event)->atom == shownAtom;
            std::free(event);
        }
        if (gone)
            return Answer::Gone;
        if (changed)
            continue;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || xcb_connection_has_error(x.get()))
            return Answer::None;
        pollfd fd{xcb_get_file_descriptor(x.get()), POLLIN, 0};
        ::poll(&fd, 1, int(left.count()));
    }
}

} // namespace

DeviceSystem::LeasedShield DirectModeShieldRequest::send(const HeadsetDisplay &display, int level,
                                                         std::chrono::milliseconds bound) {
    XConnection x(nullptr);
    const xcb_atom_t wantedAtom = x.internAtom(directmode::shieldWantedAtom);
    const xcb_atom_t shownAtom = x.internAtom(directmode::shieldShownAtom);
    if (wantedAtom == XCB_ATOM_NONE || shownAtom == XCB_ATOM_NONE)
        return DeviceSystem::LeasedShield::NotHeld;

    // A display on the desktop is nobody's lease; the choice is still recorded for a demo that
    // takes it later.
    std::optional<DirectModeHolder> holder;
    if (display.place != HeadsetDisplay::Place::Desktop)
        holder = DirectModeHolder::find(x);
    // The X server may hide a leased output from its clients, and with it the headset's display;
    // the demo leases nothing but a headset's display.
    if (holder && display.place != HeadsetDisplay::Place::None && holder->output != display.output)
        holder.reset();
    if (holder) {
        // Listened to before the wish goes out, so that no answer comes unheard.
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(x.get(), holder->window, XCB_CW_EVENT_MASK, &mask);
    }
    // Read and written under a grab of the server: another caller at the same moment takes the
    // serial after this one, never the same.
    xcb_grab_server(x.get());
    const std::optional<ShieldPair> last = shieldPairProperty(x, x.root(), wantedAtom);
    ShieldPair wish{last ? last->serial + 1 : 1, uint32_t(level)};
    // A fresh serial is never 0, which reads as "no answer yet" to nobody in particular.
    if (wish.serial == 0)
        wish.serial = 1;
    setShieldPairProperty(x, x.root(), wantedAtom, wish);
    xcb_ungrab_server(x.get());
    if (!x.sync() || !holder)
        return DeviceSystem::LeasedShield::NotHeld;

    switch (waitForAnswer(x, holder->window, shownAtom, wish, Clock::now() + bound)) {
    case Answer::Shown:
        return DeviceSystem::LeasedShield::Shown;
    case Answer::Gone:
        return DeviceSystem::LeasedShield::NotHeld;
    case Answer::Refused:
    case Answer::None:
        break;
    }
    return DeviceSystem::LeasedShield::Refused;
}

} // namespace hlx
