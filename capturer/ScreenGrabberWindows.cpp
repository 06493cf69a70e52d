#include "WindowsScreenGrabber.h"

std::unique_ptr<ScreenGrabber> ScreenGrabber::create() {
    return std::make_unique<WindowsScreenGrabber>();
}
