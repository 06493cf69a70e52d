#pragma once

#include "X11Client.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSharedPointer>
#include <QTemporaryDir>

// One run of the built utility, in its own runtime folder so that no other test's (or a
// real user's) instance counts, and in a working folder of its own so that its settings never
// land in the build. Killed when the object goes, so a failing test leaves nothing behind.
class UtilityProcess {
public:
    // Processes given the same session share the runtime folder, and so the lock, and the
    // working folder, and so the settings: a user's folder, with the build's companions
    // linked beside it as an installed utility has them.
    struct Session {
        QSharedPointer<QTemporaryDir> runtime;
        QString display;
        QString workingDirectory() const { return runtime->filePath("home/bin"); }
    };

    static Session newSession(const QString &display = QString());

    explicit UtilityProcess(const Session &session);
    ~UtilityProcess();
    UtilityProcess(const UtilityProcess &) = delete;
    UtilityProcess &operator=(const UtilityProcess &) = delete;

    // Before start(): the working directory is the session's unless set here.
    void setWorkingDirectory(const QString &path) { process.setWorkingDirectory(path); }
    // An empty value removes the variable.
    void setEnvironment(const QString &name, const QString &value);

    // `program` defaults to the built utility; a link to it tests another name.
    void start(const QStringList &arguments = {}, const QString &program = QString());
    bool waitForExit(int timeoutMs);
    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    int exitCode() const { return process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return process.exitStatus(); }
    qint64 pid() const { return process.processId(); }
    qint64 msecsSinceStart() const { return clock.elapsed(); }
    QByteArray standardError() { return process.readAllStandardError(); }

    // The utility's main window on the session's display, once it exists (mapped or not).
    xcb_window_t waitForWindow(testsupport::X11Client &x, int timeoutMs = 10000);
    // The same, once the window is also mapped and viewable.
    xcb_window_t waitForShownWindow(testsupport::X11Client &x, int timeoutMs = 10000);
    // Closes the window as a window manager would and waits until it has gone to the tray.
    static bool closeToTray(testsupport::X11Client &x, xcb_window_t window);

private:
    Session session;
    QProcess process;
    QElapsedTimer clock;
};
