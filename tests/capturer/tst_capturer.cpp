// Pictor as a process on the dummy Xorg: where its window goes, what it shows for each state of
// the second display, and how it behaves when started twice or when the headset's display leaves.
#include "HeadsetDesk.h"
#include "WindowPinger.h"

#include <QElapsedTimer>
#include <QtTest>

Q_DECLARE_METATYPE(HeadsetDesk::Dummy1)

namespace {

const QVector<QColor> colours = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta, Qt::cyan};
constexpr int patternColumns = 3;

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

} // namespace

class CapturerCases : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void mirrorsTheHeadsetOrSaysWhy_data();
    void mirrorsTheHeadsetOrSaysWhy();
    void runsOncePerSession();
    void outlivesTheHeadsetDisplay();

private:
    // Started and found, with its mark naming it.
    xcb_window_t startCapturer(QProcess &process);
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
    if (m_pattern)
        m_desk.destroy(m_pattern);
    m_pattern = 0;
}

xcb_window_t CapturerCases::startCapturer(QProcess &process) {
    if (!m_desk.startCapturer(process))
        return 0;
    const xcb_window_t window = m_desk.waitForCapturerWindow();
    if (window && m_desk.markOf(window) != process.processId())
        return 0;
    return window;
}

void CapturerCases::mirrorsTheHeadsetOrSaysWhy_data() {
    QTest::addColumn<HeadsetDesk::Dummy1>("dummy1");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("mirrors");

    const QString headsetTitle = QStringLiteral("Pictor — VLV 91a8");
    QTest::newRow("headset on DUMMY1") << HeadsetDesk::Dummy1::Headset << headsetTitle << true;
    QTest::newRow("monitor on DUMMY1") << HeadsetDesk::Dummy1::Monitor << "Pictor" << false;
    QTest::newRow("headset, DUMMY1 off") << HeadsetDesk::Dummy1::Off << headsetTitle << false;
    QTest::newRow("headset, DUMMY1 non-desktop")
        << HeadsetDesk::Dummy1::NonDesktop << headsetTitle << false;
}

void CapturerCases::mirrorsTheHeadsetOrSaysWhy() {
    QFETCH(HeadsetDesk::Dummy1, dummy1);
    QFETCH(QString, title);
    QFETCH(bool, mirrors);

    QVERIFY(m_desk.setDummy1(dummy1));
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
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window)), 5000);
        // Followed as it changes, and into another shape of window: bands above and below, or
        // beside, with the picture centred between them.
        m_desk.destroy(m_pattern);
        m_pattern = m_desk.showPattern(headset, pattern(1), patternColumns);
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window), 1), 5000);
        m_desk.resize(window, QSize(480, 400));
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window), 1), 5000);
        m_desk.resize(window, QSize(700, 200));
        QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window), 1), 5000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(showsSentence(windowImage(window)), 5000);
    }
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
    QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window)), 5000);

    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Off));
    QTRY_VERIFY_WITH_TIMEOUT(showsSentence(windowImage(window)), 5000);
    testsupport::WindowPinger pinger(window);
    QVERIFY(pinger.isValid());
    QVERIFY(pinger.ping());
    QCOMPARE(capturer.state(), QProcess::Running);

    // And it picks the display up again when it comes back.
    QVERIFY(m_desk.setDummy1(HeadsetDesk::Dummy1::Headset));
    // Drawn anew: nothing keeps what a window showed while it was off the root.
    m_desk.destroy(m_pattern);
    m_pattern = m_desk.showPattern(m_desk.outputRect("DUMMY1"), pattern(), patternColumns);
    QTRY_VERIFY_WITH_TIMEOUT(showsPattern(windowImage(window)), 5000);
    QVERIFY(m_desk.closeCapturer(capturer, window));
}

QTEST_GUILESS_MAIN(CapturerCases)
#include "tst_capturer.moc"
