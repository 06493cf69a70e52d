#include "HeadsetDisplayFinder.h"

#include <algorithm>

namespace hlx {

HeadsetDisplay HeadsetDisplayFinder::find() const {
    const std::vector<HeadsetDisplay> displays = all();
    for (const HeadsetDisplay::Place place :
         {HeadsetDisplay::Place::Desktop, HeadsetDisplay::Place::OffDesktop}) {
        const auto found =
            std::find_if(displays.begin(), displays.end(), [place](const HeadsetDisplay &d) {
                return !d.headset.empty() && d.place == place;
            });
        if (found != displays.end())
            return *found;
    }
    return {};
}

} // namespace hlx
