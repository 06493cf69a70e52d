#pragma once

#include <QString>
#include <QStringList>

// The command line the utility starts the demo with, in the players' own form
// ("-screen-fullscreen 1 -screen-width 1920 -screen-height 1080 -adapter 1").
struct DemoOptions {
    bool fullscreen = true;
    int width = 1920;
    int height = 1080;
    // Counts displays from 0.
    int adapter = 0;
    // One line for each option whose value was missing or unusable; that option kept its
    // default.
    QStringList problems;

    // `arguments` without the program's own name. Anything not understood is skipped, as the
    // players skip what belongs to someone else.
    static DemoOptions parse(const QStringList &arguments);

    // Beyond this no display exists, and a scene that large would only exhaust memory.
    static constexpr int maxSize = 16384;
};
