#pragma once

#include <QString>

#include <cstdio>

// One line to standard error, where the utility that started the demo collects what it says.
inline void say(const QString &line) {
    std::fprintf(stderr, "Lumeshow: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
