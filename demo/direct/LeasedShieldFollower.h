#pragma once

#include "DirectModeHolder.h"
#include "Eyeshield.h"
#include "LeasedCrtcGamma.h"
#include "RootPropertyRampStore.h"
#include "XConnection.h"

#include <QObject>

class QSocketNotifier;

// The eye shield on the headset display that the demo holds leased: it follows the choice the
// device library records on the root window, warms the CRTC's own table as the library warms a
// desktop display's, and answers on the demo's window once the CRTC shows it. The CRTC gets its
// own table back when this ends, before the lease does. The kernel keeps a CRTC's table from
// lease to lease, a warm one too where a demo could not give the own one back (killed, its lease
// revoked, DRM master gone), so the own table is kept beyond the demo, as the library keeps a
// desktop display's.
class LeasedShieldFollower : public QObject {
    Q_OBJECT

public:
    // Shows the choice recorded now at once, before the lease's first picture.
    LeasedShieldFollower(int drmFd, uint32_t crtc, uint32_t gammaSize, hlx::HeadsetDisplay display,
                         QObject *parent = nullptr);
    ~LeasedShieldFollower() override;

    // Where the answers go: the window that the root names as the demo's. The answer to the
    // choice already shown goes there at once.
    void answerOn(xcb_window_t demoWindow);

private:
    void readEvents();
    void follow();
    void answer();

    LeasedCrtcGamma m_gamma;
    hlx::RootPropertyRampStore m_ownRamps{hlx::RootPropertyRampStore::leasedCrtcTables};
    hlx::Eyeshield m_shield{m_gamma, m_ownRamps};
    const hlx::HeadsetDisplay m_display;
    hlx::XConnection m_x;
    xcb_atom_t m_wantedAtom = XCB_ATOM_NONE;
    xcb_atom_t m_shownAtom = XCB_ATOM_NONE;
    QSocketNotifier *m_notifier = nullptr;
    xcb_window_t m_demoWindow = XCB_NONE;
    // The last choice taken, and what became of it; serial 0 while none was recorded.
    hlx::ShieldPair m_taken;
    uint32_t m_shown = 0;
};
