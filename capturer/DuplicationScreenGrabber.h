#pragma once

#include "ScreenGrabber.h"

#include <QTimer>
#include <QVector>

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

// Learns from the system what changed: a duplication of the headset's output (DXGI) hands over a
// frame only when something was drawn there, with the rectangles drawn or moved, and only those
// are copied. Windows 8 and later on a local session have it; a remote session and wine do not,
// and get GdiScreenGrabber instead.
class DuplicationScreenGrabber final : public ScreenGrabber {
    Q_OBJECT

public:
    // Whether this session can duplicate an output of its desktop.
    static bool available();

    DuplicationScreenGrabber();
    ~DuplicationScreenGrabber() override;

protected:
    void start() override;
    void stop() override;

private:
    // Duplicates the output that holds the rectangle followed.
    bool duplicate();
    void poll();
    // The parts of the rectangle followed that the frame changed, in its own coordinates; empty
    // if all it changed is the mirror's own window or nothing of the rectangle.
    QVector<QRect> changedParts(const DXGI_OUTDUPL_FRAME_INFO &info);
    void copy(ID3D11Texture2D *desktop, const QVector<QRect> &parts);

    QTimer m_poll;
    Microsoft::WRL::ComPtr<ID3D11Device> m_device;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> m_context;
    Microsoft::WRL::ComPtr<IDXGIOutputDuplication> m_duplication;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> m_staging;
    // The output's top left corner on the desktop.
    QPoint m_origin;
    std::vector<uchar> m_metadata;
};
