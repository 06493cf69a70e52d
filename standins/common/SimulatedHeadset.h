#pragma once

#include "XConnection.h"

namespace hlx {

struct HeadsetLinks {
    bool display = false;
    bool usb = false;
};

// The headset's links, kept on the X server so that every process on the display sees the same
// headset: CARDINAL[2] {display, usb} in a property of the root window, absent meaning unplugged.
class SimulatedHeadset {
public:
    static constexpr const char *propertyName = "_HLX_SIMULATED_HEADSET";

    explicit SimulatedHeadset(XConnection &connection);

    // Both links down if the display cannot be reached or the property is absent or malformed.
    HeadsetLinks links();
    void setLinks(const HeadsetLinks &links);

private:
    XConnection &m_connection;
};

} // namespace hlx
