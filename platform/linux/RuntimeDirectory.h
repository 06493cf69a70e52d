#pragma once

#include <string>

namespace platform {

// The folder for per-user runtime files: $XDG_RUNTIME_DIR, or else a folder of our own
// under $TMPDIR (or /tmp) that only this user can enter. Empty when neither is usable.
std::string runtimeDirectory();

// The same, for what no other user may reach: $XDG_RUNTIME_DIR too is taken only as a real
// directory of this user's that nobody else can enter, as the folder under /tmp is; where it is
// set but not such a folder, `refusal` says why it was passed over.
std::string privateRuntimeDirectory(std::string *refusal);

// A file-name-safe key for the X display that `display` names, so that every spelling of one
// local server (":0", ":00", ":0.1", "unix/:0", "localhost/unix:0") shares a key while ":1"
// and another host's ":0" get others.
std::string displayKey(const char *display);

} // namespace platform
