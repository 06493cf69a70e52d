#include "LeasedDisplayFrames.h"

// The demo never holds a display leased on Windows.
std::unique_ptr<LeasedDisplayFrames> LeasedDisplayFrames::create() {
    return nullptr;
}
