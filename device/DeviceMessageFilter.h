#pragma once

// Takes in the device side's window messages for a program of ours that does not handle them
// (the demo, the capturer): the device library sends them to every top-level window, and Qt's
// X11 platform would warn "Unhandled client message" on standard error at each. Windows
// delivers registered messages silently, so there it does nothing.
namespace DeviceMessageFilter {

// Once a QGuiApplication exists; for the application's lifetime.
void install();

} // namespace DeviceMessageFilter
