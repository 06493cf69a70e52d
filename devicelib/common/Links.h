#pragma once

namespace hlx {

// What the window shows: whether each of the headset's two links is up.
struct Links {
    bool display = false;
    bool usb = false;
};

} // namespace hlx
