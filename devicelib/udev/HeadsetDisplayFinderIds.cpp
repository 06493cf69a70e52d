#include "HeadsetDisplayFinder.h"

#include "HeadsetIdFiles.h"

namespace hlx {

// Programs that only look for the display (the demo, the capturer) report no problems of the
// user's list: the device library reports them once, when the utility starts.
HeadsetDisplayFinder::HeadsetDisplayFinder()
    : HeadsetDisplayFinder(udev::HeadsetIdFiles::load(udev::HeadsetIdFiles::Problems::Ignore)) {}

} // namespace hlx
