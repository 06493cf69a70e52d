#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string_view>
#include <vector>

namespace hlx::headsets {

// A udev pattern: shell globs with "|" between alternatives, each glob as fnmatch() without flags
// reads it: "*", "?", bracket expressions with ranges and "!" or "^" (a "[" that nothing closes
// stands for itself), and "\" quoting the next character, in brackets too (a glob that ends in
// an unpaired "\" matches nothing). Character classes such as "[:digit:]" are not read. Rules files
// are outside data, and so are the attributes a device reports: the match follows every alternative
// and every reading of it at once, a bit for each, so that its time grows with the value's length
// times the pattern's in 64-bit words, whatever either holds.
class GlobPattern {
public:
    explicit GlobPattern(std::string_view pattern);

    bool matches(std::string_view value) const;

private:
    // A "*", or what one byte of the value may be: "?" (any), one byte, or the bytes a bracket
    // expression names; or the "|" that ends an alternative, which nothing passes.
    struct Element {
        enum class Kind { Star, Any, Byte, Bracket, Bar } kind;
        unsigned char byte = 0;
        std::bitset<256> bracket;
    };
    using Bits = std::vector<uint64_t>;

    // Where a bracket expression ends: past its "]", or npos when nothing closes it and its "["
    // stands for itself; or a "\\" or a range that the glob's end cuts short, as fnmatch() reads
    // it, after which the glob matches nothing.
    struct BracketEnd {
        size_t next;
        bool unpairedEscape;
    };

    void addGlob(std::string_view glob);
    static BracketEnd readBracket(std::string_view glob, size_t open, std::bitset<256> &bytes,
                                  std::vector<bool> &runsToEnd);
    // The states whose next element lets this byte through.
    Bits admittedBy(unsigned char byte) const;

    std::vector<Element> m_elements;
    // Bit i: the state "the elements before i matched", for i from 0 to the number of elements.
    // An alternative starts at its first element's state and ends at its "|" or past the last.
    size_t m_words = 0;
    Bits m_stars;
    Bits m_starts;
    Bits m_ends;
    // Where each kind of element that takes one byte is, so that what a byte lets through is
    // found without asking every element.
    Bits m_anyBytes;
    std::array<std::vector<size_t>, 256> m_bytes;
    std::vector<size_t> m_brackets;
};

} // namespace hlx::headsets
