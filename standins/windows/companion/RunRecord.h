#pragma once

#include <string>
#include <vector>

// One line of JSON per start, appended to the file that %HLX_COMPANION_RECORD% names, so that
// a test can see what each companion was started with. Texts are written as UTF-8.
class RunRecord {
public:
    // `command` is the command line as received, the program's path as given first;
    // `showCommand` is -1 when the starter asked for none.
    static bool append(const std::wstring &file, const std::wstring &name,
                       const std::vector<std::wstring> &command, const std::wstring &folder,
                       int showCommand);
};
