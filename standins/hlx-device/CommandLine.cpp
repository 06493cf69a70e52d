#include "CommandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace hlx {

namespace {

// Splits "--name=value" and "--name value"; false if the option is not this one.
bool optionValue(const std::string &option, const std::string &arg, int argc,
                 const char *const argv[], int &index, std::string &value, bool &missing) {
    if (arg.compare(0, option.size() + 1, option + "=") == 0) {
        value = arg.substr(option.size() + 1);
        return true;
    }
    if (arg != option)
        return false;
    missing = index + 1 >= argc;
    if (!missing)
        value = argv[++index];
    return true;
}

} // namespace

CommandLine CommandLine::parse(int argc, const char *const argv[]) {
    CommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!line.addCommand(arg))
                return line.fail("unknown command '" + arg + "'");
            continue;
        }
        std::string value;
        bool missing = false;
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            line.m_action = Action::Help;
            return line;
        } else if (optionValue("--display", arg, argc, argv, i, value, missing)) {
            if (missing)
                return line.fail("--display needs a display name");
            line.m_displayName = value;
            line.m_hasDisplayName = true;
        } else if (optionValue("--repeat", arg, argc, argv, i, value, missing)) {
            if (missing || !line.setRepeat(value))
                return line.fail("--repeat needs a whole number of at least 1");
        } else {
            return line.fail("unknown option '" + arg + "'");
        }
    }
    if (line.m_commands.empty())
        return line.fail("no command given");
    return line;
}

bool CommandLine::addCommand(const std::string &word) {
    Command command{word, word == "status" ? std::vector<const DeviceMessage *>()
                                           : messagesForCommand(word)};
    if (word != "status" && command.messages.empty())
        return false;
    m_commands.push_back(std::move(command));
    return true;
}

bool CommandLine::setRepeat(const std::string &value) {
    if (value.empty() || value[0] < '0' || value[0] > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    const long count = std::strtol(value.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || count < 1 || count > INT_MAX)
        return false;
    m_repeat = static_cast<int>(count);
    return true;
}

CommandLine &CommandLine::fail(std::string error) {
    m_action = Action::UsageError;
    m_error = std::move(error);
    return *this;
}

std::string CommandLine::usage() {
    std::string text =
        "Usage: hlx-device [--display NAME] [--repeat N] COMMAND...\n"
        "\n"
        "Plays the headset's side on an X display: sends the device messages that programs\n"
        "using libHLX.so listen for, and keeps the simulated headset that libHLX.so reads in\n"
        "step with them.\n"
        "\n"
        "Commands run in the order given. Each of these sends one message and may be given\n"
        "by its short form or by the message's full name:\n";
    for (const DeviceMessage &entry : deviceMessages) {
        std::string shortName(entry.shortName);
        shortName.resize(18, ' ');
        text += "  " + shortName + std::string(entry.name) + "\n";
    }
    text += "These send more than one, or nothing:\n"
            "  plug              monitor-added, then hid-added\n"
            "  unplug            hid-removed, then monitor-removed\n"
            "  status            prints the simulated links, 'display: plugged|unplugged'\n"
            "                    and 'usb: plugged|unplugged'; sends nothing\n"
            "\n"
            "Options:\n"
            "  --display NAME    the X display to use (default: $DISPLAY)\n"
            "  --repeat N        runs every sending command N times in a row (default: 1)\n"
            "  -h, --help        prints this help\n"
            "\n"
            "A message is an X ClientMessage of format 32 whose type is the atom of the\n"
            "message's full name, with all data zero. It goes to every top-level window of the\n"
            "display, mapped or not, and to the client windows inside window-manager frames.\n"
            "Messages that add or remove a link first update the root window's property\n"
            "_HLX_SIMULATED_HEADSET (CARDINAL[2]: display link, USB link; absent when both\n"
            "are unplugged). The eye shield of libHLX.so needs the USB link.\n"
            "\n"
            "Exit status: 0 on success, 1 if the display cannot be used, 2 on a usage error\n"
            "(then nothing is sent).\n"
            "\n"
            "Examples:\n"
            "  hlx-device plug\n"
            "  hlx-device --repeat 3 game-alive\n"
            "  hlx-device --display :1 unplug status\n";
    return text;
}

} // namespace hlx
