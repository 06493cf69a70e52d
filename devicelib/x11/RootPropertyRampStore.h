#pragma once

#include "OwnRampStore.h"

namespace hlx {

// Each display's own table as a property of the root window of $DISPLAY, one for each output and
// display. Properties live exactly as long as the X server, as its gamma tables do: a new server
// starts with plain tables and none of these.
class RootPropertyRampStore final : public OwnRampStore {
public:
    // The X server's tables of the desktop's displays.
    static constexpr char desktopTables[] = "_HLX_OWN_GAMMA";
    // The table of a CRTC leased from the X server, which the server neither sets nor resets: it
    // is not the server's table of the same output.
    static constexpr char leasedCrtcTables[] = "_HLX_OWN_LEASED_GAMMA";

    explicit RootPropertyRampStore(std::string prefix = desktopTables);

    // The property's name for this display.
    static std::string propertyOf(const HeadsetDisplay &display,
                                  const std::string &prefix = desktopTables);

    std::optional<GammaRamp> recall(const HeadsetDisplay &display) override;
    bool keep(const HeadsetDisplay &display, const GammaRamp &own) override;
    void forget(const HeadsetDisplay &display) override;

private:
    const std::string m_prefix;
};

} // namespace hlx
