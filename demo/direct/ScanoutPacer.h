#pragma once

#include "DirectModeHooks.h"
#include "EyePainters.h"

#include <QObject>
#include <QRegion>

#include <array>

class DrmScanout;

// The scene on a scanned-out display, paced by the display itself: each flip's event puts the
// frame drawn meanwhile into the buffer that just left the screen and flips it, then starts the
// one after on the painters' threads, both eyes at once. A buffer gets only what changed since
// it was last on screen.
class ScanoutPacer : public QObject {
    Q_OBJECT
public:
    ScanoutPacer(DrmScanout &scanout, DirectModeHooks::FrameAsked frameAsked,
                 QObject *parent = nullptr);
    ~ScanoutPacer() override;

    // The first two frames: one shown with the mode set, the next flipped. False, with
    // `problem`, where the display takes neither.
    bool start(QString *problem);
    // No flip from now on; a flip on its way is left to finish.
    void stop();

signals:
    // The display no longer takes flips; the demo cannot go on.
    void failed(const QString &problem);

private:
    void flipped(qint64 vblankNs);
    // Both eyes brought to the scene's time `ns` on the monotonic clock.
    void startEyes(qint64 ns);
    // What the eyes changed since they were last asked, in the display's pixels.
    QRegion takeChanged();
    // The eyes' pictures into the buffer, only where it is behind.
    void catchUp(int index);
    // The frame just asked for, from the eyes' pictures, before they are drawn on.
    void tellAsked(const QRegion &changed);

    DrmScanout &m_scanout;
    DirectModeHooks::FrameAsked m_frameAsked;
    EyePainters m_eyes;
    QSize m_eyeSize;

    // Where each buffer is behind the eyes' pictures.
    std::array<QRegion, 2> m_behind;
    // What the frame in each buffer changed from the frame shown before it.
    std::array<QRegion, 2> m_changedBy;
    int m_flipping = 0;
    qint64 m_startNs = 0;
    qint64 m_periodNs = 0;
    bool m_stopped = false;
};
