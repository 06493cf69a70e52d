#pragma once

#include <cstdint>
#include <string>

namespace hlx {

// The EDID the kernel read on one of its connectors, for an X server that hands out none of its
// own: Xwayland's outputs carry no EDID property. Some keep the kernel's connector names, others
// (Xwayland under sway: XWAYLAND0, ...) name their outputs themselves and give the kernel's
// connector only by its DRM id, in the output's CONNECTOR_ID property.
struct KernelConnectorEdid {
    std::string edid;
    // The connector it was read on, in words for the user; empty when none was found.
    std::string source;
    // Why no connector was found, in words for the user; empty when one was, or none was looked
    // for.
    std::string problem;

    static KernelConnectorEdid byName(const std::string &output);
    static KernelConnectorEdid byConnectorId(uint32_t connectorId);
};

} // namespace hlx
