#include "DuplicationScreenGrabber.h"

using Microsoft::WRL::ComPtr;

namespace {

QString said(const char *call, HRESULT result) {
    return QStringLiteral("%1 answered 0x%2")
        .arg(QLatin1String(call))
        .arg(quint32(result), 8, 16, QLatin1Char('0'));
}

QRect rectOf(const RECT &r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

OutputRotation::Turn turnOf(DXGI_MODE_ROTATION rotation) {
    switch (rotation) {
    case DXGI_MODE_ROTATION_ROTATE90:
        return OutputRotation::Turn::Quarter;
    case DXGI_MODE_ROTATION_ROTATE180:
        return OutputRotation::Turn::Half;
    case DXGI_MODE_ROTATION_ROTATE270:
        return OutputRotation::Turn::ThreeQuarters;
    default:
        return OutputRotation::Turn::None;
    }
}

bool sameAdapter(const LUID &a, const LUID &b) {
    return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

} // namespace

struct DuplicationScreenGrabber::Duplication {
    ComPtr<IDXGIOutputDuplication> duplication;
    QRect output;
    OutputRotation::Turn turn = OutputRotation::Turn::None;
    QString failure;
};

// The output that holds the rectangle followed, duplicated on its own adapter. The factory and
// the adapter's device are kept for the next try: under wine making a factory alone costs a
// tenth of a second of a core or more.
DuplicationScreenGrabber::Duplication DuplicationScreenGrabber::duplicateOutput() {
    Duplication made;
    HRESULT result = S_OK;
    if (!m_factory || !m_factory->IsCurrent()) {
        m_device.Reset();
        m_context.Reset();
        result = CreateDXGIFactory1(IID_PPV_ARGS(m_factory.ReleaseAndGetAddressOf()));
        if (FAILED(result)) {
            made.failure = said("CreateDXGIFactory1", result);
            return made;
        }
    }
    ComPtr<IDXGIAdapter1> adapter;
    for (UINT a = 0; m_factory->EnumAdapters1(a, adapter.ReleaseAndGetAddressOf()) == S_OK; ++a) {
        ComPtr<IDXGIOutput> output;
        for (UINT o = 0; adapter->EnumOutputs(o, output.ReleaseAndGetAddressOf()) == S_OK; ++o) {
            DXGI_OUTPUT_DESC description{};
            output->GetDesc(&description);
            const QRect place = rectOf(description.DesktopCoordinates);
            ComPtr<IDXGIOutput1> output1;
            if (!description.AttachedToDesktop || !place.contains(m_rect) ||
                FAILED(output.As(&output1)))
                continue;
            made.output = place;
            made.turn = turnOf(description.Rotation);
            DXGI_ADAPTER_DESC1 adapterDescription{};
            adapter->GetDesc1(&adapterDescription);
            if (!m_device || !sameAdapter(adapterDescription.AdapterLuid, m_deviceAdapter) ||
                FAILED(m_device->GetDeviceRemovedReason())) {
                m_context.Reset();
                result =
                    D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr,
                                      0, D3D11_SDK_VERSION, m_device.ReleaseAndGetAddressOf(),
                                      nullptr, m_context.GetAddressOf());
                if (FAILED(result)) {
                    made.failure = said("D3D11CreateDevice", result);
                    return made;
                }
                m_deviceAdapter = adapterDescription.AdapterLuid;
            }
            result = output1->DuplicateOutput(m_device.Get(), made.duplication.GetAddressOf());
            if (FAILED(result))
                made.failure = said("DuplicateOutput", result);
            return made;
        }
    }
    made.failure = QStringLiteral("no output of the desktop's adapters holds the display");
    return made;
}

DuplicationScreenGrabber::DuplicationScreenGrabber() {
    connect(&m_poll, &QTimer::timeout, this, &DuplicationScreenGrabber::poll);
}

DuplicationScreenGrabber::~DuplicationScreenGrabber() {
    stop();
}

void DuplicationScreenGrabber::start() {
    duplicateAgain();
}

void DuplicationScreenGrabber::duplicateAgain() {
    // The first poll waits for the event loop, so that whoever started this learns first
    // whether a duplication was made.
    if (!m_duplication && duplicate())
        m_poll.start(0);
}

void DuplicationScreenGrabber::stop() {
    release();
    m_context.Reset();
    m_device.Reset();
    m_factory.Reset();
    m_frame = QImage();
}

void DuplicationScreenGrabber::release() {
    m_poll.stop();
    m_duplication.Reset();
    m_staging.Reset();
}

bool DuplicationScreenGrabber::duplicate() {
    const Duplication made = duplicateOutput();
    m_failure = made.failure;
    if (!made.duplication)
        return false;
    const OutputRotation outputTurn(made.turn, made.output.size());
    const QRect followedInImage = outputTurn.toImage(m_rect.translated(-made.output.topLeft()));
    D3D11_TEXTURE2D_DESC staging{};
    staging.Width = UINT(followedInImage.width());
    staging.Height = UINT(followedInImage.height());
    staging.MipLevels = 1;
    staging.ArraySize = 1;
    staging.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    staging.SampleDesc.Count = 1;
    staging.Usage = D3D11_USAGE_STAGING;
    staging.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    const HRESULT result =
        m_device->CreateTexture2D(&staging, nullptr, m_staging.ReleaseAndGetAddressOf());
    if (FAILED(result)) {
        m_failure = said("CreateTexture2D", result);
        return false;
    }
    m_duplication = made.duplication;
    m_origin = made.output.topLeft();
    m_outputTurn = outputTurn;
    m_followedTurn = OutputRotation(made.turn, m_rect.size());
    m_followedInImage = followedInImage;
    m_answered = false;
    // A new duplication's first frame is the whole output, which the whole picture is read
    // from; the last picture stays on show until then.
    m_readWhole = true;
    return true;
}

void DuplicationScreenGrabber::poll() {
    m_poll.start(periodMs());
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    const HRESULT acquired = m_duplication->AcquireNextFrame(0, &info, resource.GetAddressOf());
    if (FAILED(acquired) && acquired != DXGI_ERROR_WAIT_TIMEOUT) {
        // The desktop switched (a lock screen, a prompt for administrator rights), the output
        // changed its mode, or another program took it over.
        m_failure = said("AcquireNextFrame", acquired);
        release();
        emit displaysChanged();
        emit failed();
        return;
    }
    if (!m_answered) {
        m_answered = true;
        emit working();
    }
    if (acquired == DXGI_ERROR_WAIT_TIMEOUT)
        return;
    // A frame that only moved the pointer has no new picture (the pointer is drawn by the system
    // apart from the desktop, and left out); the first is read whatever it brings.
    ComPtr<ID3D11Texture2D> desktop;
    const bool newPicture = info.LastPresentTime.QuadPart != 0 || m_readWhole;
    if (newPicture && SUCCEEDED(resource.As(&desktop))) {
        const QVector<QRect> parts =
            m_readWhole ? QVector<QRect>{QRect(QPoint(), m_rect.size())} : changedParts(info);
        if (!parts.isEmpty()) {
            copyParts(desktop.Get(), parts);
            m_readWhole = false;
            emit frameChanged();
        }
    }
    m_duplication->ReleaseFrame();
}

QVector<QRect> DuplicationScreenGrabber::changedParts(const DXGI_OUTDUPL_FRAME_INFO &info) {
    // Both kinds of rectangle come in the duplicated image's coordinates.
    QVector<QRect> changed;
    m_metadata.resize(info.TotalMetadataBufferSize);
    UINT size = 0;
    if (info.TotalMetadataBufferSize > 0 &&
        SUCCEEDED(m_duplication->GetFrameMoveRects(
            UINT(m_metadata.size()), reinterpret_cast<DXGI_OUTDUPL_MOVE_RECT *>(m_metadata.data()),
            &size))) {
        const auto *moves = reinterpret_cast<const DXGI_OUTDUPL_MOVE_RECT *>(m_metadata.data());
        for (UINT i = 0; i < size / sizeof *moves; ++i)
            changed.append(rectOf(moves[i].DestinationRect));
    }
    if (info.TotalMetadataBufferSize > 0 &&
        SUCCEEDED(m_duplication->GetFrameDirtyRects(
            UINT(m_metadata.size()), reinterpret_cast<RECT *>(m_metadata.data()), &size))) {
        const auto *dirty = reinterpret_cast<const RECT *>(m_metadata.data());
        for (UINT i = 0; i < size / sizeof *dirty; ++i)
            changed.append(rectOf(dirty[i]));
    }
    bool counted = false;
    QVector<QRect> parts;
    for (const QRect &inImage : changed) {
        const QRect onDesktop = m_outputTurn.toUpright(inImage).translated(m_origin);
        counted = counted || counts(onDesktop);
        const QRect part = onDesktop.intersected(m_rect).translated(-m_rect.topLeft());
        if (!part.isEmpty())
            parts.append(part);
    }
    return counted ? parts : QVector<QRect>();
}

void DuplicationScreenGrabber::copyParts(ID3D11Texture2D *desktop, const QVector<QRect> &parts) {
    for (const QRect &part : parts) {
        const QRect inStaging = m_followedTurn.toImage(part);
        const QRect inDesktop = inStaging.translated(m_followedInImage.topLeft());
        const D3D11_BOX box{UINT(inDesktop.left()),      UINT(inDesktop.top()),        0,
                            UINT(inDesktop.right() + 1), UINT(inDesktop.bottom() + 1), 1};
        m_context->CopySubresourceRegion(m_staging.Get(), 0, UINT(inStaging.left()),
                                         UINT(inStaging.top()), 0, desktop, 0, &box);
    }
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(m_context->Map(m_staging.Get(), 0, D3D11_MAP_READ, 0, &mapped)))
        return;
    if (m_frame.size() != m_rect.size())
        m_frame = QImage(m_rect.size(), QImage::Format_RGB32);
    // The duplicated desktop's BGRA is QImage's RGB32.
    const QImage staged(static_cast<const uchar *>(mapped.pData), m_followedInImage.width(),
                        m_followedInImage.height(), int(mapped.RowPitch), QImage::Format_RGB32);
    for (const QRect &part : parts)
        m_followedTurn.copyUpright(staged, part, m_frame);
    m_context->Unmap(m_staging.Get(), 0);
}
