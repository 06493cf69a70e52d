#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"

#include <filesystem>

namespace {

const char *const kEntryPoints[] = {
    "HLX_Init",
    "HLX_Deinit",
    "HLX_SetDisplayCapturerPath",
    "HLX_StartDisplayCapturer",
    "HLX_StopDisplayCapturer",
    "HLX_EnableEyeshield",
    "HLX_DisableEyeshield",
    "HLX_GetWindowMessage",
};

// The device library doubles: one folder per missing export and "all", each with a library
// of the device library's file name. A relative root lies beside the test program.
std::string doubleOf(const std::string &variant) {
    const std::filesystem::path root =
        std::filesystem::path(support::ChildProcess::programPath()).parent_path() /
        HLX_DOUBLES_ROOT;
    return (root / variant / platform::deviceLibraryFileName()).string();
}

TEST_CASE(library, "a library that is not there does not load") {
    CHECK(platform::loadLibrary("hlx-no-such-library-" + platform::deviceLibraryFileName()) ==
          nullptr);
    CHECK(platform::loadLibrary(doubleOf("no-such-folder")) == nullptr);
}

TEST_CASE(library, "every entry point of a complete library resolves and answers") {
    const platform::LibraryHandle library = platform::loadLibrary(doubleOf("all"));
    CHECK_MESSAGE(library != nullptr, doubleOf("all"));
    for (const char *name : kEntryPoints)
        CHECK_MESSAGE(platform::resolveSymbol(library, name) != nullptr, name);
    using Init = int (*)();
    const auto init = reinterpret_cast<Init>(platform::resolveSymbol(library, "HLX_Init"));
    CHECK_EQUAL(init(), 0);
}

TEST_CASE(library, "an export that is missing resolves to nothing, the others still resolve") {
    for (const char *missing : kEntryPoints) {
        const platform::LibraryHandle library = platform::loadLibrary(doubleOf(missing));
        CHECK_MESSAGE(library != nullptr, doubleOf(missing));
        for (const char *name : kEntryPoints) {
            const bool resolved = platform::resolveSymbol(library, name) != nullptr;
            CHECK_MESSAGE(resolved == (name != std::string(missing)),
                          name << " in the library without " << missing);
        }
    }
}

} // namespace
