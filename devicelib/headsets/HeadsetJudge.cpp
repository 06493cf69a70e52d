#include "HeadsetJudge.h"

#include "Edid.h"
#include "KnownHeadsetDisplays.h"
#include "KnownHeadsetUsb.h"

#include <cstdio>
#include <optional>
#include <string>

namespace hlx::headsets {

HeadsetJudge::HeadsetJudge(const HeadsetIds &ids)
    : m_ids(ids) {}

Verdict HeadsetJudge::display(std::string_view edidData) const {
    if (edidData.empty())
        return {false, "no EDID"};
    const std::optional<Edid> edid = Edid::parse(edidData);
    if (!edid)
        return {false, "EDID cut short or corrupted"};
    const std::string name = edid->name() + ' ';
    if (edid->marksHeadMountedDisplay())
        return {true, name + "headset, by " + std::string(edid->headMountedMark())};
    if (KnownHeadsetDisplays::contains(edid->id()))
        return {true, name + "headset, by the table of headset displays"};
    if (m_ids.hasDisplay(edid->id()))
        return {true, name + "headset, by your list"};
    return {false, name + "no headset"};
}

Verdict HeadsetJudge::usb(HeadsetIds::Id id, const HeadsetIds::AttributeLookup &attribute) const {
    char idText[16];
    std::snprintf(idText, sizeof idText, "%04x:%04x ", unsigned(id.first), unsigned(id.second));
    const std::string_view listing = m_ids.usbListing(id, attribute);
    if (!listing.empty()) {
        const std::string_view known = KnownHeadsetUsb::nameOf(id);
        return {true, idText + std::string("headset, by the ") + std::string(listing),
                known.empty() ? "headset " + std::string(idText, 9) : std::string(known)};
    }
    if (KnownHeadsetUsb::kindOf(id) == KnownHeadsetUsb::Kind::Accessory)
        return {false, idText + std::string("accessory: no link without its headset")};
    return {false, idText + std::string("no headset")};
}

} // namespace hlx::headsets
