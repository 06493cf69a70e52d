#include "DeviceRequests.h"
#include "FootprintChecks.h"
#include "PlatformTestMain.h"
#include "TemporaryDirectory.h"
#include "TopLevelWindow.h"
#include "UtilityProcess.h"

#include <windows.h>

#include <dbt.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <QElapsedTimer>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

// A long day in the tray under wine: the real utility with the device library for real
// headsets, while a Valve Index's display (its real EDID) is plugged and unplugged on the dummy X
// server's output, the other EDID being an ordinary monitor's. The headset's USB hub is there
// from the session's start (the row's tag): wine's USB bus takes no new device while a session
// runs, so only the display link is plugged.
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kWatchClass[] = L"HLX_DeviceWatch";
constexpr wchar_t kUtilityClass[] = L"" HLX_QT_WINDOW_CLASS;
constexpr wchar_t kUtilityTitle[] = L"HLX_Configuration_Utility";
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);

// The system's table of open handles (SystemHandleInformation), as ntdll answers for it.
struct SystemHandle {
    ULONG process;
    BYTE type;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};
struct SystemHandles {
    ULONG count;
    SystemHandle handles[1];
};
using QuerySystemInformation = LONG(WINAPI *)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = LONG(0xC0000004);

// The handles that `process` holds, by the system's table: wine 8 answers
// GetProcessHandleCount with 0 for every process.
DWORD handlesInSystemTable(DWORD process) {
    const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> table(1 << 16);
    ULONG needed = 0;
    LONG status = kInfoLengthMismatch;
    while (query && (status = query(kSystemHandleInformation, table.data(), ULONG(table.size()),
                                    &needed)) == kInfoLengthMismatch)
        table.resize(std::max<size_t>(table.size() * 2, needed));
    if (status != 0)
        return 0;
    const auto *handles = reinterpret_cast<const SystemHandles *>(table.data());
    DWORD held = 0;
    for (ULONG index = 0; index < handles->count; ++index)
        held += handles->handles[index].process == process;
    return held;
}

// What a process holds, as Task Manager shows it.
testsupport::Footprint footprintOf(DWORD process) {
    testsupport::Footprint footprint;
    HANDLE handle = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process);
    if (handle == nullptr)
        return footprint;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(handle, &memory, sizeof memory))
        footprint.memoryKiB = memory.WorkingSetSize / 1024;
    DWORD handles = 0;
    if (!GetProcessHandleCount(handle, &handles) || handles == 0)
        handles = handlesInSystemTable(process);
    footprint.handles = handles;
    CloseHandle(handle);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    footprint.threads = 0;
    for (bool more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
        footprint.threads += thread.th32OwnerProcessID == process;
    CloseHandle(snapshot);
    return footprint;
}

// The utility's hidden window of the device library, where a change notification goes.
HWND watchWindow(const support::UtilityProcess &utility) {
    const auto windows = utility.windows(kWatchClass);
    return windows.size() == 1 ? windows.front() : nullptr;
}

// Whether the window shows the headset ready (green only) or not ready (red only) within 10 s.
bool shows(HWND window, bool ready) {
    return support::waitFor(10000, [&] {
        return (support::countPixels(window, kGreen) > 0) == ready &&
               (support::countPixels(window, kRed) > 0) == !ready;
    });
}

} // namespace

Q_DECLARE_METATYPE(std::string)

class EnduranceCases : public QObject {
    Q_OBJECT

private slots:
    void plugsAndUnplugsWithoutGrowth_data() {
        QTest::addColumn<std::string>("headset");
        QTest::addColumn<std::string>("monitor");
        QTest::newRow("edid/monitors/dell-e2219hn.hex + usb/valve-index-hub.umockdev")
            << std::string("edid/headsets/valve-index.hex")
            << std::string("edid/monitors/dell-e2219hn.hex");
    }

    void plugsAndUnplugsWithoutGrowth() {
        QFETCH(std::string, headset);
        QFETCH(std::string, monitor);
        const int plugs = qEnvironmentVariableIsSet("HLX_ENDURANCE_PLUGS")
                              ? qEnvironmentVariableIntValue("HLX_ENDURANCE_PLUGS")
                              : 20;
        QVERIFY(plugs > 0);
        const int every = std::clamp(plugs / 4, 1, 100);

        // The broadcasts of the library reach every top-level window, this one too: each plug
        // must bring exactly one message of the display link's change.
        support::TopLevelWindow listener(L"HlxTestEnduranceListener", L"Endurance listener", false);
        const UINT up = support::registeredLinkMessage(hlx::Link::Display, true);
        const UINT down = support::registeredLinkMessage(hlx::Link::Display, false);
        const auto count = [&](UINT message) {
            const auto &got = listener.registeredMessages();
            return int(std::count(got.begin(), got.end(), message));
        };
        const auto await = [&](UINT message, int times) {
            support::TopLevelWindow::pumpMessages(10000, [&] { return count(message) >= times; });
            return count(message) == times;
        };
        HWND watch = nullptr;
        int notifications = 0;
        // Wine copies the new EDID but tells no window of it, and the utility's process may read
        // the monitors before it sees the new bytes: the case sends what Windows would, again
        // every 200 ms until the link's message arrives. However often it is told, the library
        // announces a change once.
        const auto notify = [&](UINT notification, UINT message, int times) {
            const WPARAM detail = notification == WM_DEVICECHANGE ? DBT_DEVNODES_CHANGED : 32;
            for (int sent = 0; sent < 50 && count(message) < times; ++sent) {
                PostMessageW(watch, notification, detail, 0);
                ++notifications;
                support::TopLevelWindow::pumpMessages(200, [&] { return count(message) >= times; });
            }
        };

        const support::TemporaryDirectory folder;
        const fs::path bin = folder.path() / "bin";
        fs::copy(support::buildRoot() / "bin", bin, fs::copy_options::recursive);
        fs::copy_file(support::buildRoot() / "device-windows" / "libHLX.dll", bin / "libHLX.dll",
                      fs::copy_options::overwrite_existing);
        support::UtilityProcess utility(bin / "hlx-config.exe", bin);
        const HWND window = utility.awaitWindow(kUtilityClass, kUtilityTitle);
        QVERIFY(window != nullptr);
        QVERIFY2(shows(window, false), "the window does not show the display link down");
        watch = watchWindow(utility);
        QVERIFY(watch != nullptr);
        // The harness switches the screen between 1024x768 and 800x600 with every EDID: the
        // status line has to stay on the smaller one, where its colours can be read.
        SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        support::TopLevelWindow::pumpMessages(500, [] { return false; });
        // A plug brings the headset's EDID and the display link up, an unplug the monitor's and the
        // link down; each brings one message of the link's change, and the window turns.
        struct Change {
            const char *name;
            std::string edid;
            UINT notification;
            UINT message;
            int before;
            bool ready;
            const char *way;
        };
        const Change changes[] = {
            {"plug", headset, WM_DISPLAYCHANGE, up, count(up), true, "coming up"},
            {"unplug", monitor, WM_DEVICECHANGE, down, count(down), false, "going down"}};
        testsupport::FootprintChecks checks("working set", "handles", kWorkingSetGrowthKiB);
        const testsupport::Footprint atStart = footprintOf(utility.id());
        qInfo("endurance: at start: %s", checks.text(atStart).c_str());

        QElapsedTimer clock;
        clock.start();
        for (int plug = 1; plug <= plugs; ++plug) {
            const bool check = plug % every == 0 || plug == plugs;
            for (const Change &change : changes) {
                QVERIFY2(support::changeEdid(change.edid),
                         qPrintable(QString("%1 %2: wine did not take %3")
                                        .arg(change.name)
                                        .arg(plug)
                                        .arg(QString::fromStdString(change.edid))));
                notify(change.notification, change.message, change.before + plug);
                QVERIFY2(await(change.message, change.before + plug),
                         qPrintable(QString("%1 %2: %3 messages of the display link %4")
                                        .arg(change.name)
                                        .arg(plug)
                                        .arg(count(change.message) - change.before)
                                        .arg(change.way)));
                if (check)
                    QVERIFY2(shows(window, change.ready),
                             qPrintable(QString("%1 %2: not %3")
                                            .arg(change.name)
                                            .arg(plug)
                                            .arg(change.ready ? "green" : "red")));
            }
            if (!check)
                continue;
            const testsupport::Footprint now = footprintOf(utility.id());
            qInfo("endurance: after %d plugs in %.1f s: %s", plug, double(clock.elapsed()) / 1000.0,
                  checks.text(now).c_str());
            const std::string grown = checks.take(now);
            QVERIFY2(grown.empty(), grown.c_str());
        }
        qInfo("endurance: %d plugs in %.1f s (%.0f ms a plug), %d notifications sent; start %s; "
              "after the first check %s; end %s",
              plugs, double(clock.elapsed()) / 1000.0, double(clock.elapsed()) / plugs,
              notifications, checks.text(atStart).c_str(), checks.text(checks.first()).c_str(),
              checks.text(checks.last()).c_str());
        QVERIFY(atStart.threads > 0 && atStart.memoryKiB > 0 && atStart.handles > 0);
    }

private:
    // Every plug switches the screen between two sizes, and wine and Qt fill caches for them for a
    // while: in a run of 1,000 plugs the working set rose by 35 MiB over the first 100, then moved
    // between 203 and 218 MiB without a trend, at most 7.8 MiB above the first check; in the
    // suite's 20 plugs it rose by 3.2 MiB from the 5th to the 20th. A leak of 20 KiB a plug
    // outgrows this over the 900 plugs after the first check of a run of 1,000.
    static constexpr long long kWorkingSetGrowthKiB = 16384;
};

HLX_PLATFORM_TEST_MAIN(EnduranceCases, {})

#include "EnduranceCases.moc"
