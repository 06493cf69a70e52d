#include "GlobPattern.h"

#include <array>

namespace hlx::headsets {

namespace {

constexpr size_t wordBits = 64;

void setBit(std::vector<uint64_t> &bits, size_t index) {
    bits[index / wordBits] |= uint64_t(1) << (index % wordBits);
}

// Every state that a star holds also reaches the state after the star, which matches nothing;
// stars in a row are one element, so one step reaches every such state.
void passStars(std::vector<uint64_t> &states, const std::vector<uint64_t> &stars) {
    uint64_t carry = 0;
    for (size_t w = 0; w < states.size(); ++w) {
        const uint64_t held = states[w] & stars[w];
        states[w] |= held << 1 | carry;
        carry = held >> (wordBits - 1);
    }
}

} // namespace

GlobPattern::GlobPattern(std::string_view pattern) {
    std::vector<size_t> starts;
    for (size_t start = 0;;) {
        starts.push_back(m_elements.size());
        const size_t bar = pattern.find('|', start);
        addGlob(pattern.substr(start, bar - start));
        if (bar == std::string_view::npos)
            break;
        m_elements.push_back({Element::Kind::Bar, 0, {}});
        start = bar + 1;
    }
    m_words = m_elements.size() / wordBits + 1;
    m_stars.assign(m_words, 0);
    m_starts.assign(m_words, 0);
    m_ends.assign(m_words, 0);
    m_anyBytes.assign(m_words, 0);
    for (size_t i = 0; i < m_elements.size(); ++i) {
        switch (m_elements[i].kind) {
        case Element::Kind::Star:
            setBit(m_stars, i);
            break;
        case Element::Kind::Bar:
            setBit(m_ends, i);
            break;
        case Element::Kind::Any:
            setBit(m_anyBytes, i);
            break;
        case Element::Kind::Byte:
            m_bytes[m_elements[i].byte].push_back(i);
            break;
        case Element::Kind::Bracket:
            m_brackets.push_back(i);
            break;
        }
    }
    setBit(m_ends, m_elements.size());
    for (const size_t start : starts)
        setBit(m_starts, start);
}

void GlobPattern::addGlob(std::string_view glob) {
    const size_t first = m_elements.size();
    // Where a bracket expression's members were read up to the end of the glob: one that reaches
    // such a place runs to the end too, so that many "[" are not each read to the end.
    std::vector<bool> runsToEnd(glob.size() + 1, false);
    for (size_t p = 0; p < glob.size();) {
        const char c = glob[p];
        if (c == '*') {
            if (m_elements.size() == first || m_elements.back().kind != Element::Kind::Star)
                m_elements.push_back({Element::Kind::Star, 0, {}});
            ++p;
        } else if (c == '?') {
            m_elements.push_back({Element::Kind::Any, 0, {}});
            ++p;
        } else if (c == '[') {
            Element bracket{Element::Kind::Bracket, 0, {}};
            const BracketEnd end = readBracket(glob, p, bracket.bracket, runsToEnd);
            if (end.unpairedEscape) {
                // Nothing passes a bracket that admits no byte.
                m_elements.push_back({Element::Kind::Bracket, 0, {}});
                return;
            }
            if (end.next == std::string_view::npos) {
                m_elements.push_back({Element::Kind::Byte, '[', {}});
                ++p;
            } else {
                m_elements.push_back(bracket);
                p = end.next;
            }
        } else if (c == '\\') {
            if (p + 1 == glob.size()) {
                m_elements.push_back({Element::Kind::Bracket, 0, {}});
                return;
            }
            m_elements.push_back(
                {Element::Kind::Byte, static_cast<unsigned char>(glob[p + 1]), {}});
            p += 2;
        } else {
            m_elements.push_back({Element::Kind::Byte, static_cast<unsigned char>(c), {}});
            ++p;
        }
    }
}

GlobPattern::BracketEnd GlobPattern::readBracket(std::string_view glob, size_t open,
                                                 std::bitset<256> &bytes,
                                                 std::vector<bool> &runsToEnd) {
    size_t i = open + 1;
    const bool negated = i < glob.size() && (glob[i] == '!' || glob[i] == '^');
    if (negated)
        ++i;
    std::vector<size_t> read;
    // The first member may be a "]"; any later one closes.
    for (bool firstMember = true;; firstMember = false) {
        if (i >= glob.size() || runsToEnd[i]) {
            for (const size_t at : read)
                runsToEnd[at] = true;
            return {std::string_view::npos, false};
        }
        read.push_back(i);
        if (glob[i] == ']' && !firstMember) {
            if (negated)
                bytes.flip();
            return {i + 1, false};
        }
        // A member, or the start of a range: either may be quoted.
        size_t low = static_cast<unsigned char>(glob[i]);
        if (glob[i] == '\\') {
            if (++i == glob.size())
                return {std::string_view::npos, true};
            low = static_cast<unsigned char>(glob[i]);
        }
        ++i;
        size_t high = low;
        if (i + 1 < glob.size() && glob[i] == '-' && glob[i + 1] != ']') {
            if (glob[i + 1] == '\\' && i + 2 == glob.size())
                return {std::string_view::npos, true};
            i += glob[i + 1] == '\\' ? 2 : 1;
            high = static_cast<unsigned char>(glob[i]);
            ++i;
        }
        for (size_t byte = low; byte <= high; ++byte)
            bytes.set(byte);
    }
}

GlobPattern::Bits GlobPattern::admittedBy(unsigned char byte) const {
    Bits admitted = m_anyBytes;
    for (const size_t i : m_bytes[byte])
        setBit(admitted, i);
    for (const size_t i : m_brackets) {
        if (m_elements[i].bracket.test(byte))
            setBit(admitted, i);
    }
    return admitted;
}

bool GlobPattern::matches(std::string_view value) const {
    // What each byte lets through, worked out once for each byte the value holds.
    std::array<int, 256> admittedIndex;
    admittedIndex.fill(-1);
    std::vector<Bits> admitted;
    Bits states = m_starts;
    passStars(states, m_stars);
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (admittedIndex[byte] < 0) {
            admittedIndex[byte] = static_cast<int>(admitted.size());
            admitted.push_back(admittedBy(byte));
        }
        const Bits &through = admitted[static_cast<size_t>(admittedIndex[byte])];
        // A state moves past an element that takes this byte; a star keeps its state.
        uint64_t carry = 0;
        bool any = false;
        for (size_t w = 0; w < m_words; ++w) {
            const uint64_t moving = states[w] & through[w];
            states[w] = moving << 1 | carry | (states[w] & m_stars[w]);
            carry = moving >> (wordBits - 1);
            any = any || states[w] != 0;
        }
        if (!any)
            return false;
        passStars(states, m_stars);
    }
    for (size_t w = 0; w < m_words; ++w) {
        if ((states[w] & m_ends[w]) != 0)
            return true;
    }
    return false;
}

} // namespace hlx::headsets
