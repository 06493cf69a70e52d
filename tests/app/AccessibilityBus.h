#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// A helper daemon in a process group of its own, so that stopping it also stops what it spawned:
// the launcher starts a bus, and that bus starts a registry which outlives them both.
class DaemonProcess : public QProcess {
public:
    ~DaemonProcess() override;

    bool launch(const QString &program, const QStringList &arguments);
    void stop();

protected:
    void setupChildProcess() override;

private:
    pid_t m_group = 0;
};

// The accessibility plumbing of a desktop session in which a screen reader runs: a private session
// bus, the at-spi launcher on it with the screen reader switched on, and the accessibility bus
// started and announced on the X root window, as a desktop session announces it. Everything stops
// when the object goes.
class AccessibilityBus {
public:
    AccessibilityBus();
    ~AccessibilityBus();
    AccessibilityBus(const AccessibilityBus &) = delete;
    AccessibilityBus &operator=(const AccessibilityBus &) = delete;

    // The steps, in this order; each returns false, with errorString() saying why, when it fails.
    bool start();
    bool enableScreenReader();
    bool launchBus();

    QString sessionBusAddress() const { return m_sessionBusAddress; }
    // Where a screen reader reads the accessible objects of every program.
    QDBusConnection accessibilityBus() const { return m_accessibilityBus; }
    QString errorString() const { return m_error; }

private:
    bool startSessionBus();
    bool startLauncher();
    bool waitForLauncher();
    bool waitForRootWindowAddress(const QString &address);
    bool setStatus(const QString &property);
    QDBusMessage callLauncher(const QString &interface, const QString &method,
                              const QVariantList &arguments, int timeoutMs);
    bool fail(const QString &message);
    QString log(const QString &fileName) const;

    QTemporaryDir m_runtimeDir;
    DaemonProcess m_sessionDaemon;
    DaemonProcess m_launcher;
    QString m_sessionBusAddress;
    QDBusConnection m_sessionBus;
    QDBusConnection m_accessibilityBus;
    QString m_error;
};
