#include "UtilityProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

UtilityProcess::Session UtilityProcess::newSession(const QString &display) {
    const Session session{QSharedPointer<QTemporaryDir>::create(),
                          display.isEmpty() ? qEnvironmentVariable("DISPLAY") : display};
    QDir home(session.runtime->filePath("home"));
    home.mkpath("bin");
    for (const QString companion : {"demo", "Pictor"})
        QFile::link(QStringLiteral(HLX_BIN_DIR "/../") + companion, home.filePath(companion));
    return session;
}

UtilityProcess::UtilityProcess(const Session &s)
    : session(s) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", session.runtime->path());
    environment.insert("DISPLAY", session.display);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(session.workingDirectory());
}

UtilityProcess::~UtilityProcess() {
    if (isRunning()) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void UtilityProcess::setEnvironment(const QString &name, const QString &value) {
    QProcessEnvironment environment = process.processEnvironment();
    if (value.isEmpty())
        environment.remove(name);
    else
        environment.insert(name, value);
    process.setProcessEnvironment(environment);
}

void UtilityProcess::start(const QStringList &arguments, const QString &program) {
    process.setProgram(program.isEmpty() ? QString(HLX_CONFIG_PATH) : program);
    process.setArguments(arguments);
    clock.start();
    process.start();
    process.waitForStarted(5000);
}

bool UtilityProcess::waitForExit(int timeoutMs) {
    return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
}

xcb_window_t UtilityProcess::waitForWindow(testsupport::X11Client &x, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && isRunning()) {
        const std::vector<xcb_window_t> found =
            x.findTopLevels("hlx-config", "HLX_Configuration_Utility");
        if (!found.empty())
            return found.front();
        QTest::qWait(20);
    }
    return XCB_WINDOW_NONE;
}

xcb_window_t UtilityProcess::waitForShownWindow(testsupport::X11Client &x, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const xcb_window_t window = waitForWindow(x, timeoutMs);
    const bool shown =
        window != XCB_WINDOW_NONE &&
        QTest::qWaitFor([&] { return x.isViewable(window); }, int(deadline.remainingTime()));
    return shown ? window : xcb_window_t(XCB_WINDOW_NONE);
}

bool UtilityProcess::closeToTray(testsupport::X11Client &x, xcb_window_t window) {
    return x.sendDeleteWindow(window) &&
           QTest::qWaitFor([&] { return !x.isViewable(window); }, 5000);
}
