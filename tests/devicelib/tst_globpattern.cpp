#include "GlobPattern.h"

#include <QTest>

#include <clocale>
#include <fnmatch.h>
#include <random>
#include <string>

namespace {

// udev's own reading of a pattern: fnmatch() without flags on each alternative between "|".
bool udevMatches(const std::string &pattern, const std::string &value) {
    for (size_t start = 0;;) {
        const size_t bar = pattern.find('|', start);
        if (fnmatch(pattern.substr(start, bar - start).c_str(), value.c_str(), 0) == 0)
            return true;
        if (bar == std::string::npos)
            return false;
        start = bar + 1;
    }
}

// Whether a "[" runs into the end of its glob before any "]" could close it: glibc then reads the
// rest differently for each value, which no rule worth writing relies on.
bool hasBracketCutShort(const std::string &pattern) {
    for (size_t open = pattern.find('['); open != std::string::npos;
         open = pattern.find('[', open + 1)) {
        size_t member = open + 1;
        if (member < pattern.size() && (pattern[member] == '!' || pattern[member] == '^'))
            ++member;
        const size_t close = pattern.find_first_of("]|", member + 1);
        if (close == std::string::npos || pattern[close] == '|')
            return true;
    }
    return false;
}

} // namespace

// The patterns of udev rules, matched as udev matches them: against glibc's fnmatch() on many
// patterns and values drawn from the characters that make globs tricky.
class TestGlobPattern : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Ranges by byte value, as udev's rules are written for.
        std::setlocale(LC_ALL, "C");
    }

    void matchesAsUdev_data() {
        QTest::addColumn<QByteArray>("patternCharacters");
        QTest::addColumn<QByteArray>("valueCharacters");
        QTest::addColumn<int>("longestPattern");
        QTest::addColumn<int>("longestValue");
        QTest::newRow("stars, brackets, quoting")
            << QByteArray("ab*?[]!^-\\c") << QByteArray("ab[]-!^\\c*?") << 12 << 10;
        QTest::newRow("nested brackets")
            << QByteArray("[[[]]]\\-!a*") << QByteArray("a[]\\-!") << 16 << 8;
        QTest::newRow("ranges and quoted ends")
            << QByteArray("[\\]-az*?!^") << QByteArray("abz-]\\[") << 20 << 12;
        QTest::newRow("long stars") << QByteArray("[]-\\ab*") << QByteArray("ab-]") << 30 << 20;
        QTest::newRow("alternatives") << QByteArray("ab*?[]|\\") << QByteArray("ab[]|*") << 16 << 8;
    }

    void matchesAsUdev() {
        QFETCH(QByteArray, patternCharacters);
        QFETCH(QByteArray, valueCharacters);
        QFETCH(int, longestPattern);
        QFETCH(int, longestValue);
        std::mt19937 random(20240);
        const auto draw = [&random](const QByteArray &characters, int longest) {
            std::string text(random() % unsigned(longest + 1), ' ');
            for (char &c : text)
                c = characters[int(random() % unsigned(characters.size()))];
            return text;
        };
        int compared = 0;
        int matched = 0;
        while (compared < 20000) {
            const std::string pattern = draw(patternCharacters, longestPattern);
            if (hasBracketCutShort(pattern))
                continue;
            const std::string value = draw(valueCharacters, longestValue);
            const bool expected = udevMatches(pattern, value);
            if (hlx::headsets::GlobPattern(pattern).matches(value) != expected)
                QFAIL(qPrintable(QString("pattern \"%1\", value \"%2\": udev says %3")
                                     .arg(pattern.c_str(), value.c_str())
                                     .arg(expected ? "match" : "no match")));
            ++compared;
            matched += expected;
        }
        // Enough of both answers that the comparison means something.
        QVERIFY2(matched > compared / 50 && matched < compared - compared / 50,
                 qPrintable(QString("%1 of %2 match").arg(matched).arg(compared)));
    }
};

QTEST_GUILESS_MAIN(TestGlobPattern)
#include "tst_globpattern.moc"
