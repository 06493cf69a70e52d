#pragma once

#include "EyeView.h"
#include "StereoScene.h"

#include <QRegion>
#include <QSemaphore>
#include <QSize>
#include <QThreadPool>

// Both eyes' pictures of the scene brought up to date at once, each on a painter thread of its
// own, so that the next frame is drawn while the one before goes to the display.
class EyePainters {
public:
    // What the eyes changed, each in its own picture's pixels.
    struct Changed {
        QRegion left;
        QRegion right;
    };

    EyePainters();
    ~EyePainters();
    EyePainters(const EyePainters &) = delete;
    EyePainters &operator=(const EyePainters &) = delete;

    // Both eyes at `eyeSize` pixels brought to `seconds` on the scene's clock, once the ones
    // before are done.
    void start(QSize eyeSize, double seconds);
    void wait();
    // What the eyes changed since it was last taken, once they are done.
    Changed takeChanged();

    // Valid while no painting runs, after wait() or takeChanged().
    const EyeView &left() const { return m_left; }
    const EyeView &right() const { return m_right; }

private:
    StereoScene m_scene;
    EyeView m_left{Eye::Left};
    EyeView m_right{Eye::Right};
    // Written by the painters' threads until wait() has returned.
    Changed m_changed;
    QSemaphore m_done;
    int m_running = 0;
    QThreadPool m_threads;
};
