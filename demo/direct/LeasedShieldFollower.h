#pragma once

#include "Eyeshield.h"
#include "LeaseOwnRampStore.h"
#include "LeasedCrtcGamma.h"
#include "XConnection.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

// The eye shield on the headset display that the demo holds leased: it follows the choice the
// device library records on the root window, warms the CRTC's own table as the library warms a
// desktop display's, and answers on the demo's window once the CRTC shows it. The CRTC gets its
// own table back when this ends, before the lease does.
class LeasedShieldFollower : public QObject {
    Q_OBJECT

public:
    // Shows the choice recorded now at once, before the lease's first picture.
    LeasedShieldFollower(int drmFd, uint32_t crtc, uint32_t gammaSize, QObject *parent = nullptr);
    ~LeasedShieldFollower() override;

    // Where the answers go: the window that the root names as the demo's. The answer to the
    // choice already shown goes there at once.
    void answerOn(xcb_window_t demoWindow);

private:
    void readEvents();
    void follow();
    void answer();

    LeasedCrtcGamma m_gamma;
    std::unique_ptr<LeaseOwnRampStore> m_ownRamps;
    std::unique_ptr<hlx::Eyeshield> m_shield;
    // The one display the CRTC drives; the gamma and the store need no name for it.
    const hlx::HeadsetDisplay m_display;
    hlx::XConnection m_x;
    xcb_atom_t m_wantedAtom = XCB_ATOM_NONE;
    xcb_atom_t m_shownAtom = XCB_ATOM_NONE;
    QSocketNotifier *m_notifier = nullptr;
    xcb_window_t m_demoWindow = XCB_NONE;
    // The last choice taken, and what became of it; serial 0 while none was recorded.
    uint32_t m_serial = 0;
    uint32_t m_shown = 0;
};
