#pragma once

#include <cstdint>
#include <set>
#include <string_view>
#include <utility>

namespace hlx::udev {

// The headsets this library recognises: USB vendor:product pairs, and display manufacturer:product
// pairs as the EDID carries them (the three-letter manufacturer packed into 16 bits).
class HeadsetIds {
public:
    using Id = std::pair<uint16_t, uint16_t>;

    // Every line that matches both ATTRS{idVendor} and ATTRS{idProduct} (or the ATTR forms).
    void addUdevRules(std::string_view rules);
    // One id a line, "vvvv:pppp" in hex for USB, or "ABC:pppp" (three letters) for a display;
    // "#" starts a comment. Lines that are neither are skipped.
    void addUserList(std::string_view list);

    bool hasUsb(Id id) const { return m_usb.count(id) != 0; }
    bool hasDisplay(Id id) const { return m_display.count(id) != 0; }

    // False unless the text is exactly four hex digits.
    static bool parseHex16(std::string_view text, uint16_t &value);

private:
    // Three letters A..Z packed as in the EDID's bytes 8 and 9.
    static bool parseManufacturer(std::string_view text, uint16_t &value);

    std::set<Id> m_usb;
    std::set<Id> m_display;
};

} // namespace hlx::udev
