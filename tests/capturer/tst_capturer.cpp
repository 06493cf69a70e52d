// Pictor as a process on the dummy Xorg: where its window goes, what it shows for each state of
// the second display, how it behaves when started twice or when the headset's display leaves, and
// what it costs where nobody sees it or where it sees itself.
#include "DuplicationFallback.h"
#include "FromOutside.h"
#include "HeadsetDesk.h"
#include "LeasedDemo.h"
#include "OutputRotation.h"
#include "WindowPinger.h"

#include <QElapsedTimer>
#include <QtTest>

#include <xcb/damage.h>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

enum class Sight { Shown, Unmapped, Minimised };

Q_DECLARE_METATYPE(HeadsetDesk::Dummy1)
Q_DECLARE_METATYPE(Sight)

namespace {

const QVector<QColor> colours = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta, Qt::cyan};
constexpr int patternColumns = 3;
// A picture or sentence is waited for, not timed: the sanitizer build beside other work takes
// more than five seconds to hand the capturer a display that came back.
constexpr int kShownWithinMs = 30000;

// The colours moved `turn` cells on, so that a mirror stuck on an earlier picture shows.
QVector<QColor> pattern(int turn = 0) {
    QVector<QColor> turned;
    for (int i = 0; i < colours.size(); ++i)
        turned.append(colours[(i + turn) % colours.size()]);
    return turned;
}
const QSize headsetSize(1920, 1080);

// Where each cell of the pattern lands once the 16:9 picture is fitted into `window`.
QVector<QPoint> cellCentres(const QSize &window) {
    const QSize fitted = headsetSize.scaled(window, Qt::KeepAspectRatio);
    const QPoint origin((window.width() - fitted.width()) / 2,
                        (window.height() - fitted.height()) / 2);
    const int rows = colours.size() / patternColumns;
    QVector<QPoint> centres;
    for (int i = 0; i < colours.size(); ++i) {
        centres.append(
            origin + QPoint(fitted.width() * (2 * (i % patternColumns) + 1) / (2 * patternColumns),
                            fitted.height() * (2 * (i / patternColumns) + 1) / (2 * rows)));
    }
    return centres;
}

// The pattern, scaled with its shape kept and centred, on black bands.
bool showsPattern(const QImage &image, int turn = 0) {
    if (image.isNull())
        return false;
    const QVector<QPoint> centres = cellCentres(image.size());
    for (int i = 0; i < colours.size(); ++i) {
        if (!closeTo(image.pixel(centres[i]), pattern(turn)[i], 24))
            return false;
    }
    const QSize fitted = headsetSize.scaled(image.size(), Qt::KeepAspectRatio);
    const int bandX = (image.width() - fitted.width()) / 2;
    const int bandY = (image.height() - fitted.height()) / 2;
    if (bandX > 2 && !closeTo(image.pixel(bandX / 2, image.height() / 2), Qt::black, 0))
        return false;
    if (bandY > 2 && !closeTo(image.pixel(image.width() / 2, bandY / 2), Qt::black, 0))
        return false;
    return true;
}

// Words on a plain ground, with no cell of the pattern where the mirror would put it.
bool showsSentence(const QImage &image) {
    if (image.isNull())
        return false;
    const QVector<QPoint> centres = cellCentres(image.size());
    for (int i = 0; i < colours.size(); ++i) {
        if (closeTo(image.pixel(centres[i]), colours[i], 24))
            return false;
    }
    const QRgb ground = image.pixel(0, 0);
    int text = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            text += image.pixel(x, y) != ground;
    }
    return text > 100;
}

// Where a point of the headset's picture shows in a mirror window of `window`'s size.
QPoint mirrored(const QPoint &onHeadset, const QSize &window) {
    const QSize fitted = headsetSize.scaled(window, Qt::KeepAspectRatio);
    return QPoint((window.width() - fitted.width()) / 2, (window.height() - fitted.height()) / 2) +
           onHeadset * fitted.width() / headsetSize.width();
}

// The rectangles a window is painted in, as the X server's DAMAGE tells another client.
class PaintCount {
public:
    explicit PaintCount(xcb_window_t window) {
        free(xcb_damage_query_version_reply(m_x.get(), xcb_damage_query_version(m_x.get(), 1, 1),
                                            nullptr));
        m_damage = xcb_generate_id(m_x.get());
        xcb_damage_create(m_x.get(), m_damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        m_x.sync();
    }
    ~PaintCount() {
        xcb_damage_destroy(m_x.get(), m_damage);
        m_x.sync();
    }
    // Those since the last take.
    int take() {
        m_x.sync();
        int painted = 0;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_x.get())) {
            painted += (event->response_type & 0x7f) != 0;
            free(event);
        }
        return painted;
    }

private:
    testsupport::XcbConnection m_x;
    xcb_damage_damage_t m_damage = 0;
};

} // namespace

class CapturerCases : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void mirrorsTheHeadsetOrSaysWhy_data();
    void mirrorsTheHeadsetOrSaysWhy();
    void mirrorsTheLeasedDisplay();
    void refusesUnfitFrames_data();
    void refusesUnfitFrames();
    void runsOncePerSession();
    void outlivesTheHeadsetDisplay();
    void costsOnlyWhatIsSeen_data();
    void costsOnlyWhatIsSeen();
    void windowsCopiesWhileItCannotDuplicate();
    void windowsTurnsATurnedOutputUpright();

private:
    // Started and found, with its mark naming it.
    xcb_window_t startCapturer(QProcess &process,
                               QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels);
    QImage windowImage(xcb_window_t window) {
        return m_desk.grab(m_desk.client().rootGeometry(window));
    }

    HeadsetDesk m_desk;
    xcb_window_t m_pattern = 0;
};

void CapturerCases::initTestCase() {
    QVERIFY(m_desk.isValid());
    QVERIFY(!m_desk.outputRect("DUMMY0").isEmpty());
}

void CapturerCases::init() {
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Off));
}

void CapturerCases::cleanup() {
    QVERIFY(m_desk.setDummy2(HeadsetDesk::Dummy1::Unplugged));
    HeadsetDesk::resetPrimary();
    if (m_pattern)
        m_desk.destroy(m_pattern);
    m_pattern = 0;
}

xcb_window_t CapturerCases::startCapturer(QProcess &process,
                                          QProcess::ProcessChannelMode channels) {
    if (!m_desk.startCapturer(process, channels))
        return 0;
    const xcb_window_t window = m_desk.waitForCapturerWindow();
    if (window && m_desk.markOf(window) != process.processId())
        return 0;
    return window;
}

void CapturerCases::mirrorsTheHeadsetOrSaysWhy_data() {
    QTest::addColumn<HeadsetDesk::Dummy1>("dummy1");
    QTest::addColumn<HeadsetDesk::Dummy1>("dummy2");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("mirrors");

    using D = HeadsetDesk::Dummy1;
    const QString headsetTitle = QStringLiteral("Pictor — VLV 91a8");
    QTest::newRow("headset on DUMMY1") << D::Headset << D::Unplugged << headsetTitle << true;
    QTest::newRow("monitor on DUMMY1") << D::Monitor << D::Unplugged << "Pictor" << false;
    QTest::newRow("headset, DUMMY1 off") << D::Off << D::Unplugged << headsetTitle << false;
    QTest::newRow("headset, DUMMY1 non-desktop")
        << D::NonDesktop << D::Unplugged << headsetTitle << false;
    // Two monitors and a headset in direct mode: the second monitor is not taken for the headset.
    QTest::newRow("monitor on DUMMY1, headset non-desktop on DUMMY2")
        << D::Monitor << D::NonDesktop << headsetTitle << false;
    QTest::newRow("a headset on DUMMY1 and another non-desktop on DUMMY2: the one on the desktop")
        << D::Headset << D::NonDesktop << headsetTitle << true;
}

void CapturerCases::mirrorsTheHeadsetOrSaysWhy() {
    QFETCH(HeadsetDesk::Dummy1, dummy1);
    QFETCH(HeadsetDesk::Dummy1, dummy2);
    QFETCH(QString, title);
    QFETCH(bool, mirrors);

    QVERIFY(m_desk.setDummy1(dummy1));
    QVERIFY(m_desk.setDummy2(dummy2));
    const QRect desktop0 = m_desk.outputRect("DUMMY0");
    const QRect headset = m_desk.outputRect("DUMMY1");
    // Where the mirror would find it, had the capturer mistaken this display for the headset's.
    if (!headset.isEmpty())
        m_pattern = m_desk.showPattern(headset, pattern(), patternColumns);

    QProcess capturer;
    const xcb_window_t window = startCapturer(capturer);
    QVERIFY(window);
    const QRect geometry = m_desk.client().rootGeometry(window);
    QVERIFY(desktop0.contains(geometry));
    QVERIFY(!geometry.intersects(headset));
    QCOMPARE(m_desk.client().title(window), title);

    if (mirrors) {
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window)), kShownWithinMs);
        // Followed as it changes, and into another shape of window: bands above and below, or
        // beside, with the picture centred between them.
        m_desk.destroy(m_pattern);
        m_pattern = m_desk.showPattern(headset, pattern(1), patternColumns);
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window), 1), kShownWithinMs);
        m_desk.resize(window, QSize(480, 400));
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window), 1), kShownWithinMs);
        m_desk.resize(window, QSize(700, 200));
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window), 1), kShownWithinMs);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(showsSentence(windowImage(window)), kShownWithinMs);
    }
    QVERIFY(m_desk.closeCapturer(capturer, window));
}

// The headset's display kept off the desktop and held by the real demo, built over the libdrm
// stand-in: the window shows what the stand-in scans out, says so, and says why there is nothing
// to show once the demo has let go of the display.
void CapturerCases::mirrorsTheLeasedDisplay() {
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::NonDesktop));
    QProcess capturer;
    const xcb_window_t window = startCapturer(capturer);
    QVERIFY(window);
    const QString title = QStringLiteral("Pictor — VLV 91a8");
    QCOMPARE(m_desk.client().title(window), title);
    QTRY_VERIFY_WITH_TIMEOUT(showsSentence(windowImage(window)), kShownWithinMs);

    LeasedDemo demo(m_desk.client());
    QVERIFY(demo.start());
    QTRY_COMPARE_WITH_TIMEOUT(m_desk.client().title(window), title + " in direct mode",
                              kShownWithinMs);
    // The demo's own small window opens in the middle of the primary display, where the mirror
    // starts too: the mirror moves out from under it, and stays on the primary display.
    const QRect demoWindow = m_desk.client().rootGeometry(demo.window());
    QVERIFY(!demoWindow.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!m_desk.client().rootGeometry(window).intersects(demoWindow),
                             kShownWithinMs);
    QVERIFY(m_desk.outputRect("DUMMY0").contains(m_desk.client().rootGeometry(window)));
    const auto showsLastFlipped = [&] {
        double apart = 255;
        const bool shown = QTest::qWaitFor(
            [&] {
                const QImage flipped = demo.lastFlipped();
                const QRect geometry = m_desk.client().rootGeometry(window);
                const QSize fitted = flipped.size().scaled(geometry.size(), Qt::KeepAspectRatio);
                const QImage mirror = m_desk.grab(
                    QRect(geometry.topLeft() + QPoint((geometry.width() - fitted.width()) / 2,
                                                      (geometry.height() - fitted.height()) / 2),
                          fitted));
                apart = flipped.isNull() ? 255 : pictureDifference(flipped, mirror);
                return apart < 6;
            },
            kShownWithinMs);
        if (!shown)
            qWarning("the mirror is %.1f apart from the buffer last flipped", apart);
        return shown;
    };
    QVERIFY(showsLastFlipped());
    // The buffers may be write-combined memory, slow to read: the frames come from elsewhere.
    QCOMPARE(demo.pagesRead(), 0);

    // Minimised, it lets go of the frames, which the demo then copies for nobody; restored, it
    // shows the newest.
    QCOMPARE(demo.frameClients(), 1);
    QVERIFY(m_desk.client().iconifyAsWindowManager(window));
    QTRY_COMPARE_WITH_TIMEOUT(demo.frameClients(), 0, kShownWithinMs);
    QVERIFY(fromoutside::restoreAsWindowManager(m_desk.x(), window));
    QVERIFY(showsLastFlipped());
    QCOMPARE(demo.frameClients(), 1);

    QVERIFY(demo.close());
    QTRY_COMPARE_WITH_TIMEOUT(m_desk.client().title(window), title, kShownWithinMs);
    QTRY_VERIFY_WITH_TIMEOUT(showsSentence(windowImage(window)), kShownWithinMs);
    QVERIFY(m_desk.closeCapturer(capturer, window));
}

void CapturerCases::refusesUnfitFrames_data() {
    QTest::addColumn<QString>("offer");
    QTest::addColumn<QString>("said");
    QTest::newRow("memory of one frame, not two")
        << "one frame"
        << "its memory holds 11520 bytes, not the 23040 of two frames";
    QTest::newRow("memory that may shrink") << "unsealed"
                                            << "not sealed against shrinking";
    QTest::newRow("garbage") << "garbage"
                             << "it does not begin as the demo's frames do";
}

// What a demo that holds the headset's display offers on its frames' socket is checked before a
// pixel of it is read: memory that could fault under the reader, or words that are not the
// demo's, are refused with a message, and the capturer goes on.
void CapturerCases::refusesUnfitFrames() {
    QFETCH(QString, offer);
    QFETCH(QString, said);
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::NonDesktop));
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath("frames"));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(::bind(server, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0);
    QVERIFY(::listen(server, 4) == 0);

    // The holder as a demo names itself.
    testsupport::XcbConnection &x = m_desk.x();
    const xcb_window_t holder = xcb_generate_id(x.get());
    xcb_create_window(x.get(), 0, holder, x.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, holder, x.atom("_HLX_DIRECT_OUTPUT"),
                        XCB_ATOM_STRING, 8, 6, "DUMMY1");
    xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, holder, x.atom("_HLX_DIRECT_FRAMES"),
                        XCB_ATOM_STRING, 8, uint32_t(path.size()), path.constData());
    xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, x.root(), x.atom("_HLX_DIRECT_DEMO"),
                        XCB_ATOM_WINDOW, 32, 1, &holder);
    xcb_flush(x.get());

    QProcess capturer;
    const xcb_window_t window = startCapturer(capturer, QProcess::ForwardedOutputChannel);
    QVERIFY(window);
    pollfd asked{server, POLLIN, 0};
    QVERIFY(::poll(&asked, 1, kShownWithinMs) == 1);
    const int client = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    QVERIFY(client >= 0);

    // 80 x 36 pixels, a frame in slot 1 after it: beyond one frame's memory.
    const quint32 words[] = {0x48465850, 80, 36, 320, 1, 1, 80, 36, 320};
    const int memory = ::memfd_create("frames", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    QVERIFY(::ftruncate(memory, offer == "one frame" ? 320 * 36 : 2 * 320 * 36) == 0);
    if (offer != "unsealed")
        QVERIFY(::fcntl(memory, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) == 0);
    const QByteArray garbage(int(sizeof words), 'g');
    iovec data{offer == "garbage" ? const_cast<char *>(garbage.constData())
                                  : reinterpret_cast<char *>(const_cast<quint32 *>(words)),
               sizeof words};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &memory, sizeof(int));
    QVERIFY(::sendmsg(client, &message, MSG_NOSIGNAL) == ssize_t(sizeof words));
    ::close(memory);

    QString stderrText;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     stderrText += QString::fromLocal8Bit(capturer.readAllStandardError());
                     return stderrText.contains(said);
                 },
                 kShownWithinMs),
             qPrintable(stderrText));
    // Let go of, and not asked again.
    char byte = 0;
    QCOMPARE(::recv(client, &byte, 1, 0), ssize_t(0));
    asked.revents = 0;
    QCOMPARE(::poll(&asked, 1, 1000), 0);
    QCOMPARE(capturer.state(), QProcess::Running);
    QCOMPARE(m_desk.client().title(window), QStringLiteral("Pictor — VLV 91a8 in direct mode"));

    xcb_delete_property(x.get(), x.root(), x.atom("_HLX_DIRECT_DEMO"));
    xcb_destroy_window(x.get(), holder);
    xcb_flush(x.get());
    ::close(client);
    ::close(server);
    QVERIFY(m_desk.closeCapturer(capturer, window));
}

void CapturerCases::runsOncePerSession() {
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Headset));
    QProcess first;
    const xcb_window_t window = startCapturer(first);
    QVERIFY(window);

    QProcess second;
    QElapsedTimer took;
    took.start();
    QVERIFY(m_desk.startCapturer(second));
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    // At once: it leaves before it would have connected to the display.
    QVERIFY2(took.elapsed() < 1000, qPrintable(QString::number(took.elapsed())));
    QCOMPARE(m_desk.capturerWindows().size(), size_t(1));
    QCOMPARE(first.state(), QProcess::Running);

    QVERIFY(m_desk.closeCapturer(first, window));
    // Its lock goes with it: a capturer started now runs.
    QProcess third;
    const xcb_window_t again = startCapturer(third);
    QVERIFY(again);
    QVERIFY(m_desk.closeCapturer(third, again));
}

void CapturerCases::outlivesTheHeadsetDisplay() {
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Headset));
    m_pattern = m_desk.showPattern(m_desk.outputRect("DUMMY1"), pattern(), patternColumns);
    QProcess capturer;
    const xcb_window_t window = startCapturer(capturer);
    QVERIFY(window);
    QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window)), kShownWithinMs);

    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Off));
    QTRY_VERIFY_WITH_TIMEOUT(showsSentence(windowImage(window)), kShownWithinMs);
    testsupport::WindowPinger pinger(window);
    QVERIFY(pinger.isValid());
    QVERIFY(pinger.ping());
    QCOMPARE(capturer.state(), QProcess::Running);

    // And it picks the display up again when it comes back.
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Headset));
    // Drawn anew, and turned: the dummy Xorg keeps its framebuffer's memory as the screen shrinks
    // and grows, laid out at each new width, so until the toolkit repaints on the exposure the
    // mirror's window can hold the picture it showed before the display left. The same picture
    // again would pass for a mirror that never followed.
    m_desk.destroy(m_pattern);
    m_pattern = m_desk.showPattern(m_desk.outputRect("DUMMY1"), pattern(1), patternColumns);
    QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window), 1), kShownWithinMs);
    QVERIFY(m_desk.closeCapturer(capturer, window));
}

// The picture moves in a corner of the headset's display, away from where the mirror's window goes
// on a desktop that is all headset. Unseen, the mirror reads nothing, and seen again it shows the
// picture as it is then. On a desktop that is all headset, its own painting is no change: a still
// picture costs nothing, and a moving one is painted no more often than it moves.
void CapturerCases::costsOnlyWhatIsSeen_data() {
    QTest::addColumn<bool>("allHeadset");
    QTest::addColumn<Sight>("sight");
    QTest::addColumn<int>("changesPerSecond");
    // Bounds in % of a core over the measurement, and of the window's paints; -1: not checked.
    QTest::addColumn<double>("capturerCpu");
    QTest::addColumn<double>("serverCpu");
    QTest::addColumn<int>("paints");

    QTest::newRow("unmapped, moving") << false << Sight::Unmapped << 60 << 0.5 << 4.0 << -1;
    QTest::newRow("minimised, moving") << false << Sight::Minimised << 60 << 0.5 << 4.0 << -1;
    QTest::newRow("all headset, still") << true << Sight::Shown << 0 << 1.0 << 2.0 << 2;
    // Each change painted once at most, with some room for one drawn in two rectangles.
    QTest::newRow("all headset, moving") << true << Sight::Shown << 20 << -1.0 << -1.0 << 90;
}

void CapturerCases::costsOnlyWhatIsSeen() {
    QFETCH(bool, allHeadset);
    QFETCH(Sight, sight);
    QFETCH(int, changesPerSecond);
    QFETCH(double, capturerCpu);
    QFETCH(double, serverCpu);
    QFETCH(int, paints);

    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Headset));
    if (allHeadset) {
        QVERIFY(HeadsetDesk::run(
            "xrandr", {"--output", "DUMMY0", "--off", "--output", "DUMMY1", "--pos", "0x0"}));
    }
    const QRect headset = m_desk.outputRect("DUMMY1");
    QCOMPARE(headset.size(), headsetSize);
    m_pattern = m_desk.showPattern(headset, pattern(), patternColumns);
    const QRect corner(0, 0, 400, 200);
    QProcess capturer;
    const xcb_window_t window = startCapturer(capturer);
    QVERIFY(window);
    const QRect geometry = m_desk.client().rootGeometry(window);
    QCOMPARE(geometry.intersects(headset), allHeadset);
    QVERIFY(!geometry.intersects(corner.translated(headset.topLeft())));
    const QRect probe(geometry.topLeft() + mirrored(corner.center(), geometry.size()), QSize(1, 1));
    QTRY_VERIFY_WITH_TIMEOUT(closeTo(m_desk.grab(probe).pixel(0, 0), colours[0], 24),
                             kShownWithinMs);

    testsupport::XcbConnection &x = m_desk.x();
    if (sight == Sight::Minimised)
        QVERIFY(m_desk.client().iconifyAsWindowManager(window));
    if (sight == Sight::Unmapped) {
        xcb_unmap_window(x.get(), window);
        QVERIFY(x.sync());
    }
    QVERIFY(m_desk.client().isViewable(window) == (sight == Sight::Shown));
    // Settled: the picture drawn and the window's state taken in.
    QTest::qWait(500);

    PaintCount painted(window);
    const qint64 server = fromoutside::xServerPid();
    QVERIFY(server);
    const double capturerBefore = fromoutside::cpuSeconds(capturer.processId());
    const double serverBefore = fromoutside::cpuSeconds(server);
    QElapsedTimer measuring;
    measuring.start();
    int changes = 0;
    while (measuring.elapsed() < 3000) {
        if (changesPerSecond > 0 && measuring.elapsed() >= changes * 1000 / changesPerSecond) {
            m_desk.fill(m_pattern, corner, QColor::fromHsv(changes * 67 % 360, 255, 255));
            x.sync();
            ++changes;
        }
        QThread::msleep(2);
    }
    const double seconds = double(measuring.elapsed()) / 1000.0;
    const double capturerUsed =
        100 * (fromoutside::cpuSeconds(capturer.processId()) - capturerBefore) / seconds;
    const double serverUsed = 100 * (fromoutside::cpuSeconds(server) - serverBefore) / seconds;
    const int paintCount = painted.take();
    qInfo("%d changes in %.1f s: capturer %.1f %% of a core, X server %.1f %%, %d paints", changes,
          seconds, capturerUsed, serverUsed, paintCount);
    if (capturerCpu >= 0)
        QVERIFY2(capturerUsed < capturerCpu, qPrintable(QString::number(capturerUsed)));
    if (serverCpu >= 0)
        QVERIFY2(serverUsed < serverCpu, qPrintable(QString::number(serverUsed)));
    if (paints >= 0)
        QVERIFY2(paintCount <= paints, qPrintable(QString::number(paintCount)));

    // The picture as it is now, once the window shows again.
    const QColor now(Qt::white);
    m_desk.fill(m_pattern, corner, now);
    QVERIFY(x.sync());
    if (sight == Sight::Minimised)
        QVERIFY(fromoutside::restoreAsWindowManager(x, window));
    xcb_map_window(x.get(), window);
    QVERIFY(x.sync());
    QElapsedTimer showing;
    showing.start();
    QTRY_VERIFY_WITH_TIMEOUT(closeTo(m_desk.grab(probe).pixel(0, 0), now, 24), kShownWithinMs);
    qInfo("the picture of now shown %lld ms after the window", showing.elapsed());
    QVERIFY(m_desk.closeCapturer(capturer, window));
}

// What the capturer on Windows does after each event, "dup" or "copy", with the next try of a
// duplication in milliseconds: wine refuses every duplication, so the turns the suite cannot
// reach there are told here. "fail" is a duplication refused or stopped, "made" one made,
// "answer" one that answered.
void CapturerCases::windowsCopiesWhileItCannotDuplicate() {
    struct Row {
        const char *name;
        const char *events;
        const char *ways;
    };
    const Row rows[] = {
        {"the headset's output refused from the start, tried ever less often",
         "fail fail fail fail fail", "copy+1000 copy+2000 copy+4000 copy+8000 copy+8000"},
        {"refused, then made: copying goes on until it answers", "fail made answer",
         "copy+1000 dup dup"},
        {"made but failing at once: the pace of tries keeps slowing", "fail made fail made fail",
         "copy+1000 dup copy+2000 dup copy+4000"},
        {"lost once after it worked: made again without copying", "made answer fail made answer",
         "dup dup dup+500 dup dup"},
        {"lost and refused after it worked: copying", "made answer fail fail",
         "dup dup dup+500 copy+1000"},
        {"keeps failing after it worked: copying", "made answer fail made fail",
         "dup dup dup+500 dup copy+1000"},
        {"back to duplication after copying: a later loss is tried soon again",
         "fail fail made answer fail fail", "copy+1000 copy+2000 dup dup dup+500 copy+1000"},
    };
    for (const Row &row : rows) {
        DuplicationFallback choice;
        choice.begin();
        QStringList ways;
        for (const QString &event : QString::fromLatin1(row.events).split(QLatin1Char(' '))) {
            if (event == QLatin1String("fail"))
                choice.failed();
            else if (event == QLatin1String("made"))
                choice.made();
            else
                choice.working();
            const bool copying = choice.way() == DuplicationFallback::Way::Copying;
            QString way = QLatin1String(copying ? "copy" : "dup");
            if (choice.retryMs() > 0)
                way += QStringLiteral("+%1").arg(choice.retryMs());
            ways << way;
        }
        QVERIFY2(ways.join(QLatin1Char(' ')) == QLatin1String(row.ways),
                 qPrintable(QStringLiteral("%1: %2").arg(row.name, ways.join(QLatin1Char(' ')))));
    }
}

// A portrait display is duplicated as its panel scans out, in landscape: a rectangle of the
// desktop lies elsewhere in the image, and the pixels copied have to be turned. The image's corner
// that shows at the desktop's top left tells the direction of each turn.
void CapturerCases::windowsTurnsATurnedOutputUpright() {
    using Turn = OutputRotation::Turn;
    struct Row {
        const char *name;
        Turn turn;
        QSize upright;
        QRect onDesktop;
        QRect inImage;
        Qt::Corner topLeftFrom;
    };
    const Row rows[] = {
        {"identity",
         Turn::None,
         {1920, 1080},
         {100, 200, 300, 400},
         {100, 200, 300, 400},
         Qt::TopLeftCorner},
        {"rotate90",
         Turn::Quarter,
         {1080, 1920},
         {100, 200, 300, 400},
         {200, 680, 400, 300},
         Qt::BottomLeftCorner},
        {"rotate180",
         Turn::Half,
         {1920, 1080},
         {100, 200, 300, 400},
         {1520, 480, 300, 400},
         Qt::BottomRightCorner},
        {"rotate270",
         Turn::ThreeQuarters,
         {1080, 1920},
         {100, 200, 300, 400},
         {1320, 100, 400, 300},
         Qt::TopRightCorner},
    };
    for (const Row &row : rows) {
        const OutputRotation rotation(row.turn, row.upright);
        QVERIFY2(rotation.imageSize() == QSize(1920, 1080), row.name);
        QVERIFY2(rotation.toImage(row.onDesktop) == row.inImage, row.name);
        QVERIFY2(rotation.toUpright(row.inImage) == row.onDesktop, row.name);

        // Each pixel of a small image of the same turn carries its own place; the part copied
        // leaves the rest of the picture alone.
        const OutputRotation small(row.turn, row.upright / 120);
        QImage image(small.imageSize(), QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(x, y, 0));
        }
        QImage upright(row.upright / 120, QImage::Format_RGB32);
        upright.fill(Qt::white);
        const QRect part(0, 0, 5, 4);
        small.copyUpright(image, part, upright);
        const QPoint corner(
            (row.topLeftFrom == Qt::TopRightCorner || row.topLeftFrom == Qt::BottomRightCorner) *
                (image.width() - 1),
            (row.topLeftFrom == Qt::BottomLeftCorner || row.topLeftFrom == Qt::BottomRightCorner) *
                (image.height() - 1));
        QVERIFY2(upright.pixel(0, 0) == image.pixel(corner), row.name);
        for (int y = 0; y < upright.height(); ++y) {
            for (int x = 0; x < upright.width(); ++x) {
                const QRgb expected = part.contains(x, y)
                                          ? image.pixel(small.toImage(QRect(x, y, 1, 1)).topLeft())
                                          : qRgb(255, 255, 255);
                QVERIFY2(upright.pixel(x, y) == expected,
                         qPrintable(QStringLiteral("%1 at %2, %3").arg(row.name).arg(x).arg(y)));
            }
        }
    }
}

QTEST_GUILESS_MAIN(CapturerCases)
#include "tst_capturer.moc"
