#pragma once

#include <QImage>
#include <QObject>
#include <QRect>

#include <memory>

// Copies one rectangle of the desktop, no more often than its display refreshes, only while
// someone can see the mirror, and only after something in it was drawn that is not the mirror's
// own painting. Each system has its own ways of learning what was drawn.
class ScreenGrabber : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The one a system builds; null if the desktop cannot be read at all.
    static std::unique_ptr<ScreenGrabber> create();

    // Starts following `rect`, in desktop pixels, at most `refreshHz` times a second; an empty
    // rectangle stops, and drops the last picture.
    void follow(const QRect &rect, double refreshHz);
    // While the mirror cannot be seen nothing is read; seen again, the picture as it is now is
    // read at once.
    void setShown(bool shown);
    // The mirror's own window, in desktop pixels. On a desktop that is all headset it lies in the
    // rectangle followed, and a change there is the mirror painting the last picture: counted, it
    // would be read again, painted again, and so on at every refresh.
    virtual void ignore(const QRect &ownWindow) { m_ownWindow = ownWindow; }

    // The last picture, the size of the rectangle followed; null before the first.
    virtual const QImage &frame() const { return m_frame; }

signals:
    void frameChanged();
    // The system saw its displays change in a way the window system's screens may not show, as
    // an output's EDID or its place off the desktop.
    void displaysChanged();

protected:
    // Begins reading m_rect, with the picture as it is now.
    virtual void start() = 0;
    // Reads nothing more, and lets go of what reading held.
    virtual void stop() = 0;

    // Whether a change drawn over `area` of the desktop is one of the picture followed.
    bool counts(const QRect &area) const;
    int periodMs() const { return m_periodMs; }
    double refreshHz() const { return m_refreshHz; }

    QRect m_rect;
    QRect m_ownWindow;
    QImage m_frame;

private:
    bool reading() const { return m_shown && !m_rect.isEmpty(); }

    double m_refreshHz = 0;
    int m_periodMs = 16;
    bool m_shown = false;
};
