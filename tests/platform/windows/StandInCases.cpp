#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"

#include <windows.h>

#include <filesystem>

namespace {

std::string standIn(const char *fileName) {
    return (std::filesystem::path(support::ChildProcess::programPath()).parent_path() /
            HLX_WINDOWS_BIN_DIR / fileName)
        .string();
}

using NoArguments = int(WINAPI *)();
using SetPath = int(WINAPI *)(const char *);

TEST_CASE(standins, "the stand-in library exports the eight entry points") {
    const platform::LibraryHandle library = platform::loadLibrary(standIn("libHLX.dll"));
    CHECK(library != nullptr);
    for (const char *name : {"HLX_Init", "HLX_Deinit", "HLX_SetDisplayCapturerPath",
                             "HLX_StartDisplayCapturer", "HLX_StopDisplayCapturer",
                             "HLX_EnableEyeshield", "HLX_DisableEyeshield", "HLX_GetWindowMessage"})
        CHECK_MESSAGE(platform::resolveSymbol(library, name) != nullptr, name);
}

TEST_CASE(standins, "the capturer starts only when its program is there") {
    const platform::LibraryHandle library = platform::loadLibrary(standIn("libHLX.dll"));
    CHECK(library != nullptr);
    const auto setPath =
        reinterpret_cast<SetPath>(platform::resolveSymbol(library, "HLX_SetDisplayCapturerPath"));
    const auto start =
        reinterpret_cast<NoArguments>(platform::resolveSymbol(library, "HLX_StartDisplayCapturer"));
    CHECK(setPath != nullptr && start != nullptr);

    CHECK_EQUAL(start(), -2);
    CHECK_EQUAL(setPath(standIn("no-such-capturer.exe").c_str()), 0);
    CHECK_EQUAL(start(), -2);
    // Any program stands in for the capturer; without arguments this one only prints its usage.
    CHECK_EQUAL(setPath(standIn("hlx-device.exe").c_str()), 0);
    CHECK_EQUAL(start(), 0);
}

} // namespace
