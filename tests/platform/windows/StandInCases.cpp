#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"

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

class StandInCases : public QObject {
    Q_OBJECT

private slots:
    void theStandInLibraryExportsTheEightEntryPoints() {
        const platform::LibraryHandle library = platform::loadLibrary(standIn("libHLX.dll"));
        QVERIFY(library != nullptr);
        for (const char *name :
             {"HLX_Init", "HLX_Deinit", "HLX_SetDisplayCapturerPath", "HLX_StartDisplayCapturer",
              "HLX_StopDisplayCapturer", "HLX_EnableEyeshield", "HLX_DisableEyeshield",
              "HLX_GetWindowMessage"})
            QVERIFY2(platform::resolveSymbol(library, name) != nullptr, name);
    }

    void theCapturerStartsOnlyWhenItsProgramIsThere() {
        const platform::LibraryHandle library = platform::loadLibrary(standIn("libHLX.dll"));
        QVERIFY(library != nullptr);
        const auto setPath = reinterpret_cast<SetPath>(
            platform::resolveSymbol(library, "HLX_SetDisplayCapturerPath"));
        const auto start = reinterpret_cast<NoArguments>(
            platform::resolveSymbol(library, "HLX_StartDisplayCapturer"));
        QVERIFY(setPath != nullptr && start != nullptr);

        QCOMPARE(start(), -2);
        QCOMPARE(setPath(standIn("no-such-capturer.exe").c_str()), 0);
        QCOMPARE(start(), -2);
        // Any program stands in for the capturer; without arguments this one only prints its
        // usage.
        QCOMPARE(setPath(standIn("hlx-device.exe").c_str()), 0);
        QCOMPARE(start(), 0);
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(StandInCases, {})

#include "StandInCases.moc"
