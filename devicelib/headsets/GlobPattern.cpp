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
    // Whether a "[" is closed is known from where the last "]" is, without reading the rest of
    // the glob once for each of many "[".
    const size_t lastClose = glob.rfind(']');
    const size_t first = m_elements.size();
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
            // The first member may be a "]"; any later one closes, and no range ends in one.
            size_t member = p + 1;
            if (member < glob.size() && (glob[member] == '!' || glob[member] == '^'))
                ++member;
            const size_t close = lastClose == std::string_view::npos || lastClose <= member
                                     ? std::string_view::npos
                                     : glob.find(']', member + 1);
            if (close == std::string_view::npos) {
                m_elements.push_back({Element::Kind::Byte, '[', {}});
                ++p;
            } else {
                m_elements.push_back(
                    {Element::Kind::Bracket, 0, glob.substr(p + 1, close - p - 1)});
                p = close + 1;
            }
        } else if (c == '\\' && p + 1 < glob.size()) {
            m_elements.push_back(
                {Element::Kind::Byte, static_cast<unsigned char>(glob[p + 1]), {}});
            p += 2;
        } else {
            m_elements.push_back({Element::Kind::Byte, static_cast<unsigned char>(c), {}});
            ++p;
        }
    }
}

bool GlobPattern::bracketAdmits(std::string_view bracket, unsigned char byte) {
    size_t i = 0;
    const bool negated = bracket[0] == '!' || bracket[0] == '^';
    if (negated)
        ++i;
    bool matched = false;
    for (; i < bracket.size(); ++i) {
        const auto low = static_cast<unsigned char>(bracket[i]);
        auto high = low;
        if (i + 2 < bracket.size() && bracket[i + 1] == '-') {
            high = static_cast<unsigned char>(bracket[i + 2]);
            i += 2;
        }
        matched = matched || (low <= byte && byte <= high);
    }
    return matched != negated;
}

GlobPattern::Bits GlobPattern::admittedBy(unsigned char byte) const {
    Bits admitted = m_anyBytes;
    for (const size_t i : m_bytes[byte])
        setBit(admitted, i);
    for (const size_t i : m_brackets) {
        if (bracketAdmits(m_elements[i].bracket, byte))
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
