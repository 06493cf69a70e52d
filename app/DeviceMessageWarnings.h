#pragma once

// Qt's X11 plugin warns about every client message it does not know, and the device side
// broadcasts its messages to every top-level window. Left alone, each plug or unplug would
// print a line per window; this keeps those lines, and only those, off the console.
class DeviceMessageWarnings {
public:
    static void silence();
};
