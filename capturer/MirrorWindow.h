#pragma once

#include "HeadsetDisplay.h"
#include "LeasedDisplayFrames.h"
#include "ScreenGrabber.h"

#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

class QScreen;

// The desktop window that shows the people around what the wearer sees: the headset's display,
// scaled with its shape kept, or a sentence that says why there is nothing to show. A headset
// display in direct mode shows what our demo hands over while it holds the display.
class MirrorWindow : public QWidget {
    Q_OBJECT

public:
    MirrorWindow(std::unique_ptr<ScreenGrabber> grabber,
                 std::unique_ptr<LeasedDisplayFrames> leasedFrames);

    // Where the picture of `source` goes inside `area`: as large as fits, centred.
    static QRect letterbox(const QSize &source, const QRect &area);
    // What the window says when there is nothing to mirror; empty while there is.
    static QString sentence(const hlx::HeadsetDisplay &display);

    // Asks where the headset's display is, and follows it there.
    void lookForHeadset();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void lookSoon();
    void watchScreen(QScreen *screen);
    // Sized and placed on a screen that is not the headset's.
    void placeAwayFromHeadset(bool firstTime);
    // Out from under the small window of the demo that holds the headset's display, which opens
    // in the middle of the primary display, where this window starts too.
    void placeAwayFromDemo();
    // Tells the grabber whether anyone can see the window: nobody does while it is unmapped,
    // minimised, or on another virtual desktop, which window managers unmap or mark iconic.
    void followVisibility();

    const QImage &frame() const;

    std::unique_ptr<ScreenGrabber> m_grabber;
    std::unique_ptr<LeasedDisplayFrames> m_leasedFrames;
    // The headset's display is in direct mode and our demo holds it.
    bool m_direct = false;
    hlx::HeadsetDisplay m_display;
    QRect m_headsetRect;
    QString m_sentence;
    QTimer m_look;
};
