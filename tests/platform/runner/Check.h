#pragma once

#include "CaseRegistry.h"

#include <sstream>
#include <string>

// The few assertions the platform cases need, in plain C++ so that the same cases build for
// Windows, where QtTest is not at hand. A failed check ends its case at once, with the file,
// the line and what differed.

#define HLX_CASE_JOIN2(a, b) a##b
#define HLX_CASE_JOIN(a, b) HLX_CASE_JOIN2(a, b)

// Defines and registers one case; `group` lets one ctest entry run a related set of cases.
#define TEST_CASE(group, name)                                                                     \
    static void HLX_CASE_JOIN(case_, __LINE__)();                                                  \
    static const bool HLX_CASE_JOIN(registered_, __LINE__) =                                       \
        checks::CaseRegistry::instance().addCase(#group "/" name, HLX_CASE_JOIN(case_, __LINE__)); \
    static void HLX_CASE_JOIN(case_, __LINE__)()

// A mode the test program runs in when a case starts it as a second process.
#define TEST_HELPER(mode)                                                                          \
    static int HLX_CASE_JOIN(helper_, __LINE__)(const std::vector<std::string> &);                 \
    static const bool HLX_CASE_JOIN(registered_, __LINE__) =                                       \
        checks::CaseRegistry::instance().addHelper(mode, HLX_CASE_JOIN(helper_, __LINE__));        \
    static int HLX_CASE_JOIN(helper_,                                                              \
                             __LINE__)([[maybe_unused]] const std::vector<std::string> &arguments)

#define CHECK_MESSAGE(condition, message)                                                          \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::ostringstream hlxStream;                                                          \
            hlxStream << "CHECK(" #condition ") " << message;                                      \
            throw checks::Failure{__FILE__, __LINE__, hlxStream.str()};                            \
        }                                                                                          \
    } while (false)

#define CHECK(condition) CHECK_MESSAGE(condition, "")

#define CHECK_EQUAL(actual, expected)                                                              \
    do {                                                                                           \
        const auto &hlxActual = (actual);                                                          \
        const auto &hlxExpected = (expected);                                                      \
        if (!(hlxActual == hlxExpected)) {                                                         \
            std::ostringstream hlxStream;                                                          \
            hlxStream << "CHECK_EQUAL(" #actual ", " #expected ")\n    actual:   "                 \
                      << checks::printable(hlxActual)                                              \
                      << "\n    expected: " << checks::printable(hlxExpected);                     \
            throw checks::Failure{__FILE__, __LINE__, hlxStream.str()};                            \
        }                                                                                          \
    } while (false)
