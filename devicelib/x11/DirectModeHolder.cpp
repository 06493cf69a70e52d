#include "DirectModeHolder.h"

#include "DirectModeProtocol.h"

#include <cstdlib>
#include <memory>

namespace hlx {

namespace {

using PropertyReply = std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>;

PropertyReply property(XConnection &x, xcb_window_t window, xcb_atom_t atom, xcb_atom_t type,
                       uint32_t longLength) {
    // A window that is gone answers with an error and no reply.
    return PropertyReply(
        xcb_get_property_reply(
            x.get(), xcb_get_property(x.get(), 0, window, atom, type, 0, longLength), nullptr),
        &std::free);
}

} // namespace

std::optional<DirectModeHolder> DirectModeHolder::find(XConnection &x) {
    const xcb_atom_t demoAtom = x.internAtom(directmode::demoWindowAtom, true);
    if (demoAtom == XCB_ATOM_NONE)
        return std::nullopt;
    const PropertyReply named = property(x, x.root(), demoAtom, XCB_ATOM_WINDOW, 1);
    if (!named || named->type != XCB_ATOM_WINDOW || named->format != 32 ||
        xcb_get_property_value_length(named.get()) != 4)
        return std::nullopt;
    DirectModeHolder holder;
    holder.window = *static_cast<const xcb_window_t *>(xcb_get_property_value(named.get()));
    const std::optional<std::string> output =
        stringProperty(x, holder.window, x.internAtom(directmode::outputAtom));
    if (!output || output->empty())
        return std::nullopt;
    holder.output = *output;
    holder.framesPath =
        stringProperty(x, holder.window, x.internAtom(directmode::framesAtom)).value_or("");
    return holder;
}

std::optional<std::string> stringProperty(XConnection &x, xcb_window_t window, xcb_atom_t atom) {
    if (window == XCB_NONE || atom == XCB_ATOM_NONE)
        return std::nullopt;
    // A path or an output name; far longer is no value of ours.
    const PropertyReply reply = property(x, window, atom, XCB_ATOM_STRING, 1024);
    if (!reply || reply->type != XCB_ATOM_STRING || reply->format != 8 || reply->bytes_after != 0)
        return std::nullopt;
    const auto *text = static_cast<const char *>(xcb_get_property_value(reply.get()));
    return std::string(text, size_t(xcb_get_property_value_length(reply.get())));
}

std::optional<ShieldPair> shieldPairProperty(XConnection &x, xcb_window_t window, xcb_atom_t atom) {
    if (window == XCB_NONE || atom == XCB_ATOM_NONE)
        return std::nullopt;
    const PropertyReply reply = property(x, window, atom, XCB_ATOM_CARDINAL, 2);
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) != 8)
        return std::nullopt;
    const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    return ShieldPair{values[0], values[1]};
}

void setShieldPairProperty(XConnection &x, xcb_window_t window, xcb_atom_t atom, ShieldPair pair) {
    const uint32_t values[] = {pair.serial, pair.level};
    xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, window, atom, XCB_ATOM_CARDINAL, 32, 2,
                        values);
}

} // namespace hlx
