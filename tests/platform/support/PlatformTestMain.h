#pragma once

#include <QObject>

#include <map>
#include <string>
#include <vector>

namespace support {

// A mode the test program runs in when a case starts it once more, as a second process: it
// gets the arguments after the mode, and its return value is the process's exit status.
using Helper = int (*)(const std::vector<std::string> &arguments);

// The main function of each group's test program, given the helper modes its cases start: with
// "--helper MODE ARGUMENTS..." runs that mode; otherwise the slots of `cases` under Qt Test,
// which reads the rest of the command line.
int runPlatformTest(QObject &cases, const std::map<std::string, Helper> &helpers, int argc,
                    char *argv[]);

} // namespace support
