#include "HeadsetIds.h"

#include <cctype>

namespace hlx::udev {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Calls lineFound for each line, without its line end.
template <typename LineFound> void forEachLine(std::string_view text, LineFound lineFound) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lineFound(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

// The quoted value of `key}=="`, as in ATTRS{idVendor}=="28de"; empty if the line has none.
std::string_view ruleValue(std::string_view line, std::string_view key) {
    const std::string_view opening = "}==\"";
    for (size_t at = line.find(key); at != std::string_view::npos; at = line.find(key, at + 1)) {
        const size_t valueStart = at + key.size() + opening.size();
        if (line.substr(at + key.size(), opening.size()) != opening)
            continue;
        const size_t valueEnd = line.find('"', valueStart);
        if (valueEnd != std::string_view::npos)
            return line.substr(valueStart, valueEnd - valueStart);
    }
    return {};
}

} // namespace

bool HeadsetIds::parseHex16(std::string_view text, uint16_t &value) {
    if (text.size() != 4)
        return false;
    uint16_t result = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        result = static_cast<uint16_t>(result * 16 + digit);
    }
    value = result;
    return true;
}

bool HeadsetIds::parseManufacturer(std::string_view text, uint16_t &value) {
    if (text.size() != 3)
        return false;
    uint16_t packed = 0;
    for (char c : text) {
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper < 'A' || upper > 'Z')
            return false;
        packed = static_cast<uint16_t>((packed << 5) | (upper - 'A' + 1));
    }
    value = packed;
    return true;
}

void HeadsetIds::addUdevRules(std::string_view rules) {
    forEachLine(rules, [this](std::string_view line) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#')
            return;
        Id id;
        if (parseHex16(ruleValue(line, "{idVendor"), id.first) &&
            parseHex16(ruleValue(line, "{idProduct"), id.second))
            m_usb.insert(id);
    });
}

void HeadsetIds::addUserList(std::string_view list) {
    forEachLine(list, [this](std::string_view line) {
        line = trimmed(line.substr(0, line.find('#')));
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        const std::string_view maker = trimmed(line.substr(0, colon));
        Id id;
        if (!parseHex16(trimmed(line.substr(colon + 1)), id.second))
            return;
        if (parseHex16(maker, id.first))
            m_usb.insert(id);
        else if (parseManufacturer(maker, id.first))
            m_display.insert(id);
    });
}

} // namespace hlx::udev
