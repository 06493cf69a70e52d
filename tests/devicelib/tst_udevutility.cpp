#include "EdidSample.h"
#include "HeadsetTestbed.h"
#include "ScreenReader.h"
#include "UtilityProcess.h"
#include "X11Client.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kBothReady = QStringLiteral("both HDMI and USB are ready");
const QString kDisplayOnly = QStringLiteral("HDMI is ready and USB is not ready");

// Where the form puts the status text, below the picture.
constexpr int kStatusTop = 320;
constexpr int kStatusBottom = 395;

// Real headsets: their displays' EDIDs from a public database, their USB ids as they report them.
std::vector<uint8_t> realEdid(const char *file) {
    return EdidSample::fromHexFile(std::string(HLX_EDID_DIR "/headsets/") + file);
}

} // namespace

// The built utility with the udev device library instead of the stand-in, under a umockdev
// testbed that plays the kernel, read from outside as a screen reader and a camera read it.
class UdevUtilityTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(qgetenv("LD_PRELOAD").contains("umockdev"), "run under umockdev-wrapper");
        testbed.reset(new HeadsetTestbed);
        QVERIFY(QDir(configHome.path()).mkpath("hlx-config"));
        QFile ids(configHome.filePath("hlx-config/hmd-ids"));
        QVERIFY(ids.open(QIODevice::WriteOnly));
        ids.write("1d6b:0107\n");
        ids.close();
        QVERIFY2(reader.start(), qPrintable(reader.errorString()));
    }

    void init() {
        scratch.reset(new QTemporaryDir);
        QVERIFY(scratch->isValid());
    }

    void cleanup() { testbed->clear(); }

    void plugTurnsGreenAndUsbRemovalRed() {
        const std::string connector =
            testbed->addConnector(testbed->addCard("card0"), "card0-HDMI-A-1");
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY2(reader.waitForWindowLabel("No VR HMD"), qPrintable(statusText()));

        // An HTC Vive Pro 2, which says it is worn only in its DisplayID extension.
        testbed->setConnector(connector, true, realEdid("htc-vive-pro-2.hex"));
        const std::string usb = testbed->plugUsb(0x0bb4, 0x0342, 3);
        QVERIFY2(reader.waitForWindowLabel(kBothReady), qPrintable(statusText()));
        QVERIFY(QTest::qWaitFor([&] { return statusColours(window) == qMakePair(1, 0); }));

        testbed->unplugUsb(usb);
        QVERIFY2(reader.waitForWindowLabel(kDisplayOnly), qPrintable(statusText()));
        QVERIFY(QTest::qWaitFor([&] { return statusColours(window) == qMakePair(0, 1); }));
        QVERIFY(utility.isRunning());
    }

    void headsetPluggedBeforeStartShowsAtOnce() {
        // A Valve Index with its controllers' radio and a controller on USB.
        testbed->setConnector(testbed->addConnector(testbed->addCard("card0"), "card0-DP-1"), true,
                              realEdid("valve-index.hex"));
        testbed->plugUsb(0x28de, 0x2613);
        testbed->plugUsb(0x28de, 0x2102);
        testbed->plugUsb(0x28de, 0x2300);
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY2(reader.waitForWindowLabel(kBothReady), qPrintable(statusText()));
        QVERIFY(QTest::qWaitFor([&] { return statusColours(window) == qMakePair(1, 0); }));
    }

private:
    xcb_window_t start(UtilityProcess &utility) {
        utility.setWorkingDirectory(scratch->path());
        utility.setEnvironment("LD_LIBRARY_PATH", HLX_UDEV_LIBRARY_DIR);
        utility.setEnvironment("XDG_CONFIG_HOME", configHome.path());
        utility.start();
        return utility.waitForShownWindow(x);
    }

    QString statusText() { return reader.windowLabels().join(" | "); }

    // Whether the status text is drawn in pure green, and whether in pure red.
    QPair<int, int> statusColours(xcb_window_t window) {
        const QRect frame = x.rootGeometry(window);
        const QImage shot = QGuiApplication::primaryScreen()
                                ->grabWindow(0, frame.x(), frame.y() + kStatusTop, frame.width(),
                                             kStatusBottom - kStatusTop)
                                .toImage();
        bool green = false;
        bool red = false;
        for (int yy = 0; yy < shot.height(); ++yy) {
            for (int xx = 0; xx < shot.width(); ++xx) {
                const QRgb pixel = shot.pixel(xx, yy) & 0xffffff;
                green = green || pixel == 0x00ff00;
                red = red || pixel == 0xff0000;
            }
        }
        return qMakePair(int(green), int(red));
    }

    QScopedPointer<HeadsetTestbed> testbed;
    QTemporaryDir configHome;
    QScopedPointer<QTemporaryDir> scratch;
    ScreenReader reader;
    testsupport::X11Client x;
};

QTEST_MAIN(UdevUtilityTest)
#include "tst_udevutility.moc"
