#include "ParserTargets.h"

#include "Edid.h"
#include "HeadsetIds.h"
#include "HeadsetJudge.h"
#include "KnownHeadsetDisplays.h"
#include "KnownHeadsetUsb.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace hlx::fuzz {

using headsets::Edid;
using headsets::HeadsetIds;
using headsets::HeadsetJudge;
using headsets::KnownHeadsetDisplays;
using headsets::KnownHeadsetUsb;
using headsets::Verdict;

namespace {

// A machine has no more USB devices than this to judge at once; more would only slow each run.
constexpr size_t maxUsbIds = 32;
// A sysfs attribute, which is what the lookup stands for, holds at most a page.
constexpr size_t maxAttributeLength = 4096;

// Every quoted four-digit hex number, in order, paired as the rules name them: vendor, product;
// each pair once, as each device is judged once.
std::set<HeadsetIds::Id> quotedIds(std::string_view text) {
    std::vector<uint16_t> numbers;
    for (size_t quote = text.find('"'); quote != std::string_view::npos && quote + 5 < text.size();
         quote = text.find('"', quote + 1)) {
        uint16_t number = 0;
        if (text[quote + 5] == '"' && HeadsetIds::parseHex16(text.substr(quote + 1, 4), number))
            numbers.push_back(number);
    }
    std::set<HeadsetIds::Id> ids;
    for (size_t i = 0; i + 1 < numbers.size() && ids.size() < maxUsbIds; i += 2)
        ids.emplace(numbers[i], numbers[i + 1]);
    return ids;
}

// For each name in braces followed by an operator and a quoted value, as in ATTRS{product}=="x",
// the last such value: a rule's pattern then meets the value that another rule of the input names.
// One pass, linear on any input, so that the time a run takes is the reader's.
std::map<std::string, std::string, std::less<>> namedValues(std::string_view text) {
    std::vector<size_t> nextQuoteOrLineEnd(text.size() + 1, text.size());
    for (size_t i = text.size(); i-- > 0;)
        nextQuoteOrLineEnd[i] = text[i] == '"' || text[i] == '\n' ? i : nextQuoteOrLineEnd[i + 1];
    std::map<std::string, std::string, std::less<>> values;
    for (size_t open = text.find('{'); open != std::string_view::npos;
         open = text.find('{', open + 1)) {
        const size_t close = text.find_first_of("{}\n", open + 1);
        if (close == std::string_view::npos || text[close] != '}')
            continue;
        size_t quote = close + 1;
        while (quote < text.size() && std::strchr("=!+-: ", text[quote]) != nullptr &&
               text[quote] != '\0')
            ++quote;
        if (quote >= text.size() || text[quote] != '"')
            continue;
        const size_t end = nextQuoteOrLineEnd[quote + 1];
        if (end == text.size() || text[end] != '"')
            continue;
        values[std::string(text.substr(open + 1, close - open - 1))] =
            std::string(text.substr(quote + 1, std::min(end - quote - 1, maxAttributeLength)));
    }
    return values;
}

constexpr uint8_t displayIdExtensionTag = 0x70;

// Sets the byte after `length` bytes so that all of them sum to 0 modulo 256.
void seal(char *bytes, size_t length) {
    unsigned sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += static_cast<uint8_t>(bytes[i]);
    bytes[length] = static_cast<char>((256 - sum % 256) % 256);
}

std::string checkDisplayVerdict(const HeadsetJudge &judge, const HeadsetIds &ids,
                                std::string_view edid) {
    const Verdict verdict = judge.display(edid);
    if (verdict.why.empty())
        return "a verdict without a reason";
    const std::optional<Edid> parsed = Edid::parse(edid);
    if (!parsed)
        return verdict.headset ? "a headset by an EDID that does not parse: " + verdict.why
                               : std::string();
    if (verdict.why.rfind(parsed->name() + ' ', 0) != 0)
        return "a verdict that does not name the display " + parsed->name() + ": " + verdict.why;
    if (!verdict.headset &&
        (KnownHeadsetDisplays::contains(parsed->id()) || ids.hasDisplay(parsed->id())))
        return "a display of the table or of the list judged no headset: " + verdict.why;
    // What a connector hands over beyond the extensions that the base block counts is not EDID.
    const size_t counted = (1 + static_cast<uint8_t>(edid[126])) * Edid::blockSize;
    if (edid.size() > counted) {
        const Verdict cut = judge.display(edid.substr(0, counted));
        if (cut.headset != verdict.headset || cut.why != verdict.why)
            return "bytes after the counted extensions changed the verdict from \"" + cut.why +
                   "\" to \"" + verdict.why + '"';
    }
    return {};
}

size_t lineCount(std::string_view text) {
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines + (!text.empty() && text.back() != '\n');
}

} // namespace

std::string judgeDisplay(std::string_view edid) {
    HeadsetIds ids;
    // The Dell D1918H of the real monitors' samples, as a user would list it.
    ids.addUserList("DEL:2005\n");
    const HeadsetJudge judge(ids);
    const std::string problem = checkDisplayVerdict(judge, ids, edid);
    if (!problem.empty() || edid.size() < Edid::blockSize)
        return problem;
    // Nearly every change breaks a checksum, and the judge rightly stops there; the same bytes
    // with their checksums made to hold reach the extensions' data blocks. Held in a buffer of
    // their exact size, so that AddressSanitizer sees a read past the end.
    const std::unique_ptr<char[]> sealedCopy(new char[edid.size()]);
    std::copy(edid.begin(), edid.end(), sealedCopy.get());
    const std::string_view sealed(sealedCopy.get(), edid.size());
    for (size_t block = 0; (block + 1) * Edid::blockSize <= edid.size(); ++block) {
        char *const start = sealedCopy.get() + block * Edid::blockSize;
        // A DisplayID section: version, length of its data blocks, two more bytes, the blocks,
        // its checksum; all inside the block, before the block's own checksum.
        const size_t sectionLength = 4 + static_cast<uint8_t>(start[2]);
        if (block > 0 && static_cast<uint8_t>(start[0]) == displayIdExtensionTag &&
            1 + sectionLength + 1 < Edid::blockSize)
            seal(start + 1, sectionLength);
        seal(start, Edid::blockSize - 1);
    }
    return checkDisplayVerdict(judge, ids, sealed);
}

std::string readUdevRules(std::string_view rules) {
    HeadsetIds ids;
    ids.addUdevRules(rules);
    const auto values = namedValues(rules);
    const HeadsetIds::AttributeLookup attribute =
        [&values](const std::string &name) -> std::optional<std::string> {
        const auto found = values.find(name);
        if (found == values.end())
            return std::nullopt;
        return found->second;
    };
    const HeadsetJudge judge(ids);
    for (const HeadsetIds::Id &id : quotedIds(rules)) {
        const std::string_view listing = ids.usbListing(id, attribute);
        const Verdict verdict = judge.usb(id, attribute);
        if (verdict.headset == listing.empty())
            return "a verdict that does not follow the listing \"" + std::string(listing) +
                   "\": " + verdict.why;
        const KnownHeadsetUsb::Kind kind = KnownHeadsetUsb::kindOf(id);
        if (kind == KnownHeadsetUsb::Kind::Headset && listing != "built-in table of headsets")
            return "a headset of the table listed as \"" + std::string(listing) + '"';
        if (kind == KnownHeadsetUsb::Kind::Accessory && !listing.empty())
            return "an accessory listed as a headset by \"" + std::string(listing) + '"';
        if (kind == KnownHeadsetUsb::Kind::Unknown && !listing.empty() &&
            listing != "xr-hardware's udev rules")
            return "an id in no list listed by \"" + std::string(listing) + '"';
    }
    return {};
}

std::string readUserList(std::string_view list) {
    HeadsetIds ids;
    const std::vector<std::pair<int, std::string>> unread = ids.addUserList(list);
    const size_t lines = lineCount(list);
    int previous = 0;
    for (const auto &[line, text] : unread) {
        if (line <= previous || static_cast<size_t>(line) > lines)
            return "line " + std::to_string(line) + " out of order or past the list's " +
                   std::to_string(lines) + " lines";
        previous = line;
        if (text.empty() || text.find_first_of("#\n") != std::string::npos)
            return "an unread line with nothing, a comment or a line end in it: \"" + text + '"';
        const std::string problem = HeadsetIds::unreadLineProblem("hmd-ids", line, text);
        if (problem.rfind("hmd-ids:" + std::to_string(line) + ": \"" + text + '"', 0) != 0)
            return "a message that does not name the line: " + problem;
        HeadsetIds alone;
        if (alone.addUserList(text).size() != 1)
            return "a line that reads on its own but not in the list: \"" + text + '"';
    }
    return {};
}

} // namespace hlx::fuzz
