// The demo in direct mode on the dummy Xorg, whose DUMMY1 carries a Valve Index's real EDID and
// is kept off the desktop: the demo that ships, which the server refuses a lease, and the same
// program over the stand-in of the kernel's mode setting (tests/demo/drmstandin), read through
// what the stand-in logs and the buffers it scans out.
#include "DirectModeShieldRequest.h"
#include "DrmStandin.h"
#include "Eyeshield.h"
#include "HeadsetDesk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <xcb/randr.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr xcb_keysym_t escapeKey = 0xff1b; // XK_Escape
const QRect dummy0(0, 0, 1024, 768);
// Each wait holds on a loaded machine: the demo draws both eyes at the headset's size first.
constexpr int patienceMs = 30000;

QString describe(const QRect &rect) {
    return QStringLiteral("%1x%2+%3+%4")
        .arg(rect.width())
        .arg(rect.height())
        .arg(rect.x())
        .arg(rect.y());
}

// The stand-in's log, one call a line, split into its fields.
QVector<QStringList> readLog(const QString &folder) {
    QFile file(folder + "/log");
    QVector<QStringList> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            lines << QString::fromLatin1(line).split(' ');
    }
    return lines;
}

QVector<QStringList> calls(const QVector<QStringList> &log, const QString &name) {
    QVector<QStringList> found;
    for (const QStringList &line : log) {
        if (line.first() == name)
            found << line;
    }
    return found;
}

// The longest run of flips at consecutive vertical blanks, and how many blanks went by unused
// between flips.
QPair<int, int> flipRun(const QVector<QStringList> &log) {
    int longest = 0, run = 0, missed = 0;
    qlonglong last = -1;
    for (const QStringList &flip : calls(log, "flip")) {
        const qlonglong vblank = flip.value(5).toLongLong();
        run = last >= 0 && vblank == last + 1 ? run + 1 : 1;
        if (last >= 0 && vblank > last + 1)
            missed += int(vblank - last - 1);
        longest = std::max(longest, run);
        last = vblank;
    }
    return {longest, missed};
}

// A dumb buffer's pixels as the stand-in keeps them.
QImage bufferImage(const QString &folder, const QStringList &create) {
    QFile file(folder + "/buffer-" + create.value(1));
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray bytes = file.readAll();
    const QStringList size = create.value(2).split('x');
    const QImage image(reinterpret_cast<const uchar *>(bytes.constData()), size.value(0).toInt(),
                       size.value(1).toInt(), create.value(4).toInt(), QImage::Format_RGB32);
    return bytes.size() >= create.value(4).toInt() * size.value(1).toInt() ? image.copy()
                                                                           : QImage();
}

// The leased CRTC's table as the stand-in keeps it, the channels after each other.
std::vector<uint16_t> crtcGamma(const QString &folder) {
    QFile file(folder + "/gamma-" + QString::number(drmstandin::kernelCrtc));
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    std::vector<uint16_t> entries(size_t(bytes.size()) / 2);
    std::memcpy(entries.data(), bytes.constData(), entries.size() * 2);
    return entries;
}

std::vector<uint16_t> shieldTable(int level) {
    const hlx::GammaRamp plain = hlx::GammaRamp::identity(drmstandin::gammaSize);
    if (level == 0)
        return plain.channels();
    return hlx::Eyeshield::shielded(plain, *hlx::Eyeshield::temperatureOf(level)).channels();
}

// The headset's display as the library finds it while the demo holds it.
hlx::HeadsetDisplay leasedDummy1() {
    hlx::HeadsetDisplay display;
    display.place = hlx::HeadsetDisplay::Place::OffDesktop;
    display.directMode = true;
    display.output = "DUMMY1";
    return display;
}

// Everything the demo made on the lease is gone again, and the descriptor closed last.
QString releaseProblem(const QVector<QStringList> &log) {
    QStringList made, released;
    for (const QStringList &line : log) {
        if (line.contains("refused"))
            continue;
        if (line.first() == "create")
            made << "destroy " + line[1] << "munmap " + line[1];
        else if (line.first() == "addfb")
            made << "rmfb " + line[1];
        else if (line.first() == "lease" && line[1] != "-1")
            made << "close " + line[1];
        else if (QStringList{"destroy", "munmap", "rmfb", "close"}.contains(line.first()))
            released << line.mid(0, 2).join(' ');
    }
    for (const QString &call : made) {
        if (!released.contains(call))
            return "no " + call;
    }
    // Nothing reaches the display once its descriptor is closed.
    const auto close = std::find_if(
        log.begin(), log.end(), [](const QStringList &line) { return line.first() == "close"; });
    for (auto line = close; line != log.end(); ++line) {
        if (line->first() != "close" && line->first() != "free-lease")
            return line->join(' ') + " after the descriptor was closed";
    }
    return QString();
}

// A client of the demo's frame socket, which reads as much as has come within `ms`.
struct FramesClient {
    explicit FramesClient(const QByteArray &path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(),
                    std::min(sizeof address.sun_path - 1, size_t(path.size())));
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    }
    ~FramesClient() { ::close(fd); }
    bool endsWithin(int ms) {
        char bytes[4096];
        pollfd readable{fd, POLLIN, 0};
        while (::poll(&readable, 1, ms) == 1) {
            if (::read(fd, bytes, sizeof bytes) <= 0)
                return true;
        }
        return false;
    }
    QByteArray read(int ms) {
        QByteArray got;
        char bytes[4096];
        pollfd readable{fd, POLLIN, 0};
        while (::poll(&readable, 1, ms) == 1) {
            const ssize_t n = ::read(fd, bytes, sizeof bytes);
            if (n <= 0)
                break;
            got.append(bytes, int(n));
            ms = 0;
        }
        return got;
    }
    int fd = -1;
};

} // namespace

class DirectMode : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void showing_data();
    void showing();
    void ending_data();
    void ending();
    void refused_data();
    void refused();
    void colours_data();
    void colours();
    void shieldCallers();
    void framesSocket_data();
    void framesSocket();

private:
    void start(const QString &program, const QStringList &environment);
    xcb_window_t waitForWindow(const QString &title);
    bool waitToSay(const QString &words);
    // Whether it has ended, or does within the patience of a loaded machine.
    bool ended();
    xcb_window_t rootHolder();
    QByteArray windowString(xcb_window_t window, const QByteArray &name);

    HeadsetDesk m_desk;
    testsupport::X11Client &m_x = m_desk.client();
    std::unique_ptr<QTemporaryDir> m_folder;
    QProcess m_demo;
    QString m_said;
    uint32_t m_dummy1 = 0;
    uint32_t m_dummy1Crtc = 0;
};

void DirectMode::initTestCase() {
    QVERIFY(m_desk.isValid());
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::NonDesktop));
    // The output and the one CRTC that can drive it, as the X server numbers them: the lease
    // must be of those.
    testsupport::XcbConnection &x = m_desk.x();
    auto resources = x.reply(xcb_randr_get_screen_resources_current_reply,
                             xcb_randr_get_screen_resources_current(x.get(), x.root()));
    QVERIFY(resources);
    const xcb_randr_output_t *outputs =
        xcb_randr_get_screen_resources_current_outputs(resources.get());
    for (int i = 0; i < resources->num_outputs; ++i) {
        auto info = x.reply(xcb_randr_get_output_info_reply,
                            xcb_randr_get_output_info(x.get(), outputs[i], XCB_CURRENT_TIME));
        if (info &&
            QByteArray(reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
                       xcb_randr_get_output_info_name_length(info.get())) == "DUMMY1") {
            m_dummy1 = outputs[i];
            m_dummy1Crtc = xcb_randr_get_output_info_crtcs(info.get())[0];
        }
    }
    QVERIFY(m_dummy1 != 0);
}

void DirectMode::init() {
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::NonDesktop));
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_said.clear();
}

void DirectMode::cleanup() {
    if (m_demo.state() != QProcess::NotRunning) {
        m_demo.kill();
        m_demo.waitForFinished();
    }
}

void DirectMode::start(const QString &program, const QStringList &environment) {
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert("QT_SCALE_FACTOR", "1");
    variables.insert("HLX_DRM_STANDIN_DIR", m_folder->path());
    for (const QString &variable : environment)
        variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
    m_demo.setProcessEnvironment(variables);
    m_demo.start(program, {"-screen-fullscreen", "1", "-screen-width", "1920", "-screen-height",
                           "1080", "-adapter", "1"});
}

xcb_window_t DirectMode::waitForWindow(const QString &title) {
    xcb_window_t window = XCB_NONE;
    const bool shown = QTest::qWaitFor(
        [&] {
            for (xcb_window_t candidate : m_x.findTopLevels("Lumeshow", QString())) {
                if (m_x.isViewable(candidate) && m_x.title(candidate) == title)
                    window = candidate;
            }
            return window != XCB_NONE || m_demo.state() == QProcess::NotRunning;
        },
        patienceMs);
    return shown ? window : xcb_window_t(XCB_NONE);
}

bool DirectMode::waitToSay(const QString &words) {
    return QTest::qWaitFor(
        [&] {
            m_said += QString::fromLocal8Bit(m_demo.readAllStandardError());
            return m_said.contains(words);
        },
        patienceMs);
}

bool DirectMode::ended() {
    return m_demo.state() == QProcess::NotRunning || m_demo.waitForFinished(patienceMs);
}

xcb_window_t DirectMode::rootHolder() {
    testsupport::XcbConnection &x = m_desk.x();
    auto reply = x.reply(
        xcb_get_property_reply,
        xcb_get_property(x.get(), 0, x.root(), x.atom("_HLX_DIRECT_DEMO"), XCB_ATOM_WINDOW, 0, 1));
    if (!reply || xcb_get_property_value_length(reply.get()) != 4)
        return XCB_NONE;
    return *static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
}

QByteArray DirectMode::windowString(xcb_window_t window, const QByteArray &name) {
    testsupport::XcbConnection &x = m_desk.x();
    auto reply = x.reply(xcb_get_property_reply, xcb_get_property(x.get(), 0, window, x.atom(name),
                                                                  XCB_ATOM_STRING, 0, 1024));
    if (!reply)
        return QByteArray();
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

void DirectMode::showing_data() {
    QTest::addColumn<int>("hz");
    QTest::addColumn<QSize>("mode");
    QTest::addColumn<bool>("escape"); // else the window is closed as a window manager closes it
    QTest::addColumn<QString>("fault");

    QTest::newRow("Index at 90 Hz, ended by Esc") << 90 << QSize(2880, 1600) << true << QString();
    QTest::newRow("Index at 144 Hz, ended by closing its window")
        << 144 << QSize(2880, 1600) << false << QString();
    QTest::newRow("a smaller headset at 60 Hz, ended by Esc")
        << 60 << QSize(1440, 900) << true << QString();
    QTest::newRow("Index at 90 Hz, its link broken and trained again by a new mode set")
        << 90 << QSize(2880, 1600) << true << "link-bad-after=20";
}

void DirectMode::showing() {
    QFETCH(int, hz);
    QFETCH(QSize, mode);
    QFETCH(bool, escape);
    QFETCH(QString, fault);
    start(LUMESHOW_STANDIN_PATH,
          {"HLX_DRM_STANDIN_HZ=" + QString::number(hz),
           QStringLiteral("HLX_DRM_STANDIN_MODE=%1x%2").arg(mode.width()).arg(mode.height()),
           "HLX_DRM_STANDIN_FAULT=" + fault});
    const xcb_window_t window = waitForWindow("Lumeshow — VLV 91a8");
    QVERIFY(window != XCB_NONE);
    QVERIFY2(dummy0.contains(m_x.rootGeometry(window)),
             qPrintable(describe(m_x.rootGeometry(window))));
    QCOMPARE(rootHolder(), window);
    QCOMPARE(windowString(window, "_HLX_DIRECT_OUTPUT"), QByteArray("DUMMY1"));

    // DUMMY1 and its CRTC leased, the preferred mode set on it (not the first the connector
    // lists).
    QVector<QStringList> log = readLog(m_folder->path());
    const QString crtc = QString::number(m_dummy1Crtc), connector = QString::number(m_dummy1);
    QCOMPARE(calls(log, "lease").value(0).mid(2),
             (QStringList{"crtc", crtc, "connector", connector}));
    // Driven by the kernel's ids, which only the lease's own resources tell.
    const QStringList setCrtc = calls(log, "setcrtc").value(0);
    QCOMPARE(setCrtc.value(1), QString::number(drmstandin::kernelCrtc));
    QCOMPARE(setCrtc.value(5), QString::number(drmstandin::kernelConnector));
    QCOMPARE(setCrtc.value(7),
             QStringLiteral("%1x%2@%3").arg(mode.width()).arg(mode.height()).arg(hz));
    // Its descriptor goes to no program it starts: closed on exec, as /proc tells the flags.
    QFile descriptor(QStringLiteral("/proc/%1/fdinfo/%2")
                         .arg(m_demo.processId())
                         .arg(calls(log, "lease").value(0).value(1)));
    QVERIFY(descriptor.open(QIODevice::ReadOnly));
    const QString info = QString::fromLatin1(descriptor.readAll());
    const QString flags = info.section("flags:", 1).section('\n', 0, 0).trimmed();
    QVERIFY2(flags.toInt(nullptr, 8) & O_CLOEXEC, qPrintable(info));
    if (!fault.isEmpty()) {
        // A new mode set after the link broke, and pictures flipped after it.
        QVERIFY2(waitToSay("the link to DUMMY1 broke; its mode is set again"), qPrintable(m_said));
        QVERIFY(QTest::qWaitFor(
            [&] {
                const QVector<QStringList> now = readLog(m_folder->path());
                const auto broke =
                    std::find(now.begin(), now.end(), QStringList{"link-status", "bad"});
                const auto setAgain = std::find_if(broke, now.end(), [](const QStringList &line) {
                    return line.first() == "setcrtc";
                });
                return std::any_of(setAgain, now.end(),
                                   [](const QStringList &line) { return line.first() == "flip"; });
            },
            patienceMs));
    }

    // One second's worth of flips at consecutive blanks: the display's pace, none missed. A
    // loaded machine may hold the demo back now and then, so the run may come late.
    QPair<int, int> run;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     run = flipRun(readLog(m_folder->path()));
                     return run.first >= hz;
                 },
                 60000),
             qPrintable(QStringLiteral("longest run %1 flips").arg(run.first)));
    log = readLog(m_folder->path());
    qInfo("%d flips, %d blanks missed between them", int(calls(log, "flip").size()), run.second);
    for (const QStringList &line : log)
        QVERIFY2(!line.contains("refused"), qPrintable(line.join(' ')));

    // Both buffers have been on the headset by now, each with both eyes' views.
    const QVector<QStringList> buffers = calls(log, "create");
    QCOMPARE(buffers.size(), 2);
    for (const QStringList &buffer : buffers) {
        QCOMPARE(buffer.value(2), QStringLiteral("%1x%2").arg(mode.width()).arg(mode.height()));
        const QImage image = bufferImage(m_folder->path(), buffer);
        QVERIFY(!image.isNull());
        const QString problem = HeadsetDesk::stereoProblem(image);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    if (escape) {
        QVERIFY(m_x.setInputFocus(window));
        QVERIFY(m_x.pressKey(escapeKey));
    } else {
        QVERIFY(m_x.sendDeleteWindow(window));
    }
    QVERIFY2(waitToSay(escape ? "Lumeshow: ending: Esc was pressed in its window"
                              : "Lumeshow: ending: its window was closed"),
             qPrintable(m_said));
    QVERIFY(ended());
    QCOMPARE(m_demo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_demo.exitCode(), 0);
    const QString problem = releaseProblem(readLog(m_folder->path()));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(rootHolder(), xcb_window_t(XCB_NONE));
}

void DirectMode::ending_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("unplug");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("signal"); // sent once it shows; 0 for none

    QTest::newRow("lease revoked") << "revoke-after=40" << false
                                   << "DUMMY1 is no longer the demo's: a picture could not be "
                                      "flipped"
                                   << 0;
    QTest::newRow("lease taken back, flips still taken")
        << "lease-notice-after=40" << false << "the X server took back the lease of DUMMY1" << 0;
    QTest::newRow("headset unplugged") << QString() << true << "the headset left DUMMY1" << 0;
    QTest::newRow("headset unplugged, its output hidden by the X server")
        << "unplug-after=40" << false << "the headset left DUMMY1" << 0;
    for (const auto &[name, signal] :
         {std::pair{"SIGTERM", SIGTERM}, std::pair{"SIGINT", SIGINT}, std::pair{"SIGHUP", SIGHUP}})
        QTest::newRow(name) << QString() << false << QStringLiteral("asked to by %1").arg(name)
                            << signal;
}

void DirectMode::ending() {
    QFETCH(QString, fault);
    QFETCH(bool, unplug);
    QFETCH(QString, said);
    QFETCH(int, signal);
    start(LUMESHOW_STANDIN_PATH, {"HLX_DRM_STANDIN_FAULT=" + fault});
    const xcb_window_t window = waitForWindow("Lumeshow — VLV 91a8");
    QVERIFY(window != XCB_NONE);
    if (unplug)
        QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Unplugged));
    if (signal)
        QCOMPARE(::kill(pid_t(m_demo.processId()), signal), 0);
    QVERIFY2(waitToSay("Lumeshow: ending: " + said), qPrintable(m_said));
    QVERIFY(ended());
    QCOMPARE(m_demo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_demo.exitCode(), 0);
    QCOMPARE(rootHolder(), xcb_window_t(XCB_NONE));
    const QVector<QStringList> log = readLog(m_folder->path());
    QCOMPARE(calls(log, "close").size(), 1);
    // Not before what ends it.
    if (const int after = fault.section('=', 1).toInt())
        QVERIFY2(calls(log, "flip").size() >= after, qPrintable(fault));
    // A revoked lease refuses the demo's hand-backs; anything else takes them.
    if (fault.startsWith("revoke"))
        return;
    const QString problem = releaseProblem(log);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void DirectMode::refused_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("said");

    const QString standin(LUMESHOW_STANDIN_PATH);
    // The dummy driver has no leases to give: the server answers BadMatch.
    QTest::newRow("the X server refuses")
        << QString(LUMESHOW_PATH) << QString() << "the X server refused to lease DUMMY1 (error 8)";
    QTest::newRow("no-fd") << standin << "no-fd"
                           << "the X server's lease of DUMMY1 came without a descriptor";
    QTest::newRow("no-modes") << standin << "no-modes"
                              << "the headset's display offers no mode";
    QTest::newRow("huge-mode") << standin << "huge-mode"
                               << QStringLiteral("the display's %1x%2 mode needs pictures its "
                                                 "driver cannot hold")
                                      .arg(drmstandin::hugeModeWidth)
                                      .arg(drmstandin::hugeModeHeight);
    QTest::newRow("flip-error") << standin << "flip-error"
                                << "a picture could not be flipped";
}

void DirectMode::refused() {
    QFETCH(QString, program);
    QFETCH(QString, fault);
    QFETCH(QString, said);
    start(program, {"HLX_DRM_STANDIN_FAULT=" + fault});
    // The window that says why, on the primary display and nowhere else.
    const xcb_window_t window = waitForWindow("Lumeshow — DUMMY0");
    QVERIFY(window != XCB_NONE);
    QVERIFY2(dummy0.contains(m_x.rootGeometry(window)),
             qPrintable(describe(m_x.rootGeometry(window))));
    QVERIFY2(waitToSay("it could not be had in direct mode: " + said), qPrintable(m_said));
    QCOMPARE(rootHolder(), xcb_window_t(XCB_NONE));

    // Alive and drawing: the scene moves on in that window.
    const QRect rect = m_x.rootGeometry(window);
    const QImage before = m_desk.grab(rect);
    QVERIFY(QTest::qWaitFor([&] { return m_desk.grab(rect) != before; }, patienceMs));
    QCOMPARE(m_demo.state(), QProcess::Running);

    // What the refused attempt made is gone again, and no picture reached the headset.
    const QVector<QStringList> log = readLog(m_folder->path());
    const QString problem = releaseProblem(log);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // The demo that ships never reaches the stand-in.
    QCOMPARE(calls(log, "lease").size(), program == LUMESHOW_STANDIN_PATH ? 1 : 0);
    if (fault != "flip-error")
        QVERIFY(calls(log, "setcrtc").isEmpty());
}

// Level 1 on the leased CRTC, a first demo that cannot give the own table back, and a second
// that takes the display with the same choice: the CRTC keeps the warm table between them, as
// the kernel does, and the second warms the own table, not the warm one again.
void DirectMode::colours_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("signal"); // what ends the first demo; 0 for the fault

    QTest::newRow("killed") << QString() << int(SIGKILL);
    QTest::newRow("asked to end by SIGTERM") << QString() << int(SIGTERM);
    QTest::newRow("lease revoked") << "revoke-after=40" << 0;
    QTest::newRow("DRM master lost to another VT") << "master-lost-after=40" << 0;
}

void DirectMode::colours() {
    QFETCH(QString, fault);
    QFETCH(int, signal);
    using Shown = hlx::DeviceSystem::LeasedShield;
    // Recorded on the root for the demo to come.
    QCOMPARE(hlx::DirectModeShieldRequest::send(leasedDummy1(), 1), Shown::NotHeld);
    start(LUMESHOW_STANDIN_PATH, {"HLX_DRM_STANDIN_FAULT=" + fault});
    QVERIFY(waitForWindow("Lumeshow — VLV 91a8") != XCB_NONE);
    QTRY_VERIFY_WITH_TIMEOUT(crtcGamma(m_folder->path()) == shieldTable(1), patienceMs);
    if (signal)
        QCOMPARE(::kill(pid_t(m_demo.processId()), signal), 0);
    else
        QVERIFY2(waitToSay("Lumeshow: ending: "), qPrintable(m_said));
    QVERIFY(ended());

    start(LUMESHOW_STANDIN_PATH, {});
    const xcb_window_t window = waitForWindow("Lumeshow — VLV 91a8");
    QVERIFY(window != XCB_NONE);
    QTRY_VERIFY_WITH_TIMEOUT(calls(readLog(m_folder->path()), "flip").size() > 1, patienceMs);
    QVERIFY(crtcGamma(m_folder->path()) == shieldTable(1));
    QCOMPARE(hlx::DirectModeShieldRequest::send(leasedDummy1(), 0), Shown::Shown);
    QVERIFY(crtcGamma(m_folder->path()) == shieldTable(0));
    QVERIFY(m_x.sendDeleteWindow(window));
    QVERIFY(ended());
}

// Two callers at once, held back by a grab of the server until both wait on it: each gets a
// serial of its own, and no caller hears "shown" for a level that never reached the CRTC.
void DirectMode::shieldCallers() {
    using Shown = hlx::DeviceSystem::LeasedShield;
    start(LUMESHOW_STANDIN_PATH, {});
    QVERIFY(waitForWindow("Lumeshow — VLV 91a8") != XCB_NONE);
    testsupport::XcbConnection &x = m_desk.x();
    const xcb_atom_t wanted = x.atom("_HLX_DIRECT_EYESHIELD");
    const auto wish = [&] {
        auto reply = x.reply(xcb_get_property_reply, xcb_get_property(x.get(), 0, x.root(), wanted,
                                                                      XCB_ATOM_CARDINAL, 0, 2));
        if (!reply || xcb_get_property_value_length(reply.get()) != 8)
            return std::pair{0u, 0u};
        const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
        return std::pair{values[0], values[1]};
    };
    // Six callers a round, held back together, and rounds enough that callers in step meet
    // without the grab.
    constexpr uint32_t callersEach = 6;
    for (int round = 0; round < 3; ++round) {
        const uint32_t before = wish().first;
        xcb_grab_server(x.get());
        QVERIFY(x.sync());
        std::vector<std::future<Shown>> callers;
        for (uint32_t caller = 0; caller < callersEach; ++caller)
            callers.push_back(std::async(std::launch::async, hlx::DirectModeShieldRequest::send,
                                         leasedDummy1(), int(caller % 4),
                                         hlx::DirectModeShieldRequest::answerBound));
        QTest::qWait(500);
        xcb_ungrab_server(x.get());
        QVERIFY(x.sync());
        int shown = 0;
        for (std::future<Shown> &caller : callers)
            shown += caller.get() == Shown::Shown;
        QCOMPARE(wish().first, before + callersEach);
        // The last wish, at least, is shown.
        QVERIFY(shown >= 1);
        QVERIFY(crtcGamma(m_folder->path()) == shieldTable(int(wish().second)));
    }
}

void DirectMode::framesSocket_data() {
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("said");
    QTest::newRow("the user's folder: the socket alone, nothing after kill -9")
        << 0700 << false << QString() << QString();
    QTest::newRow("a link for a folder")
        << 0700 << true << QString() << "passed over: it is a symbolic link";
    QTest::newRow("a folder others may enter")
        << 0755 << false << QString() << "passed over: others may enter it (mode 755";
    QTest::newRow("clients gone while the demo sends")
        << 0700 << false << "stop-reading" << QString();
    QTest::newRow("a client that sends garbage")
        << 0700 << false << "garbage"
        << "a client that sent deadbeef, not a slot, is dropped";
}

// The frames' socket alone lies in the runtime folder, which is taken only as the user's own;
// the pixels go by a memfd. Clients that misbehave are dropped, and the others served.
void DirectMode::framesSocket() {
    QFETCH(int, folderMode);
    QFETCH(bool, linked);
    QFETCH(QString, client);
    QFETCH(QString, said);
    const QString folder = m_folder->filePath("runtime");
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)) == 0);
    const QString named = linked ? m_folder->filePath("runtime-link") : folder;
    QVERIFY(!linked || QFile::link(folder, named));
    start(LUMESHOW_STANDIN_PATH, {"XDG_RUNTIME_DIR=" + named});
    QVERIFY(waitForWindow("Lumeshow — VLV 91a8") != XCB_NONE);
    QByteArray path;
    QVERIFY(QTest::qWaitFor(
        [&] { return !(path = windowString(rootHolder(), "_HLX_DIRECT_FRAMES")).isEmpty(); },
        patienceMs));
    const QStringList inFolder = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                        QDir::Hidden | QDir::System);
    if (folderMode != 0700 || linked) {
        QVERIFY2(waitToSay(said), qPrintable(m_said));
        QVERIFY2(!path.startsWith(QFile::encodeName(named)), path.constData());
        QVERIFY(inFolder.isEmpty());
    } else {
        QCOMPARE(inFolder, QStringList{QFileInfo(QString::fromLocal8Bit(path)).fileName()});
    }

    if (client == "stop-reading") {
        // Two that stop reading, ahead of one that reads: neither is served twice nor skipped.
        FramesClient first(path), second(path), reader(path);
        const int offer = 16, message = 20;
        const quint32 bothSlots[] = {0, 1};
        QVERIFY(first.read(patienceMs).size() >= offer && second.read(patienceMs).size() >= offer);
        QVERIFY(reader.read(patienceMs).size() >= offer);
        // Holding no slot, they are sent the next frame.
        for (FramesClient *stopping : {&first, &second}) {
            QVERIFY(::write(stopping->fd, bothSlots, sizeof bothSlots) == sizeof bothSlots);
            QVERIFY(::shutdown(stopping->fd, SHUT_RD) == 0);
        }
        QByteArray got;
        QElapsedTimer waited;
        waited.start();
        while (got.size() < 10 * message && waited.elapsed() < patienceMs) {
            got += reader.read(100);
            QVERIFY(::write(reader.fd, bothSlots, sizeof bothSlots) == sizeof bothSlots);
        }
        QVERIFY(got.size() >= 10 * message);
        quint32 last = 0;
        for (int at = got.size() % message; at + message <= got.size(); at += message) {
            quint32 sequence = 0;
            std::memcpy(&sequence, got.constData() + at + 4, sizeof sequence);
            QVERIFY2(sequence > last,
                     qPrintable(QStringLiteral("%1 after %2").arg(sequence).arg(last)));
            last = sequence;
        }
    } else if (client == "garbage") {
        FramesClient sender(path);
        const quint32 garbage = 0xdeadbeef;
        QVERIFY(::write(sender.fd, &garbage, sizeof garbage) == sizeof garbage);
        QVERIFY2(waitToSay(said), qPrintable(m_said));
        QVERIFY(sender.endsWithin(patienceMs));
    }
    QCOMPARE(m_demo.state(), QProcess::Running);

    m_demo.kill();
    QVERIFY(ended());
    for (const QFileInfo &left :
         QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        QVERIFY2(left.size() == 0, qPrintable(left.fileName()));
}

QTEST_MAIN(DirectMode)
#include "tst_directmode.moc"
