#include "OutputRotation.h"

#include <QTransform>

#include <cstring>

OutputRotation::OutputRotation(Turn turn, const QSize &upright)
    : m_turn(turn)
    , m_upright(upright) {}

QSize OutputRotation::imageSize() const {
    return m_turn == Turn::Quarter || m_turn == Turn::ThreeQuarters ? m_upright.transposed()
                                                                    : m_upright;
}

QRect OutputRotation::toImage(const QRect &r) const {
    const int w = m_upright.width();
    const int h = m_upright.height();
    switch (m_turn) {
    case Turn::None:
        break;
    case Turn::Quarter:
        return QRect(r.y(), w - r.x() - r.width(), r.height(), r.width());
    case Turn::Half:
        return QRect(w - r.x() - r.width(), h - r.y() - r.height(), r.width(), r.height());
    case Turn::ThreeQuarters:
        return QRect(h - r.y() - r.height(), r.x(), r.height(), r.width());
    }
    return r;
}

QRect OutputRotation::toUpright(const QRect &r) const {
    const int w = m_upright.width();
    const int h = m_upright.height();
    switch (m_turn) {
    case Turn::None:
        break;
    case Turn::Quarter:
        return QRect(w - r.y() - r.height(), r.x(), r.height(), r.width());
    case Turn::Half:
        return QRect(w - r.x() - r.width(), h - r.y() - r.height(), r.width(), r.height());
    case Turn::ThreeQuarters:
        return QRect(r.y(), h - r.x() - r.width(), r.height(), r.width());
    }
    return r;
}

void OutputRotation::copyUpright(const QImage &image, const QRect &part, QImage &upright) const {
    const QRect source = toImage(part);
    QImage turned = image.copy(source);
    if (m_turn != Turn::None)
        turned = turned.transformed(QTransform().rotate(90.0 * int(m_turn)));
    for (int y = 0; y < part.height(); ++y) {
        std::memcpy(upright.scanLine(part.top() + y) + part.left() * 4, turned.constScanLine(y),
                    size_t(part.width()) * 4);
    }
}
