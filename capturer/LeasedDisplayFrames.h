#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <memory>

// The frames of our demo while it shows on a headset display that it holds leased from the window
// system (direct mode), where no copy of the desktop reaches: the demo hands them over itself.
// Each system that has such a demo has its own way to find it.
class LeasedDisplayFrames : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Null where no demo of ours can hold a display leased.
    static std::unique_ptr<LeasedDisplayFrames> create();

    // The output (as the headset finder names it) that the demo holds; empty while none does.
    const QString &heldOutput() const { return m_heldOutput; }
    // Where the holding demo's own window is on the desktop; empty while none holds a display.
    const QRect &holderWindow() const { return m_holderWindow; }
    // Frames are read only while someone sees them.
    virtual void setReading(bool reading) = 0;
    // The demo's newest frame; null while nothing is read or nothing came yet.
    const QImage &frame() const { return m_frame; }

signals:
    void heldOutputChanged();
    void holderWindowMoved();
    void frameChanged();

protected:
    QString m_heldOutput;
    QRect m_holderWindow;
    QImage m_frame;
};
