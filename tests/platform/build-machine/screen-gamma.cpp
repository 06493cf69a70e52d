// Usage: screen-gamma
//
// Prints the gamma table that the X server (on $DISPLAY) holds for its screen, as XF86VidMode
// has it: "SIZE RED GREEN BLUE", the table's last entries, where a warmer white shows as blue
// below red. Wine hands what a Windows program sets with SetDeviceGammaRamp to this one table for
// the whole screen. Only the library is needed, not its headers: the two calls are declared here.
#include <X11/Xlib.h>

#include <cstdio>
#include <vector>

extern "C" {
Bool XF86VidModeGetGammaRampSize(Display *display, int screen, int *size);
Bool XF86VidModeGetGammaRamp(Display *display, int screen, int size, unsigned short *red,
                             unsigned short *green, unsigned short *blue);
}

int main() {
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "screen-gamma: no X display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    int size = 0;
    if (!XF86VidModeGetGammaRampSize(display, screen, &size) || size <= 0) {
        std::fprintf(stderr, "screen-gamma: the X server has no gamma table\n");
        return 1;
    }
    std::vector<unsigned short> red(size), green(size), blue(size);
    if (!XF86VidModeGetGammaRamp(display, screen, size, red.data(), green.data(), blue.data())) {
        std::fprintf(stderr, "screen-gamma: the gamma table cannot be read\n");
        return 1;
    }
    std::printf("%d %u %u %u\n", size, red.back(), green.back(), blue.back());
    XCloseDisplay(display);
    return 0;
}
