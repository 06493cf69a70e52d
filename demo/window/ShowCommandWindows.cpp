#include "ShowCommand.h"

#include <windows.h>

ShowCommand startupShowCommand() {
    STARTUPINFOW info = {};
    info.cb = sizeof(info);
    GetStartupInfoW(&info);
    return showCommandFromStartupInfo((info.dwFlags & STARTF_USESHOWWINDOW) != 0, info.wShowWindow);
}
