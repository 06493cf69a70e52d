#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"

#include <windows.h>

#include <filesystem>

namespace {

class LibraryErrorCases : public QObject {
    Q_OBJECT

private slots:
    // The error box reports these codes, so each failure must leave its own.
    void failuresLeaveTheSystemsCodesAsTheLastError() {
        SetLastError(0);
        QVERIFY(platform::loadLibrary("hlx-no-such-library.dll") == nullptr);
        QCOMPARE(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));

        const std::filesystem::path all =
            std::filesystem::path(support::ChildProcess::programPath()).parent_path() /
            HLX_DOUBLES_ROOT / "all" / "libHLX.dll";
        const platform::LibraryHandle library = platform::loadLibrary(all.string());
        QVERIFY(library != nullptr);
        SetLastError(0);
        QVERIFY(platform::resolveSymbol(library, "HLX_NoSuchEntry") == nullptr);
        QCOMPARE(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(LibraryErrorCases, {})

#include "LibraryErrorCases.moc"
