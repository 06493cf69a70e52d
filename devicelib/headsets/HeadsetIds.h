#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hlx::headsets {

// The headsets this library recognises beyond its built-in tables: USB vendor:product pairs with
// the conditions of the rule that lists them, and display manufacturer:product pairs as the EDID
// carries them (the three-letter manufacturer packed into 16 bits).
class HeadsetIds {
public:
    using Id = std::pair<uint16_t, uint16_t>;
    // A sysfs attribute of a USB device or of one of its parents, as udev's ATTRS{} matches it.
    using AttributeLookup = std::function<std::optional<std::string>(const std::string &name)>;

    // Every rule that matches ATTRS{idVendor} and ATTRS{idProduct} (or the ATTR forms) and names
    // a headset: by the built-in table where it knows the id, else by the comment above the rule.
    // Further ATTRS{}/ATTR{} equalities are kept as conditions; a rule with any other condition
    // is skipped, since this library cannot tell whether it holds.
    void addUdevRules(std::string_view rules);
    // One id a line, "vvvv:pppp" in hex for USB, or "ABC:pppp" (three letters) for a display;
    // "#" starts a comment. Returns the lines that are neither, numbered from 1.
    std::vector<std::pair<int, std::string>> addUserList(std::string_view list);
    // What the user is told of a line of their list that is neither.
    static std::string unreadLineProblem(const std::string &path, int line,
                                         const std::string &text);

    // Where a headset's own USB device is listed: the built-in table, the user's list, or a rule
    // whose conditions hold; empty if it is listed nowhere.
    std::string_view usbListing(Id id, const AttributeLookup &attribute) const;
    bool hasDisplay(Id id) const { return m_display.count(id) != 0; }

    // False unless the text is exactly four hex digits.
    static bool parseHex16(std::string_view text, uint16_t &value);

private:
    struct UsbRule {
        Id id;
        std::vector<std::pair<std::string, std::string>> attributes;
    };

    // Three letters A..Z packed as in the EDID's bytes 8 and 9.
    static bool parseManufacturer(std::string_view text, uint16_t &value);
    static bool namesAccessory(std::string_view comment);
    static bool matchesPattern(const std::string &value, const std::string &pattern);

    std::set<Id> m_usb;
    std::vector<UsbRule> m_rules;
    std::set<Id> m_display;
};

} // namespace hlx::headsets
