#include "RootPropertyRampStore.h"

#include "XConnection.h"

#include <cstdlib>
#include <memory>
#include <utility>

namespace hlx {

namespace {

// Three channels of the largest table RandR can hand over, in the 32-bit units that
// GetProperty counts.
constexpr uint32_t largestProperty = 3 * 65536 * sizeof(uint16_t) / 4;

} // namespace

RootPropertyRampStore::RootPropertyRampStore(std::string prefix)
    : m_prefix(std::move(prefix)) {}

std::string RootPropertyRampStore::propertyOf(const HeadsetDisplay &display,
                                              const std::string &prefix) {
    return prefix + ' ' + keyOf(display);
}

std::optional<GammaRamp> RootPropertyRampStore::recall(const HeadsetDisplay &display) {
    XConnection x(nullptr);
    const xcb_atom_t atom = x.internAtom(propertyOf(display, m_prefix), true);
    if (atom == XCB_ATOM_NONE)
        return std::nullopt;
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(
            x.get(),
            xcb_get_property(x.get(), 0, x.root(), atom, XCB_ATOM_INTEGER, 0, largestProperty),
            nullptr),
        &std::free);
    // Another client's property of the same name, of another type or size, is no table.
    if (!reply || reply->type != XCB_ATOM_INTEGER || reply->format != 16 || reply->bytes_after != 0)
        return std::nullopt;
    return GammaRamp::fromChannels(
        static_cast<const uint16_t *>(xcb_get_property_value(reply.get())),
        size_t(xcb_get_property_value_length(reply.get())) / 2);
}

bool RootPropertyRampStore::keep(const HeadsetDisplay &display, const GammaRamp &own) {
    XConnection x(nullptr);
    const xcb_atom_t atom = x.internAtom(propertyOf(display, m_prefix));
    const std::vector<uint16_t> values = own.channels();
    if (atom == XCB_ATOM_NONE || values.empty())
        return false;
    const std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
        xcb_request_check(x.get(),
                          xcb_change_property_checked(x.get(), XCB_PROP_MODE_REPLACE, x.root(),
                                                      atom, XCB_ATOM_INTEGER, 16,
                                                      uint32_t(values.size()), values.data())),
        &std::free);
    return !error;
}

void RootPropertyRampStore::forget(const HeadsetDisplay &display) {
    XConnection x(nullptr);
    const xcb_atom_t atom = x.internAtom(propertyOf(display, m_prefix), true);
    if (atom == XCB_ATOM_NONE)
        return;
    xcb_delete_property(x.get(), x.root(), atom);
    x.sync();
}

} // namespace hlx
