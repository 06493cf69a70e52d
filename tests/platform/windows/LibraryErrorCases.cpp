#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"

#include <windows.h>

#include <filesystem>

namespace {

// The error box reports these codes, so each failure must leave its own.
TEST_CASE(libraryerror, "failures leave the system's codes as the last error") {
    SetLastError(0);
    CHECK(platform::loadLibrary("hlx-no-such-library.dll") == nullptr);
    CHECK_EQUAL(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

    const std::filesystem::path all =
        std::filesystem::path(support::ChildProcess::programPath()).parent_path() /
        HLX_DOUBLES_ROOT / "all" / "libHLX.dll";
    const platform::LibraryHandle library = platform::loadLibrary(all.string());
    CHECK(library != nullptr);
    SetLastError(0);
    CHECK(platform::resolveSymbol(library, "HLX_NoSuchEntry") == nullptr);
    CHECK_EQUAL(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
}

} // namespace
