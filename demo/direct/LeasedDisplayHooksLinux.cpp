#include "LeasedDisplayHooks.h"

#include "DirectFramePublisher.h"
#include "LeasedShieldFollower.h"

#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <memory>

DirectModeHooks leasedDisplayHooks() {
    // Both go with the demo's window, which goes before the lease: the shield's own table is back
    // on the CRTC while the descriptor is still open.
    auto publisher = std::make_shared<QPointer<DirectFramePublisher>>();
    auto window = std::make_shared<QPointer<QWidget>>();
    DirectModeHooks hooks;
    hooks.leaseTaken = [window](const LeasedCrtc &crtc, QWidget *demoWindow) {
        *window = demoWindow;
        auto *shield = new LeasedShieldFollower(
            crtc.fd, crtc.crtcId, uint32_t(std::max(crtc.gammaSize, 0)), crtc.display, demoWindow);
        shield->answerOn(xcb_window_t(demoWindow->winId()));
    };
    // Made with the first frame, which gives its size.
    hooks.frameAsked = [publisher, window](const EyesFrame &frame) {
        if (!*publisher && *window) {
            *publisher = new DirectFramePublisher(frame.displaySize, *window);
            (*publisher)->advertiseOn(xcb_window_t((*window)->winId()));
        }
        if (*publisher)
            (*publisher)->publish(frame);
    };
    return hooks;
}
