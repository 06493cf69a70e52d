#pragma once

#include "DeviceMessages.h"

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace support {

// What run-device-cases.sh offers a row while it runs: the folders it names, and another EDID
// on the dummy X server's output, which wine copies to where Windows keeps a monitor's EDID.

// A folder the harness names as Linux spells it; wine's drive Z: is Linux's root.
std::filesystem::path harnessFolder(const char *variable);

// HLX_DEVICE_DATA: tests/devicelib, with its EDIDs and USB devices.
std::filesystem::path deviceData();

// Whether a present monitor carries the EDID of tests/devicelib that `edidWord` names
// ("edid/KIND/NAME.hex").
bool monitorCarries(const std::string &edidWord);

// Asks the harness for another EDID on the X output (none for an empty word) and waits until
// wine has copied it to the monitor; false if either did not happen within 10 s.
bool changeEdid(const std::string &edidWord);

// Asks the harness for the gamma table that the X server holds for its screen, where wine puts
// every display's: its size and its last red, green and blue entries; empty if it did not come
// within 10 s.
std::vector<unsigned> screenGammaTop();

// The registered number of the message that brings `link` up or takes it down.
UINT registeredLinkMessage(hlx::Link link, bool up);

} // namespace support
