#pragma once

#include "Links.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace hlx {

enum class Link { None, Display, Usb };

struct DeviceMessage {
    // The X atom of this name is the message's ClientMessage type.
    std::string_view name;
    std::string_view shortName;
    Link link;
    // Whether the message brings the link up or takes it down; meaningless for Link::None.
    bool linkUp;
};

// The messages the headset's side sends. Programs outside the project listen for these names, so
// this list is the only place that spells them.
extern const std::array<DeviceMessage, 7> deviceMessages;

// Accepts the full name or the short form; null if neither matches.
const DeviceMessage *findDeviceMessage(std::string_view nameOrShortName);

// What a device-side command sends, in order: "plug" (display link, then USB), "unplug" (the
// reverse) or one message by either name. Empty for any other word.
std::vector<const DeviceMessage *> messagesForCommand(std::string_view command);

// What tells windows that the links went from `before` to `after`: links coming up display first
// (as a headset is plugged), links going down USB first. Without `before` every link is news, the
// ones that are down too: no headset is an answer, and a window told nothing goes on showing that
// it knows nothing.
std::vector<const DeviceMessage *> messagesForChange(const std::optional<Links> &before,
                                                     const Links &after);

} // namespace hlx
