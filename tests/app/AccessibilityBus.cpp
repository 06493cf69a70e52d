#include "AccessibilityBus.h"

#include "XcbConnection.h"

#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;
constexpr int callTimeoutMs = 5000;
constexpr int pollIntervalMs = 20;
// The launcher answers only once the bus it starts accepts connections.
constexpr int launchTimeoutMs = 15000;
constexpr uint32_t maxAddressLongs = 256;

const char kLauncherPath[] = "/usr/libexec/at-spi-bus-launcher";
const char kLauncherService[] = "org.a11y.Bus";
const char kLauncherObject[] = "/org/a11y/bus";
const char kLauncherInterface[] = "org.a11y.Bus";
const char kStatusInterface[] = "org.a11y.Status";
const char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
const char kSessionConnectionName[] = "hlx-test-session-bus";
const char kAccessibilityConnectionName[] = "hlx-test-accessibility-bus";
const char kSessionBusLog[] = "session-bus.log";
const char kLauncherLog[] = "launcher.log";

} // namespace

DaemonProcess::~DaemonProcess() {
    stop();
}

bool DaemonProcess::launch(const QString &program, const QStringList &arguments) {
    start(program, arguments);
    if (!waitForStarted(startTimeoutMs))
        return false;
    m_group = static_cast<pid_t>(processId());
    return true;
}

void DaemonProcess::stop() {
    if (m_group == 0)
        return;
    // Asked first, so that the buses remove their sockets.
    ::kill(-m_group, SIGTERM);
    waitForFinished(stopTimeoutMs);
    // Whatever is still there goes now, even if its parent has already gone.
    ::kill(-m_group, SIGKILL);
    waitForFinished(stopTimeoutMs);
    m_group = 0;
}

void DaemonProcess::setupChildProcess() {
    ::setpgid(0, 0);
    // Should the test itself be killed, the daemon goes too; the registry then ends with the X
    // server it is connected to.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

AccessibilityBus::AccessibilityBus()
    : m_sessionBus(QString())
    , m_accessibilityBus(QString()) {}

AccessibilityBus::~AccessibilityBus() {
    QDBusConnection::disconnectFromBus(kAccessibilityConnectionName);
    QDBusConnection::disconnectFromBus(kSessionConnectionName);
    m_launcher.stop();
    m_sessionDaemon.stop();
}

bool AccessibilityBus::start() {
    if (!m_runtimeDir.isValid())
        return fail("cannot create a runtime folder: " + m_runtimeDir.errorString());
    return startSessionBus() && startLauncher();
}

bool AccessibilityBus::startSessionBus() {
    m_sessionDaemon.setStandardErrorFile(m_runtimeDir.filePath(kSessionBusLog));
    if (!m_sessionDaemon.launch("dbus-daemon", {"--session", "--nofork", "--print-address=1"}))
        return fail("dbus-daemon did not start: " + m_sessionDaemon.errorString());
    const QDeadlineTimer deadline(startTimeoutMs);
    while (!m_sessionDaemon.canReadLine() && m_sessionDaemon.state() == QProcess::Running &&
           !deadline.hasExpired())
        m_sessionDaemon.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    m_sessionBusAddress = QString::fromUtf8(m_sessionDaemon.readLine()).trimmed();
    if (m_sessionBusAddress.isEmpty())
        return fail("dbus-daemon gave no address: " + log(kSessionBusLog));
    m_sessionBus = QDBusConnection::connectToBus(m_sessionBusAddress, kSessionConnectionName);
    if (!m_sessionBus.isConnected())
        return fail("cannot connect to the session bus: " + m_sessionBus.lastError().message());
    return true;
}

bool AccessibilityBus::startLauncher() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", m_sessionBusAddress);
    // The accessibility bus's socket goes here rather than into the user's cache folder.
    environment.insert("XDG_RUNTIME_DIR", m_runtimeDir.path());
    // The launcher saves the screen reader switch as a setting, which must not reach the user's.
    environment.insert("GSETTINGS_BACKEND", "memory");
    // Under Wayland the launcher would not announce the bus on the X root window.
    environment.remove("WAYLAND_DISPLAY");
    m_launcher.setProcessEnvironment(environment);
    m_launcher.setStandardOutputFile(QProcess::nullDevice());
    m_launcher.setStandardErrorFile(m_runtimeDir.filePath(kLauncherLog));
    if (!m_launcher.launch(kLauncherPath, {}))
        return fail(QString("%1 did not start: %2").arg(kLauncherPath, m_launcher.errorString()));
    return waitForLauncher();
}

bool AccessibilityBus::waitForLauncher() {
    QDBusMessage hasOwner = QDBusMessage::createMethodCall(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner");
    hasOwner << QString(kLauncherService);
    const QDeadlineTimer deadline(startTimeoutMs);
    while (m_launcher.state() == QProcess::Running && !deadline.hasExpired()) {
        const QDBusMessage reply = m_sessionBus.call(hasOwner, QDBus::Block, callTimeoutMs);
        if (reply.arguments().value(0).toBool())
            return true;
        QTest::qWait(pollIntervalMs);
    }
    return fail(QString("the launcher did not take %1 on the session bus: %2")
                    .arg(kLauncherService, log(kLauncherLog)));
}

// As a desktop does when its screen reader is switched on; toolkits read these to decide whether
// to take part.
bool AccessibilityBus::enableScreenReader() {
    return setStatus("IsEnabled") && setStatus("ScreenReaderEnabled");
}

bool AccessibilityBus::setStatus(const QString &property) {
    const QDBusMessage set = callLauncher(
        kPropertiesInterface, "Set",
        {kStatusInterface, property, QVariant::fromValue(QDBusVariant(true))}, callTimeoutMs);
    if (set.type() != QDBusMessage::ReplyMessage)
        return fail(QString("setting %1 failed: %2").arg(property, set.errorMessage()));
    const QDBusMessage get =
        callLauncher(kPropertiesInterface, "Get", {kStatusInterface, property}, callTimeoutMs);
    if (!get.arguments().value(0).value<QDBusVariant>().variant().toBool())
        return fail(QString("%1 did not stay on: %2").arg(property, get.errorMessage()));
    return true;
}

bool AccessibilityBus::launchBus() {
    const QDBusMessage reply = callLauncher(kLauncherInterface, "GetAddress", {}, launchTimeoutMs);
    const QString address = reply.arguments().value(0).toString();
    if (address.isEmpty())
        return fail(QString("the launcher gave no accessibility bus: %1 %2")
                        .arg(reply.errorMessage(), log(kLauncherLog)));
    m_accessibilityBus = QDBusConnection::connectToBus(address, kAccessibilityConnectionName);
    if (!m_accessibilityBus.isConnected())
        return fail("cannot connect to the accessibility bus: " +
                    m_accessibilityBus.lastError().message());
    return waitForRootWindowAddress(address);
}

// Qt 5 connects reliably only to a bus announced on the root window before it starts; one it
// learns of from the session bus alone stays unconnected. A desktop session announces it there.
bool AccessibilityBus::waitForRootWindowAddress(const QString &address) {
    testsupport::XcbConnection x;
    if (!x.isValid())
        return fail("cannot connect to the X display");
    QByteArray announced;
    const QDeadlineTimer deadline(startTimeoutMs);
    do {
        const auto property = x.reply(xcb_get_property_reply,
                                      xcb_get_property(x.get(), 0, x.root(), x.atom("AT_SPI_BUS"),
                                                       XCB_ATOM_STRING, 0, maxAddressLongs));
        if (property)
            announced =
                QByteArray(static_cast<const char *>(xcb_get_property_value(property.get())),
                           xcb_get_property_value_length(property.get()));
        if (announced == address.toUtf8())
            return true;
        QTest::qWait(pollIntervalMs);
    } while (!deadline.hasExpired());
    return fail(QString("the root window announces \"%1\" instead of \"%2\"")
                    .arg(QString::fromUtf8(announced), address));
}

QDBusMessage AccessibilityBus::callLauncher(const QString &interface, const QString &method,
                                            const QVariantList &arguments, int timeoutMs) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kLauncherService, kLauncherObject, interface, method);
    message.setArguments(arguments);
    // Were the launcher gone, the session bus would start another, beyond this object's reach.
    message.setAutoStartService(false);
    return m_sessionBus.call(message, QDBus::Block, timeoutMs);
}

bool AccessibilityBus::fail(const QString &message) {
    m_error = message;
    return false;
}

QString AccessibilityBus::log(const QString &fileName) const {
    QFile file(m_runtimeDir.filePath(fileName));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}
