#pragma once

// Every name that crosses a boundary (the device library, the settings file, other
// processes) is spelled once, here.
namespace hlx {

inline constexpr char kInstanceMutexName[] = "HLX_Configuration_Mutex";
inline constexpr char kWindowTitle[] = "HLX_Configuration_Utility";
// Qt names the X11 window class after the application, and a second start finds the
// running window by it, so it must not depend on what the executable is called.
inline constexpr char kApplicationName[] = "hlx-config";
// The one argument of the utility's own, passed only by the entry that starts it at login.
inline constexpr char kAutostartOption[] = "--autostart";

inline constexpr char kKeyPictorPath[] = "target_path_Pictor";
inline constexpr char kKeyDemoPath[] = "target_path_Demo";
inline constexpr char kKeyEyeshield[] = "KEY_Eyeshield";
inline constexpr char kEnableEyeshield[] = "EnableEyeshield";
inline constexpr char kDisableEyeshield[] = "DisableEyeshield";

inline constexpr char kEventTest[] = "EVENT_test";

inline constexpr char kMsgGameStart[] = "WM_GAME_START";
inline constexpr char kMsgGameStop[] = "WM_GAME_STOP";
inline constexpr char kMsgGameAlive[] = "WM_GAME_ALIVE";
inline constexpr char kMsgMonitorAdded[] = "WM_VORN_MONITOR_ADDED";
inline constexpr char kMsgMonitorRemoved[] = "WM_VORN_MONITOR_REMOVED";
inline constexpr char kMsgHidAdded[] = "WM_VORN_HID_ADDED";
inline constexpr char kMsgHidRemoved[] = "WM_VORN_HID_REMOVED";

inline constexpr char kEntryInit[] = "HLX_Init";
inline constexpr char kEntryDeinit[] = "HLX_Deinit";
inline constexpr char kEntrySetDisplayCapturerPath[] = "HLX_SetDisplayCapturerPath";
inline constexpr char kEntryStartDisplayCapturer[] = "HLX_StartDisplayCapturer";
inline constexpr char kEntryStopDisplayCapturer[] = "HLX_StopDisplayCapturer";
inline constexpr char kEntryEnableEyeshield[] = "HLX_EnableEyeshield";
inline constexpr char kEntryDisableEyeshield[] = "HLX_DisableEyeshield";
inline constexpr char kEntryGetWindowMessage[] = "HLX_GetWindowMessage";

} // namespace hlx
