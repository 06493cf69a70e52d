#pragma once

#include "StereoScene.h"

#include <QImage>
#include <QRegion>

// One eye's picture, kept from frame to frame: each frame draws again only where the solids are
// or were, over the still part drawn once for the picture's size. Each eye's view can be brought
// up to date on a thread of its own.
class EyeView {
public:
    explicit EyeView(Eye eye)
        : m_eye(eye) {}

    // The picture at `seconds` on the scene's clock and `size` pixels; what changed since the
    // last call, all of it at a new size.
    QRegion advance(const StereoScene &scene, QSize size, double seconds);
    const QImage &picture() const { return m_picture; }

private:
    Eye m_eye;
    QImage m_still;
    QImage m_picture;
    // Where the last frame drew its solids, which the next one must cover again.
    QRegion m_moving;
};
