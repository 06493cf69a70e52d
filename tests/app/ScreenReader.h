#pragma once

#include "AccessibilityBus.h"
#include "AccessibleTree.h"

#include <QRect>
#include <QString>
#include <QStringList>

// What a screen reader gets of the utility: the texts of its windows and boxes, read over the
// accessibility bus of a desktop session started for the test. Programs started after start()
// find that session through the environment, as on a desktop.
class ScreenReader {
public:
    // False, with errorString() saying why, when a step of the session fails.
    bool start();
    QString errorString() const { return m_bus.errorString(); }

    // The labels of the utility's main window, depth first.
    QStringList windowLabels();
    bool waitForWindowLabel(const QString &text, int timeoutMs = 10000);
    // Where the utility's main window (role Frame), or its control of this role and name, lies
    // on the screen, as the utility lays it out in device-independent pixels.
    QRect windowExtents(Role role = Role::Frame, const QString &name = QString());
    // The texts of the utility's box with this title, leaving out the unnamed label that
    // holds its icon, and the names of its buttons.
    QStringList boxTexts(const QString &title);
    QStringList boxButtons(const QString &title);

private:
    AccessibilityBus m_bus;
};
