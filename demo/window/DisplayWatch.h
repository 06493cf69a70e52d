#pragma once

#include <QObject>
#include <QPointer>

class QScreen;

// Ends the demo once its display has left the desktop: a demo left running on a display that is
// gone would draw to nowhere, or worse, land on the user's own monitor.
class DisplayWatch : public QObject {
    Q_OBJECT
public:
    // `isHeadset`: the display is the headset's, which can also leave the desktop while its
    // screen stays (a compositor taking it over), as only the headset finder sees.
    DisplayWatch(QScreen *screen, bool isHeadset, QObject *parent = nullptr);

private:
    void screenRemoved(QScreen *screen);
    void desktopChanged();
    void end(const QString &why);

    QScreen *m_screen;
    bool m_isHeadset;
    bool m_ended = false;
};
