// The built demo as the utility starts it, on a dummy Xorg whose second output carries a real
// headset's or monitor's EDID: where its window lands, what it draws, and when it ends.
#include "X11Client.h"
#include "XcbConnection.h"

#include <QProcess>
#include <QtTest>

#include <set>

namespace {

constexpr xcb_keysym_t escapeKey = 0xff1b; // XK_Escape
const QRect dummy0(0, 0, 1024, 768);
const QRect dummy1(1024, 0, 1920, 1080);
const QString headsetEdid = QStringLiteral("headsets/valve-index.hex");
const QString monitorEdid = QStringLiteral("monitors/dell-e2219hn.hex");

// Colours of one half of a 32-bit image, as many as it takes to tell a drawing from a fill.
std::set<uint32_t> coloursOf(const uint32_t *pixels, int stride, int x0, int width, int height) {
    std::set<uint32_t> colours;
    for (int y = 0; y < height && colours.size() < 64; y += 4)
        for (int x = x0; x < x0 + width; x += 4)
            colours.insert(pixels[y * stride + x] & 0xffffff);
    return colours;
}

} // namespace

class DemoProcess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void placement_data();
    void placement();
    void ending_data();
    void ending();

private:
    void setDummy1(const QString &edid);
    xcb_window_t start(const QString &arguments, const QString &scale = QString());
    void verifyStereoPicture(const QRect &rect);

    testsupport::X11Client m_x;
    QProcess m_demo;
};

void DemoProcess::initTestCase() {
    QVERIFY(m_x.isConnected());
    QCOMPARE(
        QProcess::execute("xrandr", {"--newmode", "1920x1080_60", "148.50", "1920", "2008", "2052",
                                     "2200", "1080", "1084", "1089", "1125", "+hsync", "+vsync"}),
        0);
    QCOMPARE(QProcess::execute("xrandr", {"--addmode", "DUMMY1", "1920x1080_60"}), 0);
}

void DemoProcess::cleanup() {
    if (m_demo.state() != QProcess::NotRunning) {
        m_demo.kill();
        m_demo.waitForFinished();
    }
    setDummy1(QString());
}

// An empty `edid` switches DUMMY1 off and takes its EDID away.
void DemoProcess::setDummy1(const QString &edid) {
    if (edid.isEmpty()) {
        QCOMPARE(QProcess::execute("xrandr", {"--output", "DUMMY1", "--off"}), 0);
        QCOMPARE(QProcess::execute(HLX_SET_OUTPUT_EDID, {"DUMMY1"}), 0);
        return;
    }
    // The EDID goes on after the mode: the dummy driver forgets it while the output is off.
    QCOMPARE(QProcess::execute("xrandr", {"--output", "DUMMY1", "--mode", "1920x1080_60",
                                          "--right-of", "DUMMY0"}),
             0);
    QCOMPARE(QProcess::execute(HLX_SET_OUTPUT_EDID, {"DUMMY1", HLX_EDID_DIR "/" + edid}), 0);
}

// `scale`: Qt's own scaling of the demo's screens, as a desktop at high DPI sets it.
xcb_window_t DemoProcess::start(const QString &arguments, const QString &scale) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", scale.isEmpty() ? "1" : scale);
    m_demo.setProcessEnvironment(environment);
    m_demo.start(LUMESHOW_PATH, arguments.split(' ', Qt::SkipEmptyParts));
    if (!m_demo.waitForStarted())
        return XCB_NONE;
    xcb_window_t window = XCB_NONE;
    const bool shown = QTest::qWaitFor([&] {
        for (xcb_window_t candidate : m_x.findTopLevels("Lumeshow", QString())) {
            if (m_x.isViewable(candidate))
                window = candidate;
        }
        return window != XCB_NONE;
    });
    return shown ? window : XCB_NONE;
}

// Each eye sees the scene from its own place, so the halves differ; and each holds a picture,
// not a fill.
void DemoProcess::verifyStereoPicture(const QRect &rect) {
    testsupport::XcbConnection x;
    QVERIFY(x.isValid());
    const int half = rect.width() / 2;
    bool drawn = false;
    QString seen;
    // The first frames may still be on their way to the server.
    for (int attempt = 0; attempt < 20 && !drawn; ++attempt, QTest::qWait(100)) {
        const auto image = x.reply(
            xcb_get_image_reply,
            xcb_get_image(x.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), int16_t(rect.x()),
                          int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height()), ~0u));
        QVERIFY(image);
        QCOMPARE(xcb_get_image_data_length(image.get()), rect.width() * rect.height() * 4);
        const auto *pixels = reinterpret_cast<const uint32_t *>(xcb_get_image_data(image.get()));
        const std::set<uint32_t> left = coloursOf(pixels, rect.width(), 0, half, rect.height());
        const std::set<uint32_t> right = coloursOf(pixels, rect.width(), half, half, rect.height());
        int differing = 0;
        for (int y = 0; y < rect.height(); y += 2)
            for (int x0 = 0; x0 < half; x0 += 2)
                differing += pixels[y * rect.width() + x0] != pixels[y * rect.width() + half + x0];
        seen = QStringLiteral("%1 and %2 colours, %3 pixels differ")
                   .arg(left.size())
                   .arg(right.size())
                   .arg(differing);
        drawn = left.size() >= 32 && right.size() >= 32 && differing > half * rect.height() / 400;
    }
    QVERIFY2(drawn, qPrintable(seen));
}

void DemoProcess::placement_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("edid"); // DUMMY1's; empty leaves it off
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QRect>("expected");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("said"); // on standard error; empty: nothing at all

    const QString utility("-screen-fullscreen 1 -screen-height 1080 -screen-width 1920 -adapter ");
    const QString windowed("-screen-fullscreen 0 -screen-width 800 -screen-height 600");
    const QString none;
    const QString index("Lumeshow — VLV 91a8");
    QTest::newRow("headset covers its display, whatever -adapter says")
        << utility + "0" << headsetEdid << none << dummy1 << index << none;
    QTest::newRow("headset under Qt's scaling covers it to the pixel")
        << utility + "1" << headsetEdid << "1.5" << dummy1 << index << none;
    QTest::newRow("headset, windowed, centred on it")
        << windowed << headsetEdid << none << QRect(1024 + 560, 240, 800, 600) << index << none;
    QTest::newRow("monitor, -adapter 1")
        << utility + "1" << monitorEdid << none << dummy1 << "Lumeshow — DUMMY1" << none;
    QTest::newRow("monitor, -adapter 0")
        << utility + "0" << monitorEdid << none << dummy0 << "Lumeshow — DUMMY0" << none;
    QTest::newRow("-adapter beyond the last: a window on the primary")
        << "-screen-width 800 -screen-height 600 -adapter 7" << none << none
        << QRect(112, 84, 800, 600) << "Lumeshow — DUMMY0"
        << "no display 7";
    QTest::newRow("window larger than its display")
        << "-screen-fullscreen 0 -screen-width 3000 -screen-height 2000" << none << none << dummy0
        << "Lumeshow — DUMMY0" << none;
    QTest::newRow("bad width told, display still chosen")
        << "-screen-width abc -adapter 1" << monitorEdid << none << dummy1 << "Lumeshow — DUMMY1"
        << "-screen-width";
}

void DemoProcess::placement() {
    QFETCH(QString, arguments);
    QFETCH(QString, edid);
    QFETCH(QRect, expected);
    QFETCH(QString, said);
    QFETCH(QString, scale);
    setDummy1(edid);
    if (QTest::currentTestFailed())
        return;
    const xcb_window_t window = start(arguments, scale);
    QVERIFY(window != XCB_NONE);
    QCOMPARE(m_x.rootGeometry(window), expected);
    QTEST(m_x.title(window), "title");
    verifyStereoPicture(expected);

    m_demo.kill();
    m_demo.waitForFinished();
    const QStringList lines = QString::fromLocal8Bit(m_demo.readAllStandardError())
                                  .split('\n')
                                  .filter(QRegularExpression("^Lumeshow: "));
    QCOMPARE(lines.size(), said.isEmpty() ? 0 : 1);
    if (!said.isEmpty())
        QVERIFY2(lines.first().contains(said), qPrintable(lines.first()));
}

void DemoProcess::ending_data() {
    QTest::addColumn<QString>("edid");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<bool>("switchOff"); // DUMMY1; else Esc is pressed
    QTest::addColumn<bool>("ends");

    QTest::newRow("headset display switched off") << headsetEdid << "-adapter 0" << true << true;
    QTest::newRow("-adapter display switched off") << monitorEdid << "-adapter 1" << true << true;
    QTest::newRow("another display switched off") << monitorEdid << "-adapter 0" << true << false;
    QTest::newRow("Esc") << headsetEdid << "" << false << true;
}

void DemoProcess::ending() {
    QFETCH(QString, edid);
    QFETCH(QString, arguments);
    QFETCH(bool, switchOff);
    QFETCH(bool, ends);
    setDummy1(edid);
    if (QTest::currentTestFailed())
        return;
    const xcb_window_t window = start(arguments);
    QVERIFY(window != XCB_NONE);
    if (switchOff) {
        QCOMPARE(QProcess::execute("xrandr", {"--output", "DUMMY1", "--off"}), 0);
    } else {
        // No window manager hands out the focus here.
        QVERIFY(m_x.setInputFocus(window));
        QVERIFY(m_x.pressKey(escapeKey));
    }
    QCOMPARE(m_demo.waitForFinished(2000), ends);
    if (ends) {
        QCOMPARE(m_demo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_demo.exitCode(), 0);
    } else {
        QVERIFY(m_x.isViewable(window));
    }
}

QTEST_GUILESS_MAIN(DemoProcess)
#include "tst_demoprocess.moc"
