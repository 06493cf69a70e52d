#pragma once

#include "OutputRotation.h"
#include "ScreenGrabber.h"

#include <QString>
#include <QTimer>
#include <QVector>

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

// Learns from the system what changed: a duplication of the headset's output (DXGI) hands over a
// frame only when something was drawn there, with the rectangles drawn or moved, and only those
// are copied. Windows 8 and later on a local session have it; a remote session and wine do not.
// It does not try again by itself: WindowsScreenGrabber decides when.
class DuplicationScreenGrabber final : public ScreenGrabber {
    Q_OBJECT

public:
    DuplicationScreenGrabber();
    ~DuplicationScreenGrabber() override;

    // Tries to duplicate the output again, if the grabber reads and holds no duplication.
    void duplicateAgain();
    // Whether the last try made a duplication that has not failed since.
    bool duplicating() const { return m_duplication != nullptr; }
    // Why the last duplication could not be made or stopped, as the system said it.
    const QString &failure() const { return m_failure; }

signals:
    // The duplication made answers: the first frame or nothing new came.
    void working();
    // The duplication made stopped answering, and is let go.
    void failed();

protected:
    void start() override;
    void stop() override;

private:
    struct Duplication;

    // Duplicates the output that holds the rectangle followed.
    bool duplicate();
    Duplication duplicateOutput();
    // Lets go of the duplication and its copy on the adapter; the picture, the factory and the
    // device stay for the next try.
    void release();
    void poll();
    // The parts of the rectangle followed that the frame changed, in its own coordinates; empty
    // if all it changed is the mirror's own window or nothing of the rectangle.
    QVector<QRect> changedParts(const DXGI_OUTDUPL_FRAME_INFO &info);
    void copyParts(ID3D11Texture2D *desktop, const QVector<QRect> &parts);

    QTimer m_poll;
    Microsoft::WRL::ComPtr<IDXGIFactory1> m_factory;
    LUID m_deviceAdapter{};
    Microsoft::WRL::ComPtr<ID3D11Device> m_device;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> m_context;
    Microsoft::WRL::ComPtr<IDXGIOutputDuplication> m_duplication;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> m_staging;
    bool m_answered = false;
    bool m_readWhole = false;
    QString m_failure;
    // The output's top left corner on the desktop.
    QPoint m_origin;
    // The whole output, and the rectangle followed, each against the duplicated image.
    OutputRotation m_outputTurn{OutputRotation::Turn::None, QSize()};
    OutputRotation m_followedTurn{OutputRotation::Turn::None, QSize()};
    // Where the rectangle followed lies in the duplicated image.
    QRect m_followedInImage;
    std::vector<uchar> m_metadata;
};
