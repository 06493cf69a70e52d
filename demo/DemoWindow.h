#pragma once

#include "StereoScene.h"

#include <QElapsedTimer>
#include <QSize>
#include <QTimer>
#include <QWidget>

// The demo's one window: the stereo scene at the requested size, fitted into the window, redrawn
// once a refresh of its display.
class DemoWindow : public QWidget {
    Q_OBJECT
public:
    explicit DemoWindow(QSize sceneSize, QWidget *parent = nullptr);

    // Where a scene of `requested` pixels goes in `area`: its own size, centred, or scaled down
    // with its aspect kept where the area is smaller.
    static QRect sceneRect(QSize requested, QSize area);

    void startFrames(double refreshHz);
    int missedFrames() const { return m_missed; }

signals:
    // After each frame: how long drawing it took, and the refreshes missed so far.
    void frameDone(qint64 drawNs, int missedFrames);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void tick();
    // Frames again once the window can be seen, from now on.
    void resume();

    StereoScene m_scene;
    QSize m_sceneSize;
    QTimer m_timer;
    // The scene's clock as well as the frames': the scene moves by time, so a late frame shows
    // where things are now instead of slowing the world down.
    QElapsedTimer m_clock;
    qint64 m_periodNs = 0;
    qint64 m_nextDeadlineNs = 0;
    int m_missed = 0;
    // Hidden or minimised (as the utility starts it on Windows), nothing is drawn and the timer
    // does not run, so the demo costs nothing until it is shown.
    bool m_paused = false;
};
