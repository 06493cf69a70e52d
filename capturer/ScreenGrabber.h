#pragma once

#include <QImage>
#include <QObject>
#include <QRect>

#include <memory>

// Copies one rectangle of the desktop, no more often than its display refreshes and, where the
// system can tell, only after something in it was drawn. Each system has its own.
class ScreenGrabber : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The one a system builds; null if the desktop cannot be read at all.
    static std::unique_ptr<ScreenGrabber> create();

    // Starts following `rect`, in desktop pixels, at most `refreshHz` times a second; an empty
    // rectangle stops, and drops the last picture.
    virtual void follow(const QRect &rect, double refreshHz) = 0;
    // The last picture, the size of the rectangle followed; null before the first.
    const QImage &frame() const { return m_frame; }

signals:
    void frameChanged();
    // The system saw its displays change in a way the window system's screens may not show, as
    // an output's EDID or its place off the desktop.
    void displaysChanged();

protected:
    QImage m_frame;
};
