#pragma once

#include "DirectModeDemo.h"
#include "DirectModeWindow.h"
#include "DrmScanout.h"
#include "EndingSignals.h"
#include "LeasedOutputWatch.h"
#include "ScanoutPacer.h"

#include "RandrLease.h"
#include "XConnection.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <string>

// Direct mode on X11: the headset's output leased through RandR, driven through the kernel's mode
// setting on the lease's descriptor, and announced to the device library and the capturer by the
// properties of DirectModeProtocol.h.
class LeasedDisplayDemo : public QObject, public DirectModeDemo {
    Q_OBJECT
public:
    static std::unique_ptr<LeasedDisplayDemo> start(const hlx::HeadsetDisplay &headset,
                                                    const DirectModeHooks &hooks, QString *refusal);
    ~LeasedDisplayDemo() override;

private:
    explicit LeasedDisplayDemo(std::string output);
    bool takeDisplay(const hlx::HeadsetDisplay &headset, const DirectModeHooks &hooks,
                     QString *refusal);
    void showWindow(const hlx::HeadsetDisplay &headset);
    void publish();
    void withdraw();
    // Empty `why`: the user ended it.
    void finish(const QString &why);
    void readDisplayEvents();
    // Whether the display is still there to show on, its link mended where it broke.
    void checkDisplay();

    std::string m_output;
    // First made and last gone: a signal that comes while the display is being taken or given
    // back waits for the event loop, or, where the demo never gets there, ends it as before.
    EndingSignals m_endingSignals;
    hlx::XConnection m_x{nullptr};
    hlx::RandrLease m_lease;
    std::unique_ptr<DrmScanout> m_scanout;
    std::unique_ptr<ScanoutPacer> m_pacer;
    std::unique_ptr<QSocketNotifier> m_displayEvents;
    // Before the lease and the scan-out in destruction: what the hooks parented to it goes while
    // the descriptor is still open.
    std::unique_ptr<DirectModeWindow> m_window;
    std::unique_ptr<LeasedOutputWatch> m_watch;
    // An X server hides a leased output from its clients, and with it the output's unplugging:
    // the kernel's connector tells it.
    QTimer m_plugCheck;
    bool m_published = false;
    bool m_ended = false;
};
