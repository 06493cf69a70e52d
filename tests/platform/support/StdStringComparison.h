#pragma once

#include <QString>
#include <QTest>

#include <string>

// QCOMPARE on the standard library's texts shows both sides, with control characters escaped
// so that a difference in a line end is visible; wide texts as Unicode.
namespace QTest {

template <> inline char *toString(const std::string &text) {
    return toPrettyCString(text.data(), static_cast<int>(text.size()));
}

template <> inline char *toString(const std::wstring &text) {
    return toPrettyUnicode(QString::fromStdWString(text));
}

} // namespace QTest
