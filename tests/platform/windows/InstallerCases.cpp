#include "CompanionStarts.h"
#include "PlatformTestMain.h"
#include "StdStringComparison.h"
#include "TemporaryDirectory.h"
#include "UtilityProcess.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The build's installer, run silently as a user would from a script, and its uninstaller,
// silently and not, over and beside the installed utility running in the tray.
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kWindowClass[] = L"" HLX_QT_WINDOW_CLASS;
constexpr wchar_t kTitle[] = L"HLX_Configuration_Utility";
// Done, but files in use go at the next restart.
constexpr long kRestartNeeded = 3010;
constexpr std::uintmax_t kMiB = 1024 * 1024;

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
    std::wstring arguments;
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
                if (link->GetArguments(text, MAX_PATH) == S_OK)
                    read.arguments = text;
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

fs::path installedFolder() {
    return knownFolder(FOLDERID_LocalAppData) / "Programs" / "HLX configuration utility";
}

fs::path startMenuShortcut() {
    return knownFolder(FOLDERID_Programs) / "HLX configuration utility.lnk";
}

fs::path startupShortcut() {
    return knownFolder(FOLDERID_Startup) / "HLX configuration utility.lnk";
}

// What the simulator puts in place of the default install's own: the device library, the demo
// and the screen capturer.
constexpr const char *kSwapped[] = {"bin/libHLX.dll", "demo/Lumeshow.exe", "Pictor/Pictor.exe"};

// The component whose `file` an install holds, byte for byte as the installer carries it:
// "utility" (the library for real headsets, the real demo and capturer) or "simulator" (the
// stand-ins); empty if neither.
std::string componentOf(const fs::path &installed, const char *file) {
    const std::string held = support::readText(installed / file);
    for (const char *component : {"utility", "simulator"}) {
        const fs::path staged = support::buildRoot() / HLX_INSTALLER_STAGE / component / file;
        if (!held.empty() && held == support::readText(staged))
            return component;
    }
    return {};
}

// Whether every program the simulator swaps is `component`'s; names the first that is not.
std::string allFrom(const fs::path &installed, const std::string &component) {
    for (const char *file : kSwapped) {
        if (componentOf(installed, file) != component)
            return std::string(file) + " is not the " + component + "'s";
    }
    return {};
}

long install(const fs::path &scratch, const std::wstring &options) {
    support::UtilityProcess setup(support::buildRoot() / HLX_INSTALLER_NAME, scratch, options);
    return setup.waitForExit(120000);
}

// Run in place, as a script that wants its result runs it: plain, it would hand the work to a
// copy of itself and return at once.
std::wstring inPlace() {
    return L"_?=" + installedFolder().wstring();
}

// The utility as the Startup shortcut starts it at login, once its window is there. Run from
// an install with the simulator, so that its device library is there and no box keeps it.
struct RunningAtLogin {
    explicit RunningAtLogin(const Shortcut &shortcut)
        : process(shortcut.target, shortcut.workingFolder, shortcut.arguments)
        , shown(support::waitFor(30000,
                                 [] { return FindWindowW(kWindowClass, kTitle) != nullptr; })) {}
    support::UtilityProcess process;
    const bool shown;
};

// Its shown box (class "#32770") whose text holds `words`; null after 30 s.
HWND awaitBoxSaying(const support::UtilityProcess &program, const std::wstring &words) {
    HWND box = nullptr;
    support::waitFor(30000, [&] {
        for (HWND window : program.windows(L"#32770")) {
            wchar_t text[2048] = {};
            GetDlgItemTextW(window, 0xFFFF, text, 2048);
            if (IsWindowVisible(window) && std::wstring(text).find(words) != std::wstring::npos)
                box = window;
        }
        return box != nullptr;
    });
    return box;
}

void press(HWND dialog, int button) {
    SendMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
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
        // Their windows come after their records and take the foreground as they come: the
        // keys for Close wait for them.
        QVERIFY(support::waitFor(30000, [] {
            for (const wchar_t *title : {L"Pictor (stand-in)", L"Lumeshow (stand-in)"}) {
                if (!IsWindowVisible(FindWindowW(L"HlxCompanionStandIn", title)))
                    return false;
            }
            return true;
        }));
    }
    // Close follows ShowDemo, which keeps the focus, in the window's focus chain.
    QVERIFY(support::typeInto(window, VK_TAB));
    QVERIFY(support::typeInto(window, VK_SPACE));
    QCOMPARE(utility.waitForExit(30000), 0L);
}

// Starts the utility as its shortcut does from an install without the simulator and ends it with
// Close. The library for real headsets loads and starts following the links: its hidden window
// is there, in the utility's process, once HLX_Init has run, the last step of loading, which an
// error box would have held up.
void runWithoutSimulator(const Shortcut &shortcut) {
    support::UtilityProcess utility(shortcut.target, shortcut.workingFolder);
    HWND window = utility.awaitWindow(kWindowClass, kTitle);
    QVERIFY(window != nullptr);
    QVERIFY(support::waitFor(30000, [&] { return !utility.windows(L"HLX_DeviceWatch").empty(); }));
    QVERIFY(utility.windows(L"#32770").empty());
    QVERIFY(support::typeInto(window, VK_TAB));
    QVERIFY(support::typeInto(window, VK_SPACE));
    QCOMPARE(utility.waitForExit(30000), 0L);
}

class InstallerCases : public QObject {
    Q_OBJECT

private slots:
    void
    aSilentInstallRunsFromItsShortcutsIsUpgradedAndUninstalledWhileItRunsAndKeepsTheSettings() {
        const fs::path installed = installedFolder();
        std::error_code ignored;
        fs::remove_all(installed, ignored);
        const support::TemporaryDirectory scratch;

        QCOMPARE(install(scratch.path(), L"/S /SIMULATOR"), 0L);
        for (const char *file :
             {"bin/hlx-config.exe", "bin/libHLX.dll", "bin/hlx-device.exe", "bin/hlx-headsets.exe",
              "bin/Qt5Widgets.dll", "bin/platforms/qwindows.dll", "demo/Lumeshow.exe",
              "Pictor/Pictor.exe", "Uninstall.exe"})
            QVERIFY2(fs::exists(installed / file), file);
        // The simulator's library and companions take the place of the real ones.
        std::string swapped = allFrom(installed, "simulator");
        QVERIFY2(swapped.empty(), swapped.c_str());

        const Shortcut shortcut = readShortcut(startMenuShortcut());
        QCOMPARE(shortcut.target.wstring(), (installed / "bin" / "hlx-config.exe").wstring());
        QCOMPARE(shortcut.workingFolder.wstring(), (installed / "bin").wstring());
        const Shortcut atLogin = readShortcut(startupShortcut());
        QCOMPARE(atLogin.target.wstring(), shortcut.target.wstring());
        QCOMPARE(atLogin.arguments, std::wstring(L"--autostart"));
        QCOMPARE(atLogin.workingFolder.wstring(), shortcut.workingFolder.wstring());

        // The first run stores where the demo is; the next one starts with that file as it was.
        runFromShortcut(shortcut, scratch.path() / "companions.txt", true);
        const fs::path settingsFile = installed / "bin" / "UserSetting.ini";
        const std::string settings = support::readText(settingsFile);
        QVERIFY2(settings.find("target_path_Demo=") != std::string::npos, settings.c_str());
        runFromShortcut(shortcut, scratch.path() / "companions.txt", false);
        QCOMPARE(support::readText(settingsFile), settings);

        // Installed over, without the simulator this time: the running utility is closed, as
        // by its tray's exit, and what the new install does not bring goes.
        {
            RunningAtLogin utility(atLogin);
            QVERIFY(utility.shown);
            QCOMPARE(install(scratch.path(), L"/S"), 0L);
            QCOMPARE(utility.process.waitForExit(30000), 0L);
        }
        QVERIFY(!fs::exists(installed / "bin/hlx-device.exe"));
        for (const char *file : {"bin/hlx-config.exe", "bin/hlx-headsets.exe", "demo/Lumeshow.exe",
                                 "Pictor/Pictor.exe"})
            QVERIFY2(fs::exists(installed / file), file);
        // The real demo and capturer are Qt programs too: one copy of Qt serves all three.
        const std::vector<fs::path> defaultFiles = filesUnder(installed);
        std::uintmax_t bytes = 0;
        for (const fs::path &file : defaultFiles)
            bytes += fs::file_size(file);
        qInfo("the default install: %zu files, %.1f MiB", defaultFiles.size(),
              double(bytes) / double(kMiB));
        QCOMPARE(
            std::count_if(defaultFiles.begin(), defaultFiles.end(),
                          [](const fs::path &file) { return file.filename() == "Qt5Core.dll"; }),
            std::ptrdiff_t(1));
        QVERIFY2(bytes <= 40 * kMiB, std::to_string(bytes).c_str());
        // Without the simulator, the library for real headsets, the real demo and capturer are
        // back.
        swapped = allFrom(installed, "utility");
        QVERIFY2(swapped.empty(), swapped.c_str());
        QCOMPARE(support::readText(settingsFile), settings);
        runWithoutSimulator(shortcut);

        // The simulator installed over the default install replaces them again.
        QCOMPARE(install(scratch.path(), L"/S /SIMULATOR"), 0L);
        swapped = allFrom(installed, "simulator");
        QVERIFY2(swapped.empty(), swapped.c_str());
        const std::vector<fs::path> installedFiles = filesUnder(installed);

        {
            RunningAtLogin utility(atLogin);
            QVERIFY(utility.shown);
            support::UtilityProcess uninstall(installed / "Uninstall.exe", scratch.path(),
                                              L"/S " + inPlace());
            QCOMPARE(uninstall.waitForExit(60000), 0L);
            QCOMPARE(utility.process.waitForExit(30000), 0L);
        }
        // Its own file goes once it has ended.
        QVERIFY(support::waitFor(60000, [&] { return !fs::exists(installed / "Uninstall.exe"); }));
        for (const fs::path &file : installedFiles) {
            if (file != settingsFile)
                QVERIFY2(!fs::exists(file), file.string().c_str());
        }
        QVERIFY(!fs::exists(startMenuShortcut()));
        QVERIFY(!fs::exists(startupShortcut()));
        QVERIFY2(fs::exists(settingsFile), "the user's settings stay");
        QCOMPARE(filesUnder(installed).size(), std::size_t(1));
        fs::remove_all(installed, ignored);
    }

    void anInteractiveUninstallAsksToCloseTheRunningUtilityAndNamesAFileInUse() {
        const fs::path installed = installedFolder();
        std::error_code ignored;
        fs::remove_all(installed, ignored);
        const support::TemporaryDirectory scratch;
        QCOMPARE(install(scratch.path(), L"/S /SIMULATOR"), 0L);
        const fs::path inUse = installed / "bin" / "Qt5Widgets.dll";
        // Open as a virus scanner or a viewer would hold it, without leave to delete.
        HANDLE held = CreateFileW(inUse.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        QVERIFY(held != INVALID_HANDLE_VALUE);

        {
            RunningAtLogin utility(readShortcut(startupShortcut()));
            QVERIFY(utility.shown);
            support::UtilityProcess uninstall(installed / "Uninstall.exe", scratch.path(),
                                              inPlace());
            // The confirmation page's "Uninstall" button.
            HWND page = uninstall.awaitBox();
            QVERIFY(page != nullptr);
            press(page, IDOK);
            HWND question = awaitBoxSaying(uninstall, L"HLX configuration utility is running");
            QVERIFY(question != nullptr);
            QVERIFY(utility.process.running());
            press(question, IDOK);
            QCOMPARE(utility.process.waitForExit(30000), 0L);
            HWND report = awaitBoxSaying(uninstall, L"removed when Windows restarts");
            QVERIFY(report != nullptr);
            wchar_t text[2048] = {};
            GetDlgItemTextW(report, 0xFFFF, text, 2048);
            QVERIFY2(std::wstring(text).find(inUse.wstring()) != std::wstring::npos,
                     inUse.string().c_str());
            press(report, IDOK);
            QCOMPARE(uninstall.waitForExit(60000), kRestartNeeded);
        }
        CloseHandle(held);
        QVERIFY(support::waitFor(60000, [&] { return !fs::exists(installed / "Uninstall.exe"); }));
        QVERIFY(!fs::exists(startupShortcut()));
        // Besides the settings, only the file that was in use.
        std::vector<fs::path> left = filesUnder(installed);
        left.erase(std::remove(left.begin(), left.end(), installed / "bin" / "UserSetting.ini"),
                   left.end());
        QCOMPARE(left.size(), std::size_t(1));
        QCOMPARE(left.front().wstring(), inUse.wstring());
        fs::remove_all(installed, ignored);
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(InstallerCases, {})

#include "InstallerCases.moc"
