#pragma once

#include "EyePainters.h"

#include <QElapsedTimer>
#include <QRegion>
#include <QSize>
#include <QTimer>
#include <QWidget>

class QScreen;

// The demo's one window: the stereo scene at the requested size, fitted into the window, redrawn
// once a refresh of its display. Each frame is drawn ahead while the one before goes to the
// display, the two eyes side by side on two threads, and only where it changed.
class DemoWindow : public QWidget {
    Q_OBJECT
public:
    explicit DemoWindow(QSize sceneSize, QWidget *parent = nullptr);
    ~DemoWindow() override;

    // Where a scene of `requested` pixels goes in `area`: its own size, centred, or scaled down
    // with its aspect kept where the area is smaller.
    static QRect sceneRect(QSize requested, QSize area);
    // The window's place in `area`, a display's free area, where it does not fill the display:
    // `requested` at most, centred. On a monitor rather than the headset's display it takes at
    // most two thirds of the area each way, so that the user's own desktop stays in sight.
    static QRect windowRect(QSize requested, const QRect &area, bool onHeadset);

    // Starts the frames at the screen's refresh rate and keeps to the screen from then on: to a
    // new rate, and while `fullscreen`, to a new mode's rectangle.
    void follow(QScreen *screen, bool fullscreen);
    // The frames' pace from the next one on; a display that reports no rate is taken for 60 Hz.
    void setRefreshRate(double refreshHz);
    // A few words above the scene, which then takes the room below them: why the demo is not
    // where the user expects it. Empty: the scene has the whole window.
    void setCaption(const QString &caption);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void tick();
    void schedule();
    // Frames again once the window can be seen, from now on.
    void resume();
    // Both eyes brought to `seconds` on the scene's clock, on the painters' threads.
    void startEyes(double seconds);
    // What the eyes changed since it was last taken, in the window's coordinates.
    QRegion takeChanged();
    // In the display's own pixels, whatever Qt's scaling makes of the window.
    QRect nativeSceneRect() const;
    // Where the caption goes, in the window's coordinates; empty without one.
    QRect captionRect() const;
    static QSize eyeSize(const QRect &scene);

    EyePainters m_eyes;
    // Where the eyes being painted go, as it was when they were started.
    QRect m_eyesScene;

    QSize m_sceneSize;
    QString m_caption;
    QTimer m_timer;
    // The scene's clock as well as the frames': the scene moves by time, so a late frame shows
    // where things are now instead of slowing the world down.
    QElapsedTimer m_clock;
    qint64 m_periodNs = 0;
    qint64 m_lastFrameNs = 0;
    qint64 m_nextDeadlineNs = 0;
    // Hidden or minimised (as the utility starts it on Windows), nothing is drawn and the timer
    // does not run, so the demo costs nothing until it is shown.
    bool m_paused = false;
};
