#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"

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

class LibraryCases : public QObject {
    Q_OBJECT

private slots:
    void aLibraryThatIsNotThereDoesNotLoad() {
        QVERIFY(platform::loadLibrary("hlx-no-such-library-" + platform::deviceLibraryFileName()) ==
                nullptr);
        QVERIFY(platform::loadLibrary(doubleOf("no-such-folder")) == nullptr);
    }

    void everyEntryPointOfACompleteLibraryResolvesAndAnswers() {
        const platform::LibraryHandle library = platform::loadLibrary(doubleOf("all"));
        QVERIFY2(library != nullptr, doubleOf("all").c_str());
        for (const char *name : kEntryPoints)
            QVERIFY2(platform::resolveSymbol(library, name) != nullptr, name);
        using Init = int (*)();
        const auto init = reinterpret_cast<Init>(platform::resolveSymbol(library, "HLX_Init"));
        QCOMPARE(init(), 0);
    }

    void aMissingExportResolvesToNothingTheOthersStillResolve() {
        for (const char *missing : kEntryPoints) {
            const platform::LibraryHandle library = platform::loadLibrary(doubleOf(missing));
            QVERIFY2(library != nullptr, doubleOf(missing).c_str());
            for (const char *name : kEntryPoints) {
                const bool resolved = platform::resolveSymbol(library, name) != nullptr;
                QVERIFY2(resolved == (name != std::string(missing)),
                         (name + std::string(" in the library without ") + missing).c_str());
            }
        }
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(LibraryCases, {})

#include "LibraryCases.moc"
