#include "EyeView.h"

#include <QPainter>

QRegion EyeView::advance(const StereoScene &scene, QSize size, double seconds) {
    const StereoCamera camera = scene.camera(QSizeF(size));
    const std::vector<StereoScene::Shape> shapes = scene.movingShapes(camera, m_eye, seconds);
    QRegion moving;
    // Antialiasing touches only pixels that a polygon covers in part, which its aligned bounding
    // rectangle holds; the margin is for rounding.
    for (const StereoScene::Shape &shape : shapes)
        moving += shape.polygon.boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1);

    QRegion changed;
    if (m_picture.size() != size) {
        m_still = QImage(size, QImage::Format_RGB32);
        QPainter still(&m_still);
        scene.paintStill(still, camera, m_eye);
        still.end();
        m_picture = m_still.copy();
        changed = QRect(QPoint(), size);
    } else {
        changed = (moving + m_moving) & QRect(QPoint(), size);
    }
    m_moving = moving;

    QPainter painter(&m_picture);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect &rect : changed)
        painter.drawImage(rect.topLeft(), m_still, rect);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    // The solids lie within what changed; the cross, drawn over them, must not blend twice
    // where nothing changed.
    StereoScene::paintShapes(painter, shapes);
    painter.setClipRegion(changed);
    StereoScene::paintFixationCross(painter, camera);
    return changed;
}
