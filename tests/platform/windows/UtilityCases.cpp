#include "ChildProcess.h"
#include "CompanionStarts.h"
#include "PlatformTestMain.h"
#include "ScreenDpi.h"
#include "StdStringComparison.h"
#include "TemporaryDirectory.h"
#include "TopLevelWindow.h"
#include "UtilityProcess.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// The real hlx-config.exe of this build, started as a person would, read and driven through
// its real windows.
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kWindowClass[] = L"" HLX_QT_WINDOW_CLASS;
constexpr wchar_t kTitle[] = L"HLX_Configuration_Utility";
// What Qt's tray icon asks the shell to send it for a click on the icon.
constexpr UINT kTrayNotification = WM_APP + 101;
constexpr COLORREF kReady = RGB(0, 255, 0);
constexpr COLORREF kNotReady = RGB(255, 0, 0);
// The logo, shown while both links are up, lies on a white field of well over this many
// pixels; the headset picture has none.
constexpr COLORREF kLogoField = RGB(255, 255, 255);
constexpr int kLogoFieldPixels = 10000;

fs::path utilityProgram() {
    return support::buildRoot() / "bin" / "hlx-config.exe";
}

// A working folder of its own for each start, so that UserSetting.ini starts empty.
fs::path workingFolder(const support::TemporaryDirectory &folder) {
    fs::create_directories(folder.path() / "bin");
    return folder.path() / "bin";
}

long runDevice(const wchar_t *arguments) {
    support::UtilityProcess device(support::buildRoot() / "bin" / "hlx-device.exe",
                                   support::buildRoot() / "bin", arguments);
    return device.waitForExit(30000);
}

std::wstring systemText(DWORD code) {
    wchar_t text[1024] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 1024, nullptr);
    return text;
}

std::wstring boxText(HWND box) {
    wchar_t text[2048] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 2048);
    return text;
}

HWND trayWindow(const support::UtilityProcess &utility) {
    for (HWND window : utility.windows()) {
        if (support::windowText(window) == L"QTrayIconMessageWindow")
            return window;
    }
    return nullptr;
}

// What the shell sends Qt's tray icon: `event` is the mouse or menu message, at (x, y).
bool notifyTray(const support::UtilityProcess &utility, UINT event) {
    HWND tray = trayWindow(utility);
    return tray != nullptr &&
           PostMessageW(tray, kTrayNotification, MAKEWPARAM(200, 200), MAKELPARAM(event, 0));
}

void pressKey(WORD key) {
    INPUT strokes[2] = {};
    for (INPUT &stroke : strokes) {
        stroke.type = INPUT_KEYBOARD;
        stroke.ki.wVk = key;
    }
    strokes[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, strokes, sizeof(INPUT));
}

bool shownOnly(HWND window, COLORREF present, COLORREF absent) {
    return support::countPixels(window, present) > 0 && support::countPixels(window, absent) == 0;
}

// Another program's window, in front: prints its handle and keeps it until the input ends.
int frontWindow(const std::vector<std::string> &) {
    support::TopLevelWindow window(L"HlxTestAnotherProgram", L"Another program", true);
    SetForegroundWindow(window.handle());
    std::cout << reinterpret_cast<std::uintptr_t>(window.handle()) << std::endl;
    support::TopLevelWindow::pumpUntilInputEnds();
    return 0;
}

// The status sentences are pure red or green, strongly saturated even where smoothed.
bool isColouredInk(DWORD pixel) {
    const int red = int((pixel >> 16) & 0xFF);
    const int green = int((pixel >> 8) & 0xFF);
    const int blue = int(pixel & 0xFF);
    return std::max({red, green, blue}) - std::min({red, green, blue}) > 96;
}

bool isDarkInk(DWORD pixel) {
    return ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF) < 420;
}

// The smallest rectangle within `area` that holds every pixel of ink; right < left if none.
RECT inkBox(const support::ClientPixels &shot, RECT area, bool (*isInk)(DWORD)) {
    area.left = std::max(area.left, 0L);
    area.top = std::max(area.top, 0L);
    area.right = std::min(area.right, long(shot.width));
    area.bottom = std::min(area.bottom, long(shot.height));
    RECT box{area.right, area.bottom, area.left - 1, area.top - 1};
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (isInk(shot.at(x, y))) {
                box.left = std::min(box.left, long(x));
                box.right = std::max(box.right, long(x));
                box.top = std::min(box.top, long(y));
                box.bottom = std::max(box.bottom, long(y));
            }
        }
    }
    return box;
}

// The row of the rule beside "Device", which the form draws from x 50 to 391 at the top of its
// central area: the first row of one colour across that span and of another just right of it
// (the bars above span the whole width).
int headingRuleRow(const support::ClientPixels &shot, double scale) {
    const int from = int(std::lround(60 * scale));
    const int to = int(std::lround(385 * scale));
    for (int y = 0; y < shot.height; ++y) {
        const DWORD colour = shot.at(from, y);
        if (colour == shot.at(int(std::lround(396 * scale)), y))
            continue;
        if (std::all_of(&shot.pixels[std::size_t(y) * shot.width + from],
                        &shot.pixels[std::size_t(y) * shot.width + to],
                        [&](DWORD pixel) { return pixel == colour; }))
            return y;
    }
    return -1;
}

// A failure's message from its parts, as a stream writes them.
template <typename... Parts> std::string said(const Parts &...parts) {
    std::ostringstream text;
    (text << ... << parts);
    return text.str();
}

class UtilityCases : public QObject {
    Q_OBJECT

private slots:
    void theExecutableIsAGUIProgramWithItsManifestAndVersion() {
        const std::string image = support::readText(utilityProgram());
        QVERIFY(image.size() > sizeof(IMAGE_DOS_HEADER));
        IMAGE_DOS_HEADER dos{};
        std::memcpy(&dos, image.data(), sizeof dos);
        QVERIFY(image.size() > std::size_t(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS64));
        IMAGE_NT_HEADERS64 headers{};
        std::memcpy(&headers, image.data() + dos.e_lfanew, sizeof headers);
        QCOMPARE(int(headers.OptionalHeader.Subsystem), IMAGE_SUBSYSTEM_WINDOWS_GUI);

        HMODULE resources =
            LoadLibraryExW(utilityProgram().wstring().c_str(), nullptr,
                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        QVERIFY(resources != nullptr);
        HRSRC found = FindResourceW(resources, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        QVERIFY2(found != nullptr, "no application manifest");
        const std::string manifest(
            static_cast<const char *>(LockResource(LoadResource(resources, found))),
            SizeofResource(resources, found));
        FreeLibrary(resources);
        for (const char *part : {"level=\"asInvoker\" uiAccess=\"false\"",
                                 "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""})
            QVERIFY2(manifest.find(part) != std::string::npos,
                     (part + (" in " + manifest)).c_str());

        const std::wstring path = utilityProgram().wstring();
        std::vector<char> version(GetFileVersionInfoSizeW(path.c_str(), nullptr));
        QVERIFY(!version.empty());
        QVERIFY(GetFileVersionInfoW(path.c_str(), 0, DWORD(version.size()), version.data()));
        void *text = nullptr;
        UINT length = 0;
        QVERIFY(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename",
                               &text, &length));
        QCOMPARE(std::wstring(static_cast<const wchar_t *>(text)), std::wstring(L"hlx-config.exe"));
    }

    void aSecondStartExitsWith0ShowsNothingAndBringsTheWindowForward() {
        const support::TemporaryDirectory folder;
        support::UtilityProcess first(utilityProgram(), workingFolder(folder));
        HWND window = first.awaitWindow(kWindowClass, kTitle);
        QVERIFY2(window != nullptr, "the utility's window, of Qt's class and its title");

        support::ChildProcess other({"front-window"});
        std::uintptr_t frontHandle = 0;
        std::istringstream(other.readLine()) >> frontHandle;
        HWND front = reinterpret_cast<HWND>(frontHandle);
        QVERIFY(support::waitFor(10000, [&] { return GetForegroundWindow() == front; }));

        support::UtilityProcess second(utilityProgram(), workingFolder(folder));
        bool secondShowedWindow = false;
        support::waitFor(30000, [&] {
            for (HWND shown : second.windows())
                secondShowedWindow = secondShowedWindow || IsWindowVisible(shown);
            return !second.running();
        });
        QCOMPARE(second.waitForExit(0), 0L);
        QVERIFY(!secondShowedWindow);
        QVERIFY(support::waitFor(10000, [&] { return GetForegroundWindow() == window; }));
        QVERIFY(first.running());
    }

    void aSecondStartLeavesAHiddenWindowHidden() {
        const support::TemporaryDirectory folder;
        support::UtilityProcess first(utilityProgram(), workingFolder(folder));
        HWND window = first.awaitWindow(kWindowClass, kTitle);
        QVERIFY(window != nullptr);
        PostMessageW(window, WM_CLOSE, 0, 0);
        QVERIFY(support::waitFor(10000, [&] { return !IsWindowVisible(window); }));

        support::UtilityProcess second(utilityProgram(), workingFolder(folder));
        QCOMPARE(second.waitForExit(30000), 0L);
        // A showing would follow the second start's exit within moments: two seconds without one.
        QVERIFY(!support::waitFor(2000, [&] { return IsWindowVisible(window) != FALSE; }));
        QVERIFY(first.running());
    }

    void tenSimultaneousStartsLeaveOneUtilityWithOneWindow() {
        const support::TemporaryDirectory folder;
        std::vector<std::unique_ptr<support::UtilityProcess>> starts;
        starts.reserve(10);
        for (int index = 0; index < 10; ++index)
            starts.push_back(
                std::make_unique<support::UtilityProcess>(utilityProgram(), workingFolder(folder)));

        const auto stillRunning = [&] {
            int count = 0;
            for (const auto &start : starts)
                count += start->running() ? 1 : 0;
            return count;
        };
        QVERIFY(support::waitFor(90000, [&] { return stillRunning() <= 1; }));
        QCOMPARE(stillRunning(), 1);
        int windows = 0;
        for (const auto &start : starts) {
            if (start->running()) {
                QVERIFY(start->awaitWindow(kWindowClass, kTitle) != nullptr);
            } else {
                QCOMPARE(start->waitForExit(0), 0L);
            }
            windows += static_cast<int>(start->windows(kWindowClass).size());
        }
        QCOMPARE(windows, 1);
    }

    void deviceMessagesFromAnotherProcessChangeTheStatusHiddenOrNot() {
        const support::TemporaryDirectory folder;
        support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
        HWND window = utility.awaitWindow(kWindowClass, kTitle);
        QVERIFY(window != nullptr);
        // Before any device message the status is neither colour.
        QCOMPARE(support::countPixels(window, kReady), 0);
        QCOMPARE(support::countPixels(window, kNotReady), 0);

        QCOMPARE(runDevice(L"--wait plug"), 0L);
        QVERIFY2(support::waitFor(10000, [&] { return shownOnly(window, kReady, kNotReady); }),
                 "a plugged headset turns the status green");
        const int whiteWithLogo = support::countPixels(window, kLogoField);

        // Closed, the window hides and the utility lives on in the tray.
        PostMessageW(window, WM_CLOSE, 0, 0);
        QVERIFY(support::waitFor(10000, [&] { return !IsWindowVisible(window); }));
        QCOMPARE(runDevice(L"--wait unplug"), 0L);
        QVERIFY(utility.running());
        QVERIFY(notifyTray(utility, WM_LBUTTONDBLCLK));
        QVERIFY(support::waitFor(10000, [&] { return IsWindowVisible(window); }));
        QVERIFY2(support::waitFor(10000, [&] { return shownOnly(window, kNotReady, kReady); }),
                 "the unplug that came while hidden shows");
        QVERIFY2(support::countPixels(window, kLogoField) + kLogoFieldPixels < whiteWithLogo,
                 "the logo, on its white field, showed while both links were up, and went");
    }

    void withoutLibHlxDllTwoErrorBoxesComeInOrderAndItRunsOn() {
        const support::TemporaryDirectory folder;
        fs::copy(support::buildRoot() / "bin", folder.path() / "bin", fs::copy_options::recursive);
        fs::remove(folder.path() / "bin" / "libHLX.dll");
        support::UtilityProcess utility(folder.path() / "bin" / "hlx-config.exe",
                                        folder.path() / "bin");

        HWND first = utility.awaitBox();
        QVERIFY2(first != nullptr, "no box for the library that is not there");
        QCOMPARE(support::windowText(first), std::wstring(L"Error"));
        QCOMPARE(boxText(first),
                 L"LoadLibrary(libHLX.dll) failed with error 126: " + systemText(126));
        SendMessageW(GetDlgItem(first, IDOK), BM_CLICK, 0, 0);
        QVERIFY(support::waitFor(10000, [&] { return !IsWindow(first); }));

        HWND second = utility.awaitBox();
        QVERIFY2(second != nullptr, "no box for the message numbers");
        QCOMPARE(support::windowText(second), std::wstring(L"Error"));
        const std::wstring text = boxText(second);
        const std::wstring step = L"GetProcAddress(_getWindowMessage) failed with error ";
        QCOMPARE(text.substr(0, step.size()), step);
        const DWORD code = std::wcstoul(text.c_str() + step.size(), nullptr, 10);
        QCOMPARE(text, step + std::to_wstring(code) + L": " + systemText(code));
        SendMessageW(GetDlgItem(second, IDOK), BM_CLICK, 0, 0);

        QVERIFY(utility.awaitWindow(kWindowClass, kTitle) != nullptr);
        QVERIFY(utility.running());
    }

    void showDemoStartsTheCapturerAndTheDemoAndTheSettingsNameBoth() {
        const support::TemporaryDirectory folder;
        fs::copy(support::buildRoot() / "demo", folder.path() / "demo",
                 fs::copy_options::recursive);
        fs::copy(support::buildRoot() / "Pictor", folder.path() / "Pictor",
                 fs::copy_options::recursive);
        support::CompanionStarts companions(folder.path() / "companions.txt");
        support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
        HWND window = utility.awaitWindow(kWindowClass, kTitle);
        QVERIFY(window != nullptr);

        // ShowDemo comes first in the window's focus chain.
        QVERIFY(support::typeInto(window, VK_SPACE));
        QVERIFY(companions.waitFor({"Pictor", "Lumeshow"}));

        const std::string working = workingFolder(folder).generic_string();
        const std::string capturer = companions.record("Pictor");
        QVERIFY2(capturer.find("\"workingDirectory\":\"" + working + "\"") != std::string::npos,
                 capturer.c_str());
        const std::string demo = companions.record("Lumeshow");
        QVERIFY2(demo.find("\"arguments\":[\"-screen-fullscreen\",\"1\",\"-screen-height\","
                           "\"1080\",\"-screen-width\",\"1920\",\"-adapter\",\"1\"]") !=
                     std::string::npos,
                 demo.c_str());
        QVERIFY2(demo.find("\"showCommand\":" + std::to_string(SW_FORCEMINIMIZE)) !=
                     std::string::npos,
                 demo.c_str());
        QVERIFY2(demo.find("\"workingDirectory\":\"" + working + "\"") != std::string::npos,
                 demo.c_str());

        const std::string settings = support::readText(workingFolder(folder) / "UserSetting.ini");
        QVERIFY2(settings.find("target_path_Pictor=" + working + "/../Pictor/Pictor.exe") !=
                     std::string::npos,
                 settings.c_str());
        QVERIFY2(settings.find("target_path_Demo=" + working + "/../demo/Lumeshow.exe") !=
                     std::string::npos,
                 settings.c_str());
    }

    // Ω is in no Western code page: read through one, it would come out as "?".
    void aCompanionRecordsItsCommandLineAndFolderInFullWhateverTheCodePage() {
        const support::TemporaryDirectory folder;
        const fs::path home = folder.path() / L"Ger\u00E4t \u03A9";
        fs::copy(support::buildRoot() / "demo", home, fs::copy_options::recursive);
        support::CompanionStarts companions(folder.path() / "companions.txt");
        support::UtilityProcess demo(home / "Lumeshow.exe", home, L"\u00FCber \"\u03A9 x\"");
        QVERIFY(companions.waitFor({"Lumeshow"}));

        const std::string record = companions.record("Lumeshow");
        QVERIFY2(record.find(u8"\"arguments\":[\"\u00FCber\",\"\u03A9 x\"]") != std::string::npos,
                 record.c_str());
        QVERIFY2(record.find(u8"Ger\u00E4t \u03A9\\\\Lumeshow.exe\"") != std::string::npos,
                 record.c_str());
        QVERIFY2(record.find("\"workingDirectory\":\"" + home.generic_u8string() + "\"") !=
                     std::string::npos,
                 record.c_str());
    }

    // What Windows at 100, 125 and 150 % gives a program: the window grows as a whole, every text
    // fits its label, and the room below the menu and tool bars grows with the window, so the
    // button row stays as far inside as at 100 %. Wine shows nothing of a Qt program's widgets to
    // the system, so where the form puts things is measured, in its own units, from the rule
    // beside "Device" as it is on the screen.
    void at96120And144DpiTheFormGrowsWholeAndEveryTextFitsItsLabel() {
        support::ScreenDpi screen;
        std::map<std::wstring, double> at96;
        for (const DWORD dpi : {96UL, 120UL, 144UL}) {
            QVERIFY(screen.set(dpi));
            const double scale = dpi / 96.0;
            const std::string row = "at " + std::to_string(dpi) + " dpi: ";
            const auto units = [&](double value) { return long(std::lround(value * scale)); };
            // Measured at 96 dpi, then expected grown by the scale, with a pixel or two of
            // rounding.
            const auto scaled = [&](const std::wstring &what, double measured) {
                if (dpi == 96)
                    at96[what] = measured;
                return measured >= scale * at96[what] - 2 - 0.05 * measured;
            };
            const support::TemporaryDirectory folder;
            support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
            HWND window = utility.awaitWindow(kWindowClass, kTitle);
            QVERIFY(window != nullptr);

            RECT client{};
            GetClientRect(window, &client);
            QVERIFY2(std::abs(client.right - 400 * scale) <= 1 &&
                         std::abs(client.bottom - 490 * scale) <= 1,
                     said(row, client.right, "x", client.bottom).c_str());
            // The whole client area on the desktop, whatever the frame's height.
            POINT origin{0, 0};
            ClientToScreen(window, &origin);
            RECT frame{};
            GetWindowRect(window, &frame);
            SetWindowPos(window, nullptr, frame.left - origin.x, frame.top - origin.y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

            const std::pair<const wchar_t *, std::wstring> steps[] = {
                {L"--wait monitor-added", L"HDMI is ready and USB is not ready"},
                {L"--wait hid-added", L"both HDMI and USB are ready"},
                {L"--wait monitor-removed", L"HDMI is not ready and USB is ready"},
                {L"--wait hid-removed", L"both HDMI and USB are not ready"}};
            RECT previous{};
            for (const auto &[command, sentence] : steps) {
                const std::string what(sentence.begin(), sentence.end());
                QCOMPARE(runDevice(command), 0L);
                support::ClientPixels shot;
                int rule = -1;
                RECT ink{};
                // Each sentence differs from the one before in colour or in width.
                const bool redrawn = support::waitFor(10000, [&] {
                    shot = support::grabClient(window);
                    rule = headingRuleRow(shot, scale);
                    if (rule < 0)
                        return false;
                    ink = inkBox(shot, {0, rule + units(290), shot.width, rule + units(350)},
                                 isColouredInk);
                    return ink.right >= ink.left && std::memcmp(&ink, &previous, sizeof ink) != 0;
                });
                QVERIFY2(redrawn, said(row, "no \"", what, "\" below a rule").c_str());
                previous = ink;
                // The label spans x 10 to 391 and centres its text.
                const long leftRoom = ink.left - units(10);
                const long rightRoom = units(391) - 1 - ink.right;
                QVERIFY2(leftRoom > 1 && rightRoom > 1 && std::abs(leftRoom - rightRoom) <= 3 &&
                             scaled(sentence, double(ink.right - ink.left + 1)),
                         said(row, what, ": ", ink.left, "..", ink.right, " in ", units(10), "..",
                              units(391) - 1)
                             .c_str());
                QVERIFY2(scaled(sentence + L" below the rule", double(ink.top - rule)),
                         said(row, what, " at ", ink.top, ", the rule at ", rule).c_str());
                if (sentence != steps[0].second)
                    continue;

                const RECT heading =
                    inkBox(shot, {0, rule - units(12), units(50), rule + units(12)}, isDarkInk);
                QVERIFY2(heading.left >= units(10) - 1 && heading.right <= units(51) &&
                             scaled(L"Device", double(heading.right - heading.left + 1)),
                         said(row, "Device ", heading.left, "..", heading.right).c_str());
                QVERIFY2(scaled(L"room below the rule", double(shot.height - rule)),
                         said(row, "the rule at ", rule, " of ", shot.height).c_str());
                // The text of "Close" whole above the status bar: the form puts it about 400
                // below the rule, each of its letters some 9 high at 100 %.
                const RECT close =
                    inkBox(shot, {units(300), rule + units(385), units(385), rule + units(420)},
                           isDarkInk);
                const long closeHeight = close.bottom - close.top + 1;
                QVERIFY2(close.top >= rule + units(390) && closeHeight >= units(8) &&
                             scaled(L"Close", double(closeHeight)),
                         said(row, "Close from ", close.top, " to ", close.bottom, ", the rule at ",
                              rule)
                             .c_str());
            }
        }
    }

    void theTraysExitEndsItWith0() {
        const support::TemporaryDirectory folder;
        support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
        HWND window = utility.awaitWindow(kWindowClass, kTitle);
        QVERIFY(window != nullptr);

        QVERIFY(notifyTray(utility, WM_CONTEXTMENU));
        QVERIFY2(support::waitFor(10000,
                                  [&] {
                                      for (HWND shown : utility.windows()) {
                                          if (IsWindowVisible(shown) && shown != window)
                                              return true;
                                      }
                                      return false;
                                  }),
                 "no tray menu");
        // Up from no choice is the last entry, "exit".
        pressKey(VK_UP);
        pressKey(VK_RETURN);
        QCOMPARE(utility.waitForExit(30000), 0L);
    }

    void closeEndsItWith0() {
        const support::TemporaryDirectory folder;
        support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
        HWND window = utility.awaitWindow(kWindowClass, kTitle);
        QVERIFY(window != nullptr);

        // Close follows ShowDemo in the focus chain.
        QVERIFY(support::typeInto(window, VK_TAB));
        pressKey(VK_SPACE);
        QCOMPARE(utility.waitForExit(30000), 0L);
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(UtilityCases, {{"front-window", frontWindow}})

#include "UtilityCases.moc"
