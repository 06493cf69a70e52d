#pragma once

// How the program that started the demo asked for its window to be shown.
enum class ShowCommand { Normal, Minimized, Hidden };

// From the system's start-up information; each system's backend has its own.
ShowCommand startupShowCommand();

// Windows's STARTUPINFO fields, read the way its own programs read them: without
// STARTF_USESHOWWINDOW, wShowWindow means nothing.
ShowCommand showCommandFromStartupInfo(bool useShowWindow, int showWindow);
