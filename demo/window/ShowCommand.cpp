#include "ShowCommand.h"

ShowCommand showCommandFromStartupInfo(bool useShowWindow, int showWindow) {
    // The SW_* values of winuser.h, spelled out so this builds and is tested everywhere.
    enum : int {
        Hide = 0,
        ShowMinimized = 2,
        Minimize = 6,
        ShowMinNoActive = 7,
        ForceMinimize = 11,
    };
    if (!useShowWindow)
        return ShowCommand::Normal;
    switch (showWindow) {
    case Hide:
        return ShowCommand::Hidden;
    case ShowMinimized:
    case Minimize:
    case ShowMinNoActive:
    case ForceMinimize:
        return ShowCommand::Minimized;
    default:
        return ShowCommand::Normal;
    }
}
