#include "SimulatedHeadset.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace hlx {

namespace {
constexpr uint32_t linkCount = 2;
}

SimulatedHeadset::SimulatedHeadset(XConnection &connection)
    : m_connection(connection) {}

HeadsetLinks SimulatedHeadset::links() {
    // Only if it exists: a reader must not leave atoms behind on a server that never had a headset.
    const xcb_atom_t property = m_connection.internAtom(propertyName, true);
    if (property == XCB_ATOM_NONE)
        return {};
    xcb_connection_t *c = m_connection.get();
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, m_connection.root(), property, XCB_ATOM_CARDINAL, 0, linkCount),
        nullptr);
    HeadsetLinks links;
    if (reply && reply->type == XCB_ATOM_CARDINAL && reply->format == 32 &&
        xcb_get_property_value_length(reply) >= static_cast<int>(linkCount * sizeof(uint32_t))) {
        uint32_t values[linkCount];
        std::memcpy(values, xcb_get_property_value(reply), sizeof values);
        links.display = values[0] != 0;
        links.usb = values[1] != 0;
    }
    std::free(reply);
    return links;
}

void SimulatedHeadset::setLinks(const HeadsetLinks &links) {
    const xcb_atom_t property = m_connection.internAtom(propertyName);
    if (property == XCB_ATOM_NONE)
        return;
    xcb_connection_t *c = m_connection.get();
    if (!links.display && !links.usb) {
        // Leaves the root as a server without a headset has it.
        xcb_delete_property(c, m_connection.root(), property);
    } else {
        const uint32_t values[linkCount] = {links.display ? 1u : 0u, links.usb ? 1u : 0u};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_connection.root(), property,
                            XCB_ATOM_CARDINAL, 32, linkCount, values);
    }
}

} // namespace hlx
