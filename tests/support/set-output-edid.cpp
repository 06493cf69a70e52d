// Usage: set-output-edid OUTPUT [HEX_FILE]
//
// Sets the EDID property of the X output OUTPUT (on $DISPLAY) to the bytes of HEX_FILE, a hex
// dump as edid-decode prints it, or removes the property without a file. A kernel-driven output
// carries the monitor's EDID in that property; wine copies it into the monitor's Device
// Parameters, which is where a Windows program reads it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

std::vector<unsigned char> readHexDump(const char *path) {
    std::ifstream file(path);
    std::vector<unsigned char> bytes;
    unsigned byte = 0;
    while (file >> std::hex >> byte && byte <= 0xff)
        bytes.push_back(static_cast<unsigned char>(byte));
    return file.eof() ? bytes : std::vector<unsigned char>();
}

RROutput findOutput(Display *display, XRRScreenResources *resources, const char *name) {
    for (int i = 0; i < resources->noutput; ++i) {
        XRROutputInfo *info = XRRGetOutputInfo(display, resources, resources->outputs[i]);
        const bool match = info && std::strcmp(info->name, name) == 0;
        XRRFreeOutputInfo(info);
        if (match)
            return resources->outputs[i];
    }
    return None;
}

bool hasProperty(Display *display, RROutput output, Atom property) {
    int count = 0;
    Atom *properties = XRRListOutputProperties(display, output, &count);
    const bool found = std::find(properties, properties + count, property) != properties + count;
    XFree(properties);
    return found;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: set-output-edid OUTPUT [HEX_FILE]\n");
        return 2;
    }
    std::vector<unsigned char> edid;
    if (argc == 3) {
        edid = readHexDump(argv[2]);
        if (edid.size() < 128 || edid.size() % 128 != 0) {
            std::fprintf(stderr, "set-output-edid: %s holds no EDID\n", argv[2]);
            return 1;
        }
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "set-output-edid: cannot open the display\n");
        return 1;
    }
    XRRScreenResources *resources = XRRGetScreenResources(display, DefaultRootWindow(display));
    const RROutput output = resources ? findOutput(display, resources, argv[1]) : None;
    XRRFreeScreenResources(resources);
    if (output == None) {
        std::fprintf(stderr, "set-output-edid: no output %s\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }
    const Atom property = XInternAtom(display, "EDID", False);
    if (edid.empty()) {
        // Deleting a property the output does not have is an error of the server's.
        if (hasProperty(display, output, property))
            XRRDeleteOutputProperty(display, output, property);
    } else {
        XRRChangeOutputProperty(display, output, property, XA_INTEGER, 8, PropModeReplace,
                                edid.data(), static_cast<int>(edid.size()));
    }
    // The round trip makes sure the server has the change before the next client asks.
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
