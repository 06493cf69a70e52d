#include "CompanionStarts.h"
#include "PlatformTestMain.h"
#include "StdStringComparison.h"
#include "TemporaryDirectory.h"
#include "UtilityProcess.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

// The build's installer, run silently as a user would from a script, and its uninstaller.
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kWindowClass[] = L"" HLX_QT_WINDOW_CLASS;
constexpr wchar_t kTitle[] = L"HLX_Configuration_Utility";

fs::path knownFolder(REFKNOWNFOLDERID which) {
    wchar_t *path = nullptr;
    fs::path folder;
    if (SHGetKnownFolderPath(which, 0, nullptr, &path) == S_OK)
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

struct Shortcut {
    fs::path target;
    fs::path workingFolder;
};

Shortcut readShortcut(const fs::path &file) {
    Shortcut read;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW *link = nullptr;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                         reinterpret_cast<void **>(&link)) == S_OK) {
        IPersistFile *stored = nullptr;
        if (link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&stored)) == S_OK) {
            if (stored->Load(file.wstring().c_str(), STGM_READ) == S_OK) {
                wchar_t text[MAX_PATH] = {};
                if (link->GetPath(text, MAX_PATH, nullptr, 0) == S_OK)
                    read.target = text;
                if (link->GetWorkingDirectory(text, MAX_PATH) == S_OK)
                    read.workingFolder = text;
            }
            stored->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return read;
}

std::vector<fs::path> filesUnder(const fs::path &folder) {
    std::vector<fs::path> files;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    return files;
}

// Starts the installed utility as its shortcut does, presses ShowDemo, and ends it with Close.
void runFromShortcut(const Shortcut &shortcut, const fs::path &records, bool showDemo) {
    support::CompanionStarts companions(records);
    support::UtilityProcess utility(shortcut.target, shortcut.workingFolder);
    HWND window = utility.awaitWindow(kWindowClass, kTitle);
    QVERIFY(window != nullptr);
    if (showDemo) {
        QVERIFY(support::typeInto(window, VK_SPACE));
        QVERIFY(companions.waitFor({"Pictor", "Lumeshow"}));
    }
    // Close follows ShowDemo, which keeps the focus, in the window's focus chain.
    QVERIFY(support::typeInto(window, VK_TAB));
    QVERIFY(support::typeInto(window, VK_SPACE));
    QCOMPARE(utility.waitForExit(30000), 0L);
}

class InstallerCases : public QObject {
    Q_OBJECT

private slots:
    void aSilentPerUserInstallRunsFromItsShortcutAndUninstallsCleanly() {
        const fs::path installed =
            knownFolder(FOLDERID_LocalAppData) / "Programs" / "HLX configuration utility";
        const fs::path shortcutFile =
            knownFolder(FOLDERID_Programs) / "HLX configuration utility.lnk";
        std::error_code ignored;
        fs::remove_all(installed, ignored);
        const support::TemporaryDirectory scratch;

        support::UtilityProcess setup(support::buildRoot() / HLX_INSTALLER_NAME, scratch.path(),
                                      L"/S");
        QCOMPARE(setup.waitForExit(120000), 0L);
        for (const char *file : {"bin/hlx-config.exe", "bin/libHLX.dll", "bin/hlx-device.exe",
                                 "bin/Qt5Widgets.dll", "bin/platforms/qwindows.dll",
                                 "demo/Lumeshow.exe", "Pictor/Pictor.exe", "Uninstall.exe"})
            QVERIFY2(fs::exists(installed / file), file);
        const std::vector<fs::path> installedFiles = filesUnder(installed);

        const Shortcut shortcut = readShortcut(shortcutFile);
        QCOMPARE(shortcut.target.wstring(), (installed / "bin" / "hlx-config.exe").wstring());
        QCOMPARE(shortcut.workingFolder.wstring(), (installed / "bin").wstring());

        // The first run stores where the demo is; the next one starts with that file as it was.
        runFromShortcut(shortcut, scratch.path() / "companions.txt", true);
        const fs::path settingsFile = installed / "bin" / "UserSetting.ini";
        const std::string settings = support::readText(settingsFile);
        QVERIFY2(settings.find("target_path_Demo=") != std::string::npos, settings.c_str());
        runFromShortcut(shortcut, scratch.path() / "companions.txt", false);
        QCOMPARE(support::readText(settingsFile), settings);

        // The uninstaller runs a copy of itself from the temporary folder and returns at once.
        support::UtilityProcess uninstall(installed / "Uninstall.exe", scratch.path(), L"/S");
        QCOMPARE(uninstall.waitForExit(60000), 0L);
        QVERIFY(support::waitFor(60000, [&] { return !fs::exists(installed / "Uninstall.exe"); }));
        for (const fs::path &file : installedFiles)
            QVERIFY2(!fs::exists(file), file.string().c_str());
        QVERIFY(!fs::exists(shortcutFile));
        QVERIFY2(fs::exists(settingsFile), "the user's settings stay");
        QCOMPARE(filesUnder(installed).size(), std::size_t(1));
        fs::remove_all(installed, ignored);
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(InstallerCases, {})

#include "InstallerCases.moc"
