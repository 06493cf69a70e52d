#include "Check.h"
#include "ChildProcess.h"
#include "CompanionStarts.h"
#include "ScreenDpi.h"
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

// Another program's window, in front: prints its handle and keeps it until the input ends.
TEST_HELPER("front-window") {
    support::TopLevelWindow window(L"HlxTestAnotherProgram", L"Another program", true);
    SetForegroundWindow(window.handle());
    std::cout << reinterpret_cast<std::uintptr_t>(window.handle()) << std::endl;
    support::TopLevelWindow::pumpUntilInputEnds();
    return 0;
}

TEST_CASE(utility, "the executable is a GUI program with its manifest and version") {
    const std::string image = support::readText(utilityProgram());
    CHECK(image.size() > sizeof(IMAGE_DOS_HEADER));
    IMAGE_DOS_HEADER dos{};
    std::memcpy(&dos, image.data(), sizeof dos);
    CHECK(image.size() > std::size_t(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS64));
    IMAGE_NT_HEADERS64 headers{};
    std::memcpy(&headers, image.data() + dos.e_lfanew, sizeof headers);
    CHECK_EQUAL(int(headers.OptionalHeader.Subsystem), IMAGE_SUBSYSTEM_WINDOWS_GUI);

    HMODULE resources = LoadLibraryExW(utilityProgram().wstring().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    CHECK(resources != nullptr);
    HRSRC found = FindResourceW(resources, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    CHECK_MESSAGE(found != nullptr, "no application manifest");
    const std::string manifest(
        static_cast<const char *>(LockResource(LoadResource(resources, found))),
        SizeofResource(resources, found));
    FreeLibrary(resources);
    for (const char *part : {"level=\"asInvoker\" uiAccess=\"false\"",
                             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""})
        CHECK_MESSAGE(manifest.find(part) != std::string::npos, part << " in " << manifest);

    const std::wstring path = utilityProgram().wstring();
    std::vector<char> version(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    CHECK(!version.empty());
    CHECK(GetFileVersionInfoW(path.c_str(), 0, DWORD(version.size()), version.data()));
    void *text = nullptr;
    UINT length = 0;
    CHECK(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename", &text,
                         &length));
    CHECK_EQUAL(std::wstring(static_cast<const wchar_t *>(text)), std::wstring(L"hlx-config.exe"));
}

TEST_CASE(utility, "a second start exits with 0, shows nothing and brings the window forward") {
    const support::TemporaryDirectory folder;
    support::UtilityProcess first(utilityProgram(), workingFolder(folder));
    HWND window = first.awaitWindow(kWindowClass, kTitle);
    CHECK_MESSAGE(window != nullptr, "the utility's window, of Qt's class and its title");

    support::ChildProcess other({"front-window"});
    std::uintptr_t frontHandle = 0;
    std::istringstream(other.readLine()) >> frontHandle;
    HWND front = reinterpret_cast<HWND>(frontHandle);
    CHECK(support::waitFor(10000, [&] { return GetForegroundWindow() == front; }));

    support::UtilityProcess second(utilityProgram(), workingFolder(folder));
    bool secondShowedWindow = false;
    support::waitFor(30000, [&] {
        for (HWND shown : second.windows())
            secondShowedWindow = secondShowedWindow || IsWindowVisible(shown);
        return !second.running();
    });
    CHECK_EQUAL(second.waitForExit(0), 0L);
    CHECK(!secondShowedWindow);
    CHECK(support::waitFor(10000, [&] { return GetForegroundWindow() == window; }));
    CHECK(first.running());
}

TEST_CASE(utility, "a second start leaves a hidden window hidden") {
    const support::TemporaryDirectory folder;
    support::UtilityProcess first(utilityProgram(), workingFolder(folder));
    HWND window = first.awaitWindow(kWindowClass, kTitle);
    CHECK(window != nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    CHECK(support::waitFor(10000, [&] { return !IsWindowVisible(window); }));

    support::UtilityProcess second(utilityProgram(), workingFolder(folder));
    CHECK_EQUAL(second.waitForExit(30000), 0L);
    // A showing would follow the second start's exit within moments: two seconds without one.
    CHECK(!support::waitFor(2000, [&] { return IsWindowVisible(window) != FALSE; }));
    CHECK(first.running());
}

TEST_CASE(utility, "ten simultaneous starts leave one utility with one window") {
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
    CHECK(support::waitFor(90000, [&] { return stillRunning() <= 1; }));
    CHECK_EQUAL(stillRunning(), 1);
    int windows = 0;
    for (const auto &start : starts) {
        if (start->running()) {
            CHECK(start->awaitWindow(kWindowClass, kTitle) != nullptr);
        } else {
            CHECK_EQUAL(start->waitForExit(0), 0L);
        }
        windows += static_cast<int>(start->windows(kWindowClass).size());
    }
    CHECK_EQUAL(windows, 1);
}

TEST_CASE(utility, "device messages from another process change the status, hidden or not") {
    const support::TemporaryDirectory folder;
    support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
    HWND window = utility.awaitWindow(kWindowClass, kTitle);
    CHECK(window != nullptr);
    // Before any device message the status is neither colour.
    CHECK_EQUAL(support::countPixels(window, kReady), 0);
    CHECK_EQUAL(support::countPixels(window, kNotReady), 0);

    CHECK_EQUAL(runDevice(L"--wait plug"), 0L);
    CHECK_MESSAGE(support::waitFor(10000, [&] { return shownOnly(window, kReady, kNotReady); }),
                  "a plugged headset turns the status green");
    const int whiteWithLogo = support::countPixels(window, kLogoField);

    // Closed, the window hides and the utility lives on in the tray.
    PostMessageW(window, WM_CLOSE, 0, 0);
    CHECK(support::waitFor(10000, [&] { return !IsWindowVisible(window); }));
    CHECK_EQUAL(runDevice(L"--wait unplug"), 0L);
    CHECK(utility.running());
    CHECK(notifyTray(utility, WM_LBUTTONDBLCLK));
    CHECK(support::waitFor(10000, [&] { return IsWindowVisible(window); }));
    CHECK_MESSAGE(support::waitFor(10000, [&] { return shownOnly(window, kNotReady, kReady); }),
                  "the unplug that came while hidden shows");
    CHECK_MESSAGE(support::countPixels(window, kLogoField) + kLogoFieldPixels < whiteWithLogo,
                  "the logo, on its white field, showed while both links were up, and went");
}

TEST_CASE(utility, "without libHLX.dll the two Error boxes come in order, and it runs on") {
    const support::TemporaryDirectory folder;
    fs::copy(support::buildRoot() / "bin", folder.path() / "bin", fs::copy_options::recursive);
    fs::remove(folder.path() / "bin" / "libHLX.dll");
    support::UtilityProcess utility(folder.path() / "bin" / "hlx-config.exe",
                                    folder.path() / "bin");

    HWND first = utility.awaitBox();
    CHECK_MESSAGE(first != nullptr, "no box for the library that is not there");
    CHECK_EQUAL(support::windowText(first), std::wstring(L"Error"));
    CHECK_EQUAL(boxText(first),
                L"LoadLibrary(libHLX.dll) failed with error 126: " + systemText(126));
    SendMessageW(GetDlgItem(first, IDOK), BM_CLICK, 0, 0);
    CHECK(support::waitFor(10000, [&] { return !IsWindow(first); }));

    HWND second = utility.awaitBox();
    CHECK_MESSAGE(second != nullptr, "no box for the message numbers");
    CHECK_EQUAL(support::windowText(second), std::wstring(L"Error"));
    const std::wstring text = boxText(second);
    const std::wstring step = L"GetProcAddress(_getWindowMessage) failed with error ";
    CHECK_EQUAL(text.substr(0, step.size()), step);
    const DWORD code = std::wcstoul(text.c_str() + step.size(), nullptr, 10);
    CHECK_EQUAL(text, step + std::to_wstring(code) + L": " + systemText(code));
    SendMessageW(GetDlgItem(second, IDOK), BM_CLICK, 0, 0);

    CHECK(utility.awaitWindow(kWindowClass, kTitle) != nullptr);
    CHECK(utility.running());
}

TEST_CASE(utility, "ShowDemo starts the capturer and the demo, and the settings name both") {
    const support::TemporaryDirectory folder;
    fs::copy(support::buildRoot() / "demo", folder.path() / "demo", fs::copy_options::recursive);
    fs::copy(support::buildRoot() / "Pictor", folder.path() / "Pictor",
             fs::copy_options::recursive);
    support::CompanionStarts companions(folder.path() / "companions.txt");
    support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
    HWND window = utility.awaitWindow(kWindowClass, kTitle);
    CHECK(window != nullptr);

    // ShowDemo comes first in the window's focus chain.
    CHECK(support::typeInto(window, VK_SPACE));
    CHECK(companions.waitFor({"Pictor", "Lumeshow"}));

    const std::string working = workingFolder(folder).generic_string();
    const std::string capturer = companions.record("Pictor");
    CHECK_MESSAGE(capturer.find("\"workingDirectory\":\"" + working + "\"") != std::string::npos,
                  capturer);
    const std::string demo = companions.record("Lumeshow");
    CHECK_MESSAGE(demo.find("\"arguments\":[\"-screen-fullscreen\",\"1\",\"-screen-height\","
                            "\"1080\",\"-screen-width\",\"1920\",\"-adapter\",\"1\"]") !=
                      std::string::npos,
                  demo);
    CHECK_MESSAGE(demo.find("\"showCommand\":" + std::to_string(SW_FORCEMINIMIZE)) !=
                      std::string::npos,
                  demo);
    CHECK_MESSAGE(demo.find("\"workingDirectory\":\"" + working + "\"") != std::string::npos, demo);

    const std::string settings = support::readText(workingFolder(folder) / "UserSetting.ini");
    CHECK_MESSAGE(settings.find("target_path_Pictor=" + working + "/../Pictor/Pictor.exe") !=
                      std::string::npos,
                  settings);
    CHECK_MESSAGE(settings.find("target_path_Demo=" + working + "/../demo/Lumeshow.exe") !=
                      std::string::npos,
                  settings);
}

TEST_CASE(utility, "the tray's exit ends it with 0") {
    const support::TemporaryDirectory folder;
    support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
    HWND window = utility.awaitWindow(kWindowClass, kTitle);
    CHECK(window != nullptr);

    CHECK(notifyTray(utility, WM_CONTEXTMENU));
    CHECK_MESSAGE(support::waitFor(10000,
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
    CHECK_EQUAL(utility.waitForExit(30000), 0L);
}

// What Windows at 100, 125 and 150 % gives a program: the window grows as a whole, every text
// fits its label, and the room below the menu and tool bars grows with the window, so the
// button row stays as far inside as at 100 %. Wine shows nothing of a Qt program's widgets to
// the system, so where the form puts things is measured, in its own units, from the rule
// beside "Device" as it is on the screen.
TEST_CASE(utility, "at 96, 120 and 144 dpi the form grows whole and every text fits its label") {
    support::ScreenDpi screen;
    std::map<std::wstring, double> at96;
    for (const DWORD dpi : {96UL, 120UL, 144UL}) {
        CHECK(screen.set(dpi));
        const double scale = dpi / 96.0;
        const std::string row = "at " + std::to_string(dpi) + " dpi: ";
        const auto units = [&](double value) { return long(std::lround(value * scale)); };
        // Measured at 96 dpi, then expected grown by the scale, with a pixel or two of rounding.
        const auto scaled = [&](const std::wstring &what, double measured) {
            if (dpi == 96)
                at96[what] = measured;
            return measured >= scale * at96[what] - 2 - 0.05 * measured;
        };
        const support::TemporaryDirectory folder;
        support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
        HWND window = utility.awaitWindow(kWindowClass, kTitle);
        CHECK(window != nullptr);

        RECT client{};
        GetClientRect(window, &client);
        CHECK_MESSAGE(std::abs(client.right - 400 * scale) <= 1 &&
                          std::abs(client.bottom - 490 * scale) <= 1,
                      row << client.right << "x" << client.bottom);
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
            CHECK_EQUAL(runDevice(command), 0L);
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
            CHECK_MESSAGE(redrawn, row << "no \"" << what << "\" below a rule");
            previous = ink;
            // The label spans x 10 to 391 and centres its text.
            const long leftRoom = ink.left - units(10);
            const long rightRoom = units(391) - 1 - ink.right;
            CHECK_MESSAGE(leftRoom > 1 && rightRoom > 1 && std::abs(leftRoom - rightRoom) <= 3 &&
                              scaled(sentence, double(ink.right - ink.left + 1)),
                          row << what << ": " << ink.left << ".." << ink.right << " in "
                              << units(10) << ".." << units(391) - 1);
            CHECK_MESSAGE(scaled(sentence + L" below the rule", double(ink.top - rule)),
                          row << what << " at " << ink.top << ", the rule at " << rule);
            if (sentence != steps[0].second)
                continue;

            const RECT heading =
                inkBox(shot, {0, rule - units(12), units(50), rule + units(12)}, isDarkInk);
            CHECK_MESSAGE(heading.left >= units(10) - 1 && heading.right <= units(51) &&
                              scaled(L"Device", double(heading.right - heading.left + 1)),
                          row << "Device " << heading.left << ".." << heading.right);
            CHECK_MESSAGE(scaled(L"room below the rule", double(shot.height - rule)),
                          row << "the rule at " << rule << " of " << shot.height);
        }
    }
}

TEST_CASE(utility, "Close ends it with 0") {
    const support::TemporaryDirectory folder;
    support::UtilityProcess utility(utilityProgram(), workingFolder(folder));
    HWND window = utility.awaitWindow(kWindowClass, kTitle);
    CHECK(window != nullptr);

    // Close follows ShowDemo in the focus chain.
    CHECK(support::typeInto(window, VK_TAB));
    pressKey(VK_SPACE);
    CHECK_EQUAL(utility.waitForExit(30000), 0L);
}

} // namespace
