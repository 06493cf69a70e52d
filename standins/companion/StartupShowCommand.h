#pragma once

// The show command that the program's starter asked for, on systems that have them; -1 when
// none was given or the system has no such thing.
int startupShowCommand();
