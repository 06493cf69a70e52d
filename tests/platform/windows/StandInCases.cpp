#include "CompanionStarts.h"
#include "Platform.h"
#include "PlatformTestMain.h"
#include "TemporaryDirectory.h"
#include "UtilityProcess.h"

#include <windows.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using NoArguments = int(WINAPI *)();
using SetPath = int(WINAPI *)(const char *);

// The simulator's library in bin, and the one for real headsets.
fs::path deviceLibrary(const QString &which) {
    return support::buildRoot() / (which == "simulator" ? "bin" : "device-windows") / "libHLX.dll";
}

class StandInCases : public QObject {
    Q_OBJECT

private slots:
    void theStandInLibraryExportsTheEightEntryPoints() {
        const platform::LibraryHandle library =
            platform::loadLibrary(deviceLibrary("simulator").string());
        QVERIFY(library != nullptr);
        for (const char *name :
             {"HLX_Init", "HLX_Deinit", "HLX_SetDisplayCapturerPath", "HLX_StartDisplayCapturer",
              "HLX_StopDisplayCapturer", "HLX_EnableEyeshield", "HLX_DisableEyeshield",
              "HLX_GetWindowMessage"})
            QVERIFY2(platform::resolveSymbol(library, name) != nullptr, name);
    }

    void theCapturerStartsFromItsPathInFullOnlyWhenItIsThere_data() {
        QTest::addColumn<QString>("library");
        QTest::newRow("simulator") << QString("simulator");
        QTest::newRow("real headsets") << QString("real");
    }

    // Ω is in no Western code page: a path passed through one would name no file.
    void theCapturerStartsFromItsPathInFullOnlyWhenItIsThere() {
        QFETCH(QString, library);
        const platform::LibraryHandle loaded =
            platform::loadLibrary(deviceLibrary(library).string());
        QVERIFY(loaded != nullptr);
        const auto setPath = reinterpret_cast<SetPath>(
            platform::resolveSymbol(loaded, "HLX_SetDisplayCapturerPath"));
        const auto start = reinterpret_cast<NoArguments>(
            platform::resolveSymbol(loaded, "HLX_StartDisplayCapturer"));
        QVERIFY(setPath != nullptr && start != nullptr);
        const support::TemporaryDirectory folder;
        const fs::path home = folder.path() / L"Ger\u00E4t \u03A9";
        fs::copy(support::buildRoot() / "Pictor", home, fs::copy_options::recursive);
        const std::string capturer = (home / "Pictor.exe").u8string();

        QCOMPARE(start(), -2);
        QCOMPARE(setPath((home / "no-such-capturer.exe").u8string().c_str()), 0);
        QCOMPARE(start(), -2);
        QCOMPARE(setPath(home.u8string().c_str()), 0);
        QCOMPARE(start(), -1);
        support::CompanionStarts companions(folder.path() / "companions.txt");
        QCOMPARE(setPath(capturer.c_str()), 0);
        QCOMPARE(start(), 0);
        QVERIFY(companions.waitFor({"Pictor"}));
        const std::string record = companions.record("Pictor");
        QVERIFY2(record.find(u8"Ger\u00E4t \u03A9\\\\Pictor.exe\"") != std::string::npos,
                 record.c_str());
        QCOMPARE(setPath(nullptr), 0);
        QCOMPARE(start(), -2);
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(StandInCases, {})

#include "StandInCases.moc"
