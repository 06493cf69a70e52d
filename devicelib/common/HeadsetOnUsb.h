#pragma once

#include <string>

namespace hlx {

// The headset on USB now, as a user calls it ("Valve Index"), judged as the device library judges
// it; empty when none is, or the system cannot be asked. For a program that wants to know of a
// headset whose display it cannot find, as the demo does before it chooses one.
std::string headsetOnUsb();

} // namespace hlx
