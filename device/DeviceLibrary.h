#pragma once

#include "DeviceMessage.h"
#include "Platform.h"
#include "Singleton.h"

#include <array>
#include <cstdint>
#include <string>

// The one binding to the device library, loaded on first use and kept for the life of the
// process. A library or export that is missing is reported once with the "Error" box; the
// utility then goes on without it.
class DeviceLibrary : public Singleton<DeviceLibrary> {
public:
    // The number registered for a device message; 0 for all of them until registration has
    // run, and for good when it could not run.
    static std::uint32_t messageId(int index);

    // The library's answer, unchanged; -1 when it has no such export.
    int startDisplayCapturer();
    // A successful switch is remembered for the next demo start.
    void enableEyeshield(int level);
    void disableEyeshield();

    static void reportLastError(const std::string &what);

private:
    friend class Singleton<DeviceLibrary>;
    DeviceLibrary();

    void loadEntryPoints();
    static std::string displayCapturerPath();
    void registerWindowMessages();

    using InitFunction = int (*)();
    using DeinitFunction = int (*)();
    using SetDisplayCapturerPathFunction = int (*)(const char *);
    using StartDisplayCapturerFunction = int (*)();
    using StopDisplayCapturerFunction = int (*)();
    using EnableEyeshieldFunction = int (*)(int);
    using DisableEyeshieldFunction = int (*)();
    using GetWindowMessageFunction = std::uint32_t (*)(const char *);

    InitFunction _init;
    DeinitFunction _deinit;
    SetDisplayCapturerPathFunction _setDisplayCapturerPath;
    StartDisplayCapturerFunction _startDisplayCapturer;
    StopDisplayCapturerFunction _stopDisplayCapturer;
    EnableEyeshieldFunction _enableEyeshield;
    DisableEyeshieldFunction _disableEyeshield;
    GetWindowMessageFunction _getWindowMessage;
    platform::LibraryHandle _module;

    static inline std::array<std::uint32_t, kDeviceMessageCount> messageIds{};
};
