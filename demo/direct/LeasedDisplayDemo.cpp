#include "LeasedDisplayDemo.h"

#include "Say.h"

#include "DirectModeProtocol.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWindow>

std::unique_ptr<DirectModeDemo> DirectModeDemo::start(const hlx::HeadsetDisplay &headset,
                                                      const DirectModeHooks &hooks,
                                                      QString *refusal) {
    return LeasedDisplayDemo::start(headset, hooks, refusal);
}

std::unique_ptr<LeasedDisplayDemo> LeasedDisplayDemo::start(const hlx::HeadsetDisplay &headset,
                                                            const DirectModeHooks &hooks,
                                                            QString *refusal) {
    std::unique_ptr<LeasedDisplayDemo> demo(new LeasedDisplayDemo(headset.output));
    QString problem;
    if (!demo->takeDisplay(headset, hooks, &problem)) {
        if (refusal)
            *refusal = problem;
        return nullptr;
    }
    return demo;
}

LeasedDisplayDemo::LeasedDisplayDemo(std::string output)
    : m_output(std::move(output)) {}

LeasedDisplayDemo::~LeasedDisplayDemo() {
    if (m_pacer)
        m_pacer->stop();
    withdraw();
}

bool LeasedDisplayDemo::takeDisplay(const hlx::HeadsetDisplay &headset,
                                    const DirectModeHooks &hooks, QString *refusal) {
    if (!m_x.isValid()) {
        *refusal = QStringLiteral("there is no X server to lease the headset's display from");
        return false;
    }
    m_lease = hlx::RandrLease::take(m_x.get(), m_x.root(), m_output);
    if (!m_lease.isHeld()) {
        *refusal = QString::fromStdString(m_lease.refusal());
        return false;
    }
    m_scanout = DrmScanout::open(m_lease.fd(), refusal);
    if (!m_scanout)
        return false;

    showWindow(headset);
    if (hooks.leaseTaken)
        hooks.leaseTaken({m_lease.fd(), m_scanout->crtcId(), m_scanout->gammaSize(), headset},
                         m_window.get());
    m_pacer = std::make_unique<ScanoutPacer>(*m_scanout, hooks.frameAsked);
    if (!m_pacer->start(refusal))
        return false;
    connect(m_pacer.get(), &ScanoutPacer::failed, this, [this](const QString &problem) {
        finish(QStringLiteral("%1 is no longer the demo's: %2")
                   .arg(QString::fromStdString(m_output), problem));
    });
    m_displayEvents = std::make_unique<QSocketNotifier>(m_lease.fd(), QSocketNotifier::Read);
    connect(m_displayEvents.get(), &QSocketNotifier::activated, this,
            &LeasedDisplayDemo::readDisplayEvents);

    publish();
    m_watch = std::make_unique<LeasedOutputWatch>(m_x.get(), m_x.root(), m_output, m_lease.id());
    connect(m_watch.get(), &LeasedOutputWatch::ended, this, &LeasedDisplayDemo::finish);
    connect(m_window.get(), &DirectModeWindow::closed, this, &LeasedDisplayDemo::finish);
    connect(&m_plugCheck, &QTimer::timeout, this, &LeasedDisplayDemo::checkDisplay);
    connect(&m_endingSignals, &EndingSignals::arrived, this,
            [this](const QString &name) { finish(QStringLiteral("asked to by %1").arg(name)); });
    m_plugCheck.start(1000);
    m_window->show();
    m_window->activateWindow();
    return true;
}

void LeasedDisplayDemo::showWindow(const hlx::HeadsetDisplay &headset) {
    const QSize mode = m_scanout->size();
    m_window = std::make_unique<DirectModeWindow>(
        QStringLiteral("Lumeshow is showing on %1 (%2) in direct mode at %3×%4, %5 Hz.\n\n"
                       "Press Esc or close this window to end it.")
            .arg(QString::fromStdString(headset.headset), QString::fromStdString(m_output))
            .arg(mode.width())
            .arg(mode.height())
            .arg(m_scanout->refreshHz(), 0, 'g', 4));
    m_window->setWindowTitle(
        QStringLiteral("Lumeshow — %1").arg(QString::fromStdString(headset.headset)));
    // On the user's own monitor, the one they look at first; never over the headset's.
    QScreen *primary = QGuiApplication::primaryScreen();
    m_window->winId();
    m_window->windowHandle()->setScreen(primary);
    m_window->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                              m_window->sizeHint(), primary->availableGeometry()));
}

void LeasedDisplayDemo::publish() {
    using namespace hlx::directmode;
    const xcb_atom_t demoAtom = m_x.internAtom(demoWindowAtom);
    const xcb_atom_t outputNameAtom = m_x.internAtom(outputAtom);
    const auto window = xcb_window_t(m_window->winId());
    xcb_change_property(m_x.get(), XCB_PROP_MODE_REPLACE, window, outputNameAtom, XCB_ATOM_STRING,
                        8, uint32_t(m_output.size()), m_output.data());
    xcb_change_property(m_x.get(), XCB_PROP_MODE_REPLACE, m_x.root(), demoAtom, XCB_ATOM_WINDOW, 32,
                        1, &window);
    xcb_flush(m_x.get());
    m_published = true;
}

void LeasedDisplayDemo::withdraw() {
    if (!m_published || !m_x.isValid())
        return;
    m_published = false;
    xcb_delete_property(m_x.get(), m_x.root(), m_x.internAtom(hlx::directmode::demoWindowAtom));
    xcb_flush(m_x.get());
}

void LeasedDisplayDemo::finish(const QString &why) {
    if (m_ended)
        return;
    m_ended = true;
    say(QStringLiteral("ending: %1").arg(why));
    m_pacer->stop();
    m_plugCheck.stop();
    m_displayEvents->setEnabled(false);
    withdraw();
    // The headset leaving or the lease taken back is no failure of the demo's.
    QCoreApplication::exit(0);
}

void LeasedDisplayDemo::checkDisplay() {
    const QString output = QString::fromStdString(m_output);
    if (!m_scanout->displayConnected()) {
        finish(QStringLiteral("the headset left %1").arg(output));
        return;
    }
    // The kernel leaves a broken link to userspace: only a new mode set trains it again.
    if (!m_scanout->linkBroken())
        return;
    QString problem;
    if (m_scanout->setModeAgain(&problem))
        say(QStringLiteral("the link to %1 broke; its mode is set again").arg(output));
    else
        finish(QStringLiteral("%1 is no longer the demo's: %2").arg(output, problem));
}

void LeasedDisplayDemo::readDisplayEvents() {
    QString problem;
    if (!m_scanout->handleEvents(&problem))
        finish(QStringLiteral("%1 is no longer the demo's: %2")
                   .arg(QString::fromStdString(m_output), problem));
}
