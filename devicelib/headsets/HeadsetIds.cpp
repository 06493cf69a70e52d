#include "HeadsetIds.h"

#include "GlobPattern.h"
#include "KnownHeadsetUsb.h"

#include <algorithm>
#include <cctype>

namespace hlx::headsets {

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

// The key, operator and value of each item of a rule line, as in ATTRS{idVendor}=="28de"; udev
// quotes every value.
struct RuleItem {
    std::string_view key;
    std::string_view op;
    std::string_view value;
};

std::vector<RuleItem> ruleItems(std::string_view line) {
    std::vector<RuleItem> items;
    while (!line.empty()) {
        const size_t quote = line.find('"');
        if (quote == std::string_view::npos)
            break;
        const size_t close = line.find('"', quote + 1);
        if (close == std::string_view::npos)
            break;
        std::string_view head = trimmed(line.substr(0, quote));
        RuleItem item;
        for (std::string_view op : {"==", "!=", "+=", "-=", ":=", "="}) {
            if (head.size() > op.size() && head.substr(head.size() - op.size()) == op) {
                item.op = op;
                item.key = trimmed(head.substr(0, head.size() - op.size()));
                break;
            }
        }
        item.value = line.substr(quote + 1, close - quote - 1);
        items.push_back(item);
        line.remove_prefix(close + 1);
        const size_t comma = line.find(',');
        line.remove_prefix(comma == std::string_view::npos ? line.size() : comma + 1);
    }
    return items;
}

// "idVendor" for ATTRS{idVendor} or ATTR{idVendor}; empty for any other key.
std::string_view attributeName(std::string_view key) {
    for (std::string_view prefix : {"ATTRS{", "ATTR{"}) {
        if (key.size() > prefix.size() + 1 && key.substr(0, prefix.size()) == prefix &&
            key.back() == '}')
            return key.substr(prefix.size(), key.size() - prefix.size() - 1);
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
    // Read once for each comment, not for each rule under it: a long comment above many rules
    // would otherwise be read again for every one.
    bool accessoryComment = false;
    forEachLine(rules, [this, &accessoryComment](std::string_view line) {
        line = trimmed(line);
        if (!line.empty() && line.front() == '#')
            accessoryComment = namesAccessory(line);
        if (line.empty() || line.front() == '#')
            return;
        UsbRule rule;
        bool vendor = false;
        bool product = false;
        bool understood = true;
        for (const RuleItem &item : ruleItems(line)) {
            if (item.op != "==" && item.op != "!=")
                continue;
            const std::string_view attribute = attributeName(item.key);
            if (item.op == "==" && attribute == "idVendor")
                vendor = parseHex16(item.value, rule.id.first);
            else if (item.op == "==" && attribute == "idProduct")
                product = parseHex16(item.value, rule.id.second);
            else if (item.op == "==" && !attribute.empty())
                rule.attributes.emplace_back(attribute, item.value);
            else if (!(item.op == "==" && (item.key == "SUBSYSTEM" || item.key == "SUBSYSTEMS") &&
                       matchesPattern("usb", std::string(item.value))))
                understood = false;
        }
        if (!vendor || !product || !understood)
            return;
        const KnownHeadsetUsb::Kind kind = KnownHeadsetUsb::kindOf(rule.id);
        if (kind == KnownHeadsetUsb::Kind::Headset ||
            (kind == KnownHeadsetUsb::Kind::Unknown && !accessoryComment))
            m_rules.push_back(std::move(rule));
    });
}

bool HeadsetIds::namesAccessory(std::string_view comment) {
    std::string lower(comment);
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char *word : {"controller", "tracker", "camera", "dongle", "radio", "receiver",
                             "lighthouse", "sensor", "base station", "remote", "kit"}) {
        if (lower.find(word) != std::string::npos)
            return true;
    }
    return false;
}

bool HeadsetIds::matchesPattern(const std::string &value, const std::string &pattern) {
    return GlobPattern(pattern).matches(value);
}

std::string_view HeadsetIds::usbListing(Id id, const AttributeLookup &attribute) const {
    if (KnownHeadsetUsb::kindOf(id) == KnownHeadsetUsb::Kind::Headset)
        return "built-in table of headsets";
    if (m_usb.count(id) != 0)
        return "your list";
    const bool ruled = std::any_of(m_rules.begin(), m_rules.end(), [&](const UsbRule &rule) {
        return rule.id == id &&
               std::all_of(rule.attributes.begin(), rule.attributes.end(), [&](const auto &want) {
                   const std::optional<std::string> value = attribute(want.first);
                   return value && matchesPattern(*value, want.second);
               });
    });
    return ruled ? "xr-hardware's udev rules" : "";
}

std::vector<std::pair<int, std::string>> HeadsetIds::addUserList(std::string_view list) {
    std::vector<std::pair<int, std::string>> unread;
    int number = 0;
    forEachLine(list, [this, &unread, &number](std::string_view line) {
        ++number;
        const std::string_view text = trimmed(line.substr(0, line.find('#')));
        if (text.empty())
            return;
        const size_t colon = text.find(':');
        const std::string_view maker = trimmed(text.substr(0, colon));
        Id id;
        if (colon != std::string_view::npos &&
            parseHex16(trimmed(text.substr(colon + 1)), id.second)) {
            if (parseHex16(maker, id.first)) {
                m_usb.insert(id);
                return;
            }
            if (parseManufacturer(maker, id.first)) {
                m_display.insert(id);
                return;
            }
        }
        unread.emplace_back(number, std::string(text));
    });
    return unread;
}

std::string HeadsetIds::unreadLineProblem(const std::string &path, int line,
                                          const std::string &text) {
    return path + ':' + std::to_string(line) + ": \"" + text +
           "\" is no id; write vvvv:pppp (USB, hex) or ABC:pppp (display maker and product, hex)";
}

} // namespace hlx::headsets
