#pragma once

#include <string>

namespace platform {

// The folder for per-user runtime files: $XDG_RUNTIME_DIR, or else a folder of our own
// under $TMPDIR (or /tmp) that only this user can enter. Empty when neither is usable.
std::string runtimeDirectory();

// A file-name-safe key for the X display that `display` names, so that ":0" and ":0.1"
// (two screens of one server) share a key while ":1" gets another.
std::string displayKey(const char *display);

} // namespace platform
