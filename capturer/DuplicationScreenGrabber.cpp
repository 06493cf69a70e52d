#include "DuplicationScreenGrabber.h"

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace {

// How often a lost duplication is tried again: the desktop switched (a lock screen, a prompt for
// administrator rights) or the output changed its mode.
constexpr int kRetryMs = 500;

struct Duplication {
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    ComPtr<IDXGIOutputDuplication> duplication;
    QRect output;
};

// The first output for which `wanted` holds, duplicated on its own adapter.
template <typename Wanted> Duplication duplicateOutput(Wanted wanted) {
    ComPtr<IDXGIFactory1> factory;
    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(factory.GetAddressOf()))))
        return {};
    ComPtr<IDXGIAdapter1> adapter;
    for (UINT a = 0; factory->EnumAdapters1(a, adapter.ReleaseAndGetAddressOf()) == S_OK; ++a) {
        ComPtr<IDXGIOutput> output;
        for (UINT o = 0; adapter->EnumOutputs(o, output.ReleaseAndGetAddressOf()) == S_OK; ++o) {
            DXGI_OUTPUT_DESC description{};
            output->GetDesc(&description);
            const RECT &r = description.DesktopCoordinates;
            const QRect place(r.left, r.top, r.right - r.left, r.bottom - r.top);
            ComPtr<IDXGIOutput1> output1;
            if (!description.AttachedToDesktop || !wanted(place) || FAILED(output.As(&output1)))
                continue;
            Duplication made;
            made.output = place;
            if (FAILED(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0,
                                         nullptr, 0, D3D11_SDK_VERSION, made.device.GetAddressOf(),
                                         nullptr, made.context.GetAddressOf())) ||
                FAILED(
                    output1->DuplicateOutput(made.device.Get(), made.duplication.GetAddressOf())))
                return {};
            return made;
        }
    }
    return {};
}

} // namespace

bool DuplicationScreenGrabber::available() {
    return duplicateOutput([](const QRect &) { return true; }).duplication != nullptr;
}

DuplicationScreenGrabber::DuplicationScreenGrabber() {
    connect(&m_poll, &QTimer::timeout, this, &DuplicationScreenGrabber::poll);
}

DuplicationScreenGrabber::~DuplicationScreenGrabber() {
    stop();
}

void DuplicationScreenGrabber::start() {
    poll();
}

void DuplicationScreenGrabber::stop() {
    m_poll.stop();
    m_duplication.Reset();
    m_staging.Reset();
    m_context.Reset();
    m_device.Reset();
    m_frame = QImage();
}

bool DuplicationScreenGrabber::duplicate() {
    Duplication made =
        duplicateOutput([this](const QRect &place) { return place.contains(m_rect); });
    if (!made.duplication)
        return false;
    D3D11_TEXTURE2D_DESC staging{};
    staging.Width = UINT(m_rect.width());
    staging.Height = UINT(m_rect.height());
    staging.MipLevels = 1;
    staging.ArraySize = 1;
    staging.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    staging.SampleDesc.Count = 1;
    staging.Usage = D3D11_USAGE_STAGING;
    staging.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    if (FAILED(made.device->CreateTexture2D(&staging, nullptr, m_staging.ReleaseAndGetAddressOf())))
        return false;
    m_device = made.device;
    m_context = made.context;
    m_duplication = made.duplication;
    m_origin = made.output.topLeft();
    // A new duplication's first frame is the whole output, which the whole picture is read from.
    m_frame = QImage();
    return true;
}

void DuplicationScreenGrabber::poll() {
    if (!m_duplication && !duplicate()) {
        m_poll.start(kRetryMs);
        return;
    }
    m_poll.start(periodMs());
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    const HRESULT acquired = m_duplication->AcquireNextFrame(0, &info, resource.GetAddressOf());
    if (acquired == DXGI_ERROR_WAIT_TIMEOUT)
        return;
    if (FAILED(acquired)) {
        m_duplication.Reset();
        emit displaysChanged();
        return;
    }
    // A frame that only moved the pointer has no new picture (the pointer is drawn by the system
    // apart from the desktop, and left out); the first is read whatever it brings.
    ComPtr<ID3D11Texture2D> desktop;
    const bool newPicture = info.LastPresentTime.QuadPart != 0 || m_frame.isNull();
    if (newPicture && SUCCEEDED(resource.As(&desktop))) {
        const QVector<QRect> parts =
            m_frame.isNull() ? QVector<QRect>{QRect(QPoint(), m_rect.size())} : changedParts(info);
        if (!parts.isEmpty()) {
            copy(desktop.Get(), parts);
            emit frameChanged();
        }
    }
    m_duplication->ReleaseFrame();
}

QVector<QRect> DuplicationScreenGrabber::changedParts(const DXGI_OUTDUPL_FRAME_INFO &info) {
    QVector<QRect> changed;
    m_metadata.resize(info.TotalMetadataBufferSize);
    UINT size = 0;
    if (info.TotalMetadataBufferSize > 0 &&
        SUCCEEDED(m_duplication->GetFrameMoveRects(
            UINT(m_metadata.size()), reinterpret_cast<DXGI_OUTDUPL_MOVE_RECT *>(m_metadata.data()),
            &size))) {
        const auto *moves = reinterpret_cast<const DXGI_OUTDUPL_MOVE_RECT *>(m_metadata.data());
        for (UINT i = 0; i < size / sizeof *moves; ++i) {
            const RECT &r = moves[i].DestinationRect;
            changed.append(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
        }
    }
    if (info.TotalMetadataBufferSize > 0 &&
        SUCCEEDED(m_duplication->GetFrameDirtyRects(
            UINT(m_metadata.size()), reinterpret_cast<RECT *>(m_metadata.data()), &size))) {
        const auto *dirty = reinterpret_cast<const RECT *>(m_metadata.data());
        for (UINT i = 0; i < size / sizeof *dirty; ++i) {
            const RECT &r = dirty[i];
            changed.append(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
        }
    }
    bool counted = false;
    QVector<QRect> parts;
    for (const QRect &outputRect : changed) {
        const QRect onDesktop = outputRect.translated(m_origin);
        counted = counted || counts(onDesktop);
        const QRect part = onDesktop.intersected(m_rect).translated(-m_rect.topLeft());
        if (!part.isEmpty())
            parts.append(part);
    }
    return counted ? parts : QVector<QRect>();
}

void DuplicationScreenGrabber::copy(ID3D11Texture2D *desktop, const QVector<QRect> &parts) {
    const QPoint inOutput = m_rect.topLeft() - m_origin;
    for (const QRect &part : parts) {
        const D3D11_BOX box{
            UINT(inOutput.x() + part.left()),      UINT(inOutput.y() + part.top()),        0,
            UINT(inOutput.x() + part.right() + 1), UINT(inOutput.y() + part.bottom() + 1), 1};
        m_context->CopySubresourceRegion(m_staging.Get(), 0, UINT(part.left()), UINT(part.top()), 0,
                                         desktop, 0, &box);
    }
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(m_context->Map(m_staging.Get(), 0, D3D11_MAP_READ, 0, &mapped)))
        return;
    if (m_frame.isNull())
        m_frame = QImage(m_rect.size(), QImage::Format_RGB32);
    // The duplicated desktop's BGRA is QImage's RGB32.
    for (const QRect &part : parts) {
        for (int y = part.top(); y <= part.bottom(); ++y) {
            std::memcpy(m_frame.scanLine(y) + part.left() * 4,
                        static_cast<const uchar *>(mapped.pData) + size_t(y) * mapped.RowPitch +
                            part.left() * 4,
                        size_t(part.width()) * 4);
        }
    }
    m_context->Unmap(m_staging.Get(), 0);
}
