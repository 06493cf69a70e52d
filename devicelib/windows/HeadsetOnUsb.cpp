#include "HeadsetOnUsb.h"

#include "HeadsetIdFiles.h"
#include "PresentHeadsets.h"

namespace hlx {

std::string headsetOnUsb() {
    std::string name;
    windows::headsetUsbPresent(
        windows::HeadsetIdFiles::load(windows::HeadsetIdFiles::Problems::Ignore),
        [&name](const std::string &, const headsets::Verdict &verdict) {
            if (verdict.headset && name.empty())
                name = verdict.name;
        });
    return name;
}

} // namespace hlx
