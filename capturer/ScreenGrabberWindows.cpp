#include "DuplicationScreenGrabber.h"
#include "GdiScreenGrabber.h"

std::unique_ptr<ScreenGrabber> ScreenGrabber::create() {
    if (DuplicationScreenGrabber::available())
        return std::make_unique<DuplicationScreenGrabber>();
    return std::make_unique<GdiScreenGrabber>();
}
