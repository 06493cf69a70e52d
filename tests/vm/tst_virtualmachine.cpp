#include "ProgramRun.h"
#include "VirtualMachine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QString kImageScript = QStringLiteral(HLX_SOURCE_DIR "/tests/vm/guest-image.sh");
// As the utility starts it from the user's folder.
const QString kDemo = QStringLiteral("/usr/lib/hlx-config/demo/Lumeshow.exe -screen-fullscreen 1 "
                                     "-screen-height 1080 -screen-width 1920 -adapter 1");
const QString kAsTester =
    QStringLiteral("setpriv --reuid=tester --regid=tester --init-groups env -i -C /home/tester "
                   "PATH=/usr/bin:/bin HOME=/home/tester USER=tester DISPLAY=:0 "
                   "XDG_RUNTIME_DIR=/run/user/1000 ");
const QString kHeadsets = QStringLiteral("/usr/lib/hlx-config/device/udev/hlx-headsets");
const QString kLibrary = QStringLiteral("/usr/lib/hlx-config/device/udev/libHLX.so");
const QString kHeadsetConnector = QStringLiteral("/sys/class/drm/card0-Virtual-1");

int differingPixels(const QImage &one, const QImage &other) {
    int count = 0;
    for (int y = 0; y < one.height(); ++y) {
        for (int x = 0; x < one.width(); ++x)
            count += one.pixel(x, y) != other.pixel(x, y);
    }
    return count;
}

} // namespace

// The installed packages on Debian's own kernel in QEMU: virtio-gpu with the Index's real EDID
// on its first output and a Dell monitor's on the two others, Xorg on the modesetting driver.
// Every row looks from outside: QEMU's picture of a head, RandR, the kernel's debugfs, and
// what the demo writes to standard error.
class VirtualMachineTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (geteuid() != 0)
            QSKIP("the virtual machine's rows need root (debootstrap, chroot and mkfs of the "
                  "guest's tree); skipped");
        QVERIFY(scratch.isValid());
        const QDir packages(scratch.filePath("packages"));
        QVERIFY(packages.mkpath("."));
        QVERIFY(programSucceeds("cpack", {"--config", HLX_CPACK_CONFIG, "-B", packages.path()},
                                120000));
        QStringList debs;
        for (const QString &name : packages.entryList({"hlx-config_*.deb"}, QDir::Files))
            debs << packages.filePath(name);
        QCOMPARE(debs.size(), 1);

        QElapsedTimer preparing;
        preparing.start();
        QString imageFolder;
        QVERIFY(programSucceeds(kImageScript, debs, 25 * 60000, &imageFolder));
        qInfo("guest image ready in %lld s", preparing.elapsed() / 1000);
        preparing.restart();
        QVERIFY(machine.boot(imageFolder.trimmed()));
        qInfo("booted with %s in %lld s", qPrintable(machine.accelerator()),
              preparing.elapsed() / 1000);
        QVERIFY2(startXorg(), qPrintable(guest("cat /tmp/xorg.log").output));
        monitorsBefore = monitorModes();
        QVERIFY(carryIn(HLX_CLOSE_WINDOW, "close-window"));
        QVERIFY(carryIn(HLX_EYESHIELD_CALL, "eyeshield-call"));
    }

    void init() { clock.start(); }
    void cleanup() {
        guest("pkill -KILL -x Lumeshow.exe; pkill -KILL -x Pictor.exe");
        qInfo("row took %lld ms", clock.elapsed());
    }

    void kernelMarksTheHeadsetNonDesktop() {
        const QString xrandr = guest("DISPLAY=:0 xrandr --props").output;
        QVERIFY2(xrandr.contains(QRegularExpression("^Virtual-1 .*\n\tEDID: *\n(\t.*\n)*"
                                                    "\tnon-desktop: 1",
                                                    QRegularExpression::MultilineOption)),
                 qPrintable(xrandr));
        QCOMPARE(
            monitorsBefore.filter(QRegularExpression("^Virtual-[23] connected 1920x1080")).size(),
            2);
    }

    void headsetsToolBeforeDuringAndAfterTheDemo() {
        // Without the demo: found, kept off the desktop, and free to be leased.
        const auto isFree = [](const QString &told) {
            return told.contains("Headset display: VLV 91a8, not on the desktop") &&
                   told.contains(
                       "Direct mode lease: offered by the X server, and lent to no program");
        };
        const QString before = guest(kAsTester + kHeadsets).output;
        QVERIFY2(isFree(before), qPrintable(before));
        QVERIFY(startDemo());
        const QString during = guest(kAsTester + kHeadsets).output;
        QVERIFY2(during.contains("Direct mode lease: held by the demo"), qPrintable(during));
        // After each wish, its eye-shield line names what the library itself answered it.
        for (const QString wish : {"1", "off"}) {
            const QString answered =
                guest(kAsTester + "/usr/local/bin/eyeshield-call " + kLibrary + " " + wish).output;
            const QString told =
                QRegularExpression("^Eye shield: .*\\(the library answers (-?\\d+)\\)$",
                                   QRegularExpression::MultilineOption)
                    .match(guest(kAsTester + kHeadsets).output)
                    .captured(1);
            qInfo("eye shield %s: the library answered \"%s\", hlx-headsets told %s",
                  qPrintable(wish), qPrintable(answered.trimmed()), qPrintable(told));
            QCOMPARE(answered.trimmed(), "answer " + told);
        }
        QVERIFY(endDemo("kill -TERM"));
        const QString after = guest(kAsTester + kHeadsets).output;
        QVERIFY2(isFree(after), qPrintable(after));
    }

    // Both eyes side by side: the halves show the same scene from eyes 64 mm apart, so they
    // differ a little, and the next picture differs from this one.
    void demoLeasesTheHeadsetAndShowsTwoMovingEyes() {
        QVERIFY(startDemo());
        const QString state = guest("cat /sys/kernel/debug/dri/0/state").output;
        QVERIFY2(state.contains(QRegularExpression("mode: \"2880x1600\": 90 ")), qPrintable(state));
        QVERIFY2(guest("cat /sys/kernel/debug/dri/0/framebuffer").output.contains("Lumeshow"),
                 "no framebuffer of the demo's");
        const QImage first = machine.screen(0);
        QCOMPARE(first.size(), QSize(2880, 1600));
        QTest::qWait(2000);
        const QImage second = machine.screen(0);
        const int pixels = first.width() * first.height();
        QVERIFY2(differingPixels(first, second) > pixels / 1000, "the head shows no motion");
        const QImage left = second.copy(0, 0, 1440, 1600), right = second.copy(1440, 0, 1440, 1600);
        const int between = differingPixels(left, right);
        QVERIFY2(between > 0 && between < pixels / 4,
                 qPrintable(QStringLiteral("halves differ in %1 pixels").arg(between)));
        QVERIFY(endDemo("kill -TERM"));
    }

    void noMonitorChanges() {
        QVERIFY(startDemo());
        QCOMPARE(monitorModes(), monitorsBefore);
        QVERIFY(endDemo("kill -TERM"));
        QCOMPARE(monitorModes(), monitorsBefore);
    }

    void capturerMirrorsInDirectMode() {
        QVERIFY(startDemo());
        QCOMPARE(guest("setsid -f " + kAsTester +
                       "/usr/lib/hlx-config/Pictor/Pictor.exe </dev/null >/tmp/pictor.log 2>&1")
                     .exitCode,
                 0);
        QVERIFY2(
            QTest::qWaitFor(
                [&] {
                    return guest("DISPLAY=:0 xdotool search --name 'in direct mode$'").exitCode ==
                           0;
                },
                30000),
            qPrintable(guest("cat /tmp/pictor.log").output));
        QVERIFY(endDemo("kill -TERM"));
    }

    void leaseComesBackAfterTheDemoEnds_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("said");
        // The small window's title names the headset after the program's name; xdotool's
        // search reads it in the C locale.
        const QString window = "w=$(xdotool search --onlyvisible --name '^Lumeshow ') && ";
        QTest::newRow("Esc") << window + "xdotool windowfocus $w && xdotool key Escape"
                             << "";
        QTest::newRow("closed window") << window + "/usr/local/bin/close-window $w"
                                       << "";
        QTest::newRow("SIGTERM") << "kill -TERM"
                                 << "SIGTERM";
        QTest::newRow("SIGINT") << "kill -INT"
                                << "SIGINT";
        QTest::newRow("SIGHUP") << "kill -HUP"
                                << "SIGHUP";
    }
    void leaseComesBackAfterTheDemoEnds() {
        QFETCH(QString, ending);
        QFETCH(QString, said);
        QVERIFY(startDemo());
        QVERIFY(endDemo(ending));
        const QString log = guest("cat /tmp/demo.log").output;
        QVERIFY(leasable());
        // Its own ending ran: a signal's name, or any reason for a window's ending.
        const QRegularExpressionMatch why =
            QRegularExpression("^Lumeshow: ending: (.*)$", QRegularExpression::MultilineOption)
                .match(log);
        QVERIFY2(why.hasMatch() && why.captured(1).contains(said), qPrintable(log));
    }

    void headsetSwitchedOffEndsTheDemo() {
        const QString connector = "/sys/class/drm/card0-Virtual-1";
        // After `off` the kernel forgets the overridden EDID, and virtio-gpu polls nothing.
        QCOMPARE(
            guest("cat " + connector + "/edid >/sys/kernel/debug/dri/0/Virtual-1/edid_override")
                .exitCode,
            0);
        QVERIFY(startDemo());
        QCOMPARE(
            guest("echo off >" + connector + "/status && echo change >/sys/class/drm/card0/uevent")
                .exitCode,
            0);
        QVERIFY(QTest::qWaitFor([&] { return !demoRuns(); }, 30000));
        const QString log = guest("cat /tmp/demo.log").output;
        QVERIFY2(log.contains("Lumeshow: ending: the headset left Virtual-1"), qPrintable(log));
        QCOMPARE(
            guest("echo on >" + connector + "/status && echo change >/sys/class/drm/card0/uevent")
                .exitCode,
            0);
        QVERIFY(leasable());
    }

    // The installed utility with the real device library: a USB gadget with the Index's ids
    // on dummy_hcd, and the headset's connector switched through sysfs, with the uevent that
    // virtio-gpu, polling nothing, does not send. Each step turns the status sentence in the
    // window's picture green or red, so each link is seen both plugged and unplugged.
    void windowFollowsBothLinksOfTheRealLibrary() {
        QVERIFY(carry(HLX_SOURCE_DIR "/tests/vm/usb-headset", "usb-headset"));
        // After `off` the kernel forgets the overridden EDID.
        QCOMPARE(guest("cat " + kHeadsetConnector +
                       "/edid "
                       ">/sys/kernel/debug/dri/0/Virtual-1/edid_override && "
                       "/usr/local/bin/usb-headset unplug")
                     .exitCode,
                 0);
        QCOMPARE(guest("setsid -f " + kAsTester + "hlx-config </dev/null >/tmp/utility.log 2>&1")
                     .exitCode,
                 0);
        const auto endUtility = qScopeGuard([&] { guest("pkill -x hlx-config"); });
        QPoint window;
        QVERIFY2(QTest::qWaitFor([&] { return utilityWindow(&window); }, 60000),
                 qPrintable(guest("cat /tmp/utility.log").output));
        QVERIFY(QTest::qWaitFor([&] { return statusColour(window) == Qt::red; }, 30000));

        const struct {
            const char *name;
            QString command;
            Qt::GlobalColor colour;
        } steps[] = {
            {"USB plugged", "/usr/local/bin/usb-headset plug", Qt::green},
            {"display unplugged", "echo off >" + kHeadsetConnector + "/status", Qt::red},
            {"display plugged", "echo on >" + kHeadsetConnector + "/status", Qt::green},
            {"USB unplugged", "/usr/local/bin/usb-headset unplug", Qt::red},
        };
        for (const auto &step : steps) {
            QElapsedTimer sinceWrite;
            sinceWrite.start();
            QCOMPARE(guest(step.command + " && echo change >/sys/class/drm/card0/uevent").exitCode,
                     0);
            QVERIFY2(QTest::qWaitFor([&] { return statusColour(window) == step.colour; }, 15000),
                     step.name);
            qInfo("%s: the window followed after %lld ms", step.name, sinceWrite.elapsed());
        }
    }

    // sway on seatd with Xwayland, whose outputs are XWAYLAND0 to 2: the headset's has
    // non-desktop and the kernel's CONNECTOR_ID but no EDID, and only sway can lease it.
    void headsetUnderSwayIsFoundAndLeasedThroughXwayland() {
        QVERIFY(carry(HLX_SOURCE_DIR "/tests/vm/sway-session", "sway-session"));
        guest("pkill -x Xorg");
        QVERIFY(QTest::qWaitFor([&] { return guest("pgrep -x Xorg").exitCode != 0; }, 30000));
        QCOMPARE(guest("/usr/local/bin/sway-session").exitCode, 0);
        const auto restoreXorg = qScopeGuard([&] {
            guest("pkill -KILL -x Lumeshow.exe; pkill -x sway; pkill -x seatd");
            if (!QTest::qWaitFor([&] { return guest("pgrep -x sway").exitCode != 0; }, 30000) ||
                !startXorg())
                qWarning("Xorg did not come back after sway");
        });
        QVERIFY2(QTest::qWaitFor(
                     [&] { return guest(kAsTester + "xrandr >/dev/null").exitCode == 0; }, 60000),
                 qPrintable(guest("cat /tmp/sway.log").output));
        // The demo's window is looked for as root, as under Xorg; Xwayland lets in its user only.
        QCOMPARE(guest(kAsTester + "xhost +si:localuser:root").exitCode, 0);
        const QString xrandr = guest(kAsTester + "xrandr --props").output;
        QVERIFY2(xrandr.contains(QRegularExpression("^XWAYLAND\\d .*\n\tCONNECTOR_ID: \\d+ *\n"
                                                    "(\t.*\n)*\tnon-desktop: 1",
                                                    QRegularExpression::MultilineOption)),
                 qPrintable(xrandr));

        const QString headsets = guest(kAsTester + kHeadsets).output;
        QVERIFY2(headsets.contains("Headset display: VLV 91a8"), qPrintable(headsets));

        const QString desktopBefore = xwaylandMonitors();
        QVERIFY(startDemo());
        QImage first;
        QVERIFY(QTest::qWaitFor(
            [&] { return (first = machine.screen(0)).size() == QSize(2880, 1600); }, 30000));
        QTest::qWait(2000);
        QVERIFY2(differingPixels(first, machine.screen(0)) > first.width() * first.height() / 1000,
                 "the headset's head shows no motion");
        // The demo's scene never stands still, while its window that tells how to end it does.
        QVERIFY(QTest::qWaitFor([&] { return monitorsStandStill(); }, 30000));
        const QString window = guest(kAsTester + "xdotool search --onlyvisible --name '^Lumeshow' "
                                                 "getwindowgeometry --shell")
                                   .output;
        const QRegularExpressionMatch size =
            QRegularExpression("^WIDTH=(\\d+)\nHEIGHT=(\\d+)$", QRegularExpression::MultilineOption)
                .match(window);
        QVERIFY2(size.hasMatch(), qPrintable(window));
        QVERIFY2(size.captured(1).toInt() <= 1920 * 2 / 3 &&
                     size.captured(2).toInt() <= 1080 * 2 / 3,
                 qPrintable(window));
        QCOMPARE(xwaylandMonitors(), desktopBefore);
        QVERIFY(endDemo("kill -TERM"));
    }

private:
    VirtualMachine::Answer guest(const QString &command, int timeoutMs = 60000) {
        return machine.run(command, timeoutMs);
    }

    bool startXorg() {
        return guest("setsid -f Xorg :0 -ac -nolisten tcp -noreset vt1 </dev/null "
                     ">/tmp/xorg.log 2>&1")
                       .exitCode == 0 &&
               QTest::qWaitFor([&] { return guest("DISPLAY=:0 xrandr >/dev/null").exitCode == 0; },
                               60000);
    }

    // A file of the host's as a program on the guest's PATH.
    bool carry(const QString &hostFile, const QString &name) {
        QFile file(hostFile);
        return file.open(QIODevice::ReadOnly) &&
               guest("echo " + file.readAll().toBase64() + " | base64 -d >/usr/local/bin/" + name +
                     " && chmod +x /usr/local/bin/" + name)
                       .exitCode == 0;
    }

    // Where the utility's window lies on the first monitor, which shows the desktop's origin.
    bool utilityWindow(QPoint *origin) {
        const QString geometry = guest("DISPLAY=:0 xdotool search --onlyvisible --name "
                                       "'^HLX_Configuration_Utility$' getwindowgeometry --shell")
                                     .output;
        const QRegularExpressionMatch at =
            QRegularExpression("^X=(\\d+)\nY=(\\d+)$", QRegularExpression::MultilineOption)
                .match(geometry);
        if (at.hasMatch())
            *origin = QPoint(at.captured(1).toInt(), at.captured(2).toInt());
        return at.hasMatch();
    }

    // The status sentence's ink, below the window's picture: pure green or pure red.
    Qt::GlobalColor statusColour(QPoint window) {
        const QImage head = machine.screen(1).convertToFormat(QImage::Format_RGB32);
        bool green = false, red = false;
        for (int y = window.y() + 320; y < qMin(window.y() + 395, head.height()); ++y) {
            for (int x = window.x(); x < qMin(window.x() + 400, head.width()); ++x) {
                green = green || (head.pixel(x, y) & 0xffffff) == 0x00ff00;
                red = red || (head.pixel(x, y) & 0xffffff) == 0xff0000;
            }
        }
        return green == red ? Qt::transparent : green ? Qt::green : Qt::red;
    }

    bool demoRuns() { return guest("pgrep -x Lumeshow.exe").exitCode == 0; }

    // Started as the utility starts it, and holding the headset once a framebuffer of its own is
    // scanned out and its small window shows.
    bool startDemo() {
        guest("rm -f /tmp/demo.log");
        if (guest("setsid -f " + kAsTester + kDemo + " </dev/null >/tmp/demo.log 2>&1").exitCode !=
            0)
            return false;
        const bool holds = QTest::qWaitFor(
            [&] {
                return guest("grep -q 'allocated by = Lumeshow' /sys/kernel/debug/dri/0/state && "
                             "DISPLAY=:0 xdotool search --onlyvisible --name '^Lumeshow '")
                               .exitCode == 0 ||
                       !demoRuns();
            },
            60000);
        if (!holds || !demoRuns()) {
            qWarning("demo: %s", qPrintable(guest("cat /tmp/demo.log").output));
            return false;
        }
        return true;
    }

    // `kill -SIG` is sent to the demo's process; anything else is run as it stands.
    bool endDemo(const QString &ending) {
        const QString command = ending.startsWith("kill ") ? ending + " $(pgrep -x Lumeshow.exe)"
                                                           : "export DISPLAY=:0; " + ending;
        if (guest(command).exitCode != 0)
            return false;
        if (!QTest::qWaitFor([&] { return !demoRuns(); }, 30000)) {
            qWarning("the demo still runs after %s", qPrintable(ending));
            return false;
        }
        return true;
    }

    // The output is the X server's again: no framebuffer of the demo's is left on it, and a
    // lease of it can be had.
    bool leasable() {
        const bool released = QTest::qWaitFor(
            [&] {
                return guest("grep -q 'allocated by = Lumeshow' /sys/kernel/debug/dri/0/state")
                           .exitCode != 0;
            },
            15000);
        const QString lease = guest(kAsTester + kHeadsets + " --try-lease").output;
        if (!released || !lease.contains("Direct mode lease: one could be had")) {
            qWarning("%s", qPrintable(lease));
            return false;
        }
        return true;
    }

    bool monitorsStandStill() {
        const QImage before[] = {machine.screen(1), machine.screen(2)};
        QTest::qWait(1000);
        return machine.screen(1) == before[0] && machine.screen(2) == before[1];
    }

    // The desktop's outputs under Xwayland with their modes, the current one marked.
    QString xwaylandMonitors() {
        const QString xrandr = guest(kAsTester + "xrandr").output;
        const int first = xrandr.indexOf("XWAYLAND0");
        return xrandr.mid(first, xrandr.indexOf("XWAYLAND2") - first);
    }

    // Each monitor's line and its modes with the current one marked. Modes of no output's (the
    // leased headset's, while it is hidden) follow the last output, indented less.
    QStringList monitorModes() {
        const QStringList lines = guest("DISPLAY=:0 xrandr").output.split('\n');
        QStringList monitors;
        bool inMonitor = false;
        for (const QString &line : lines) {
            if (!line.startsWith(' '))
                inMonitor = line.startsWith("Virtual-2 ") || line.startsWith("Virtual-3 ");
            else if (!line.startsWith("   "))
                inMonitor = false;
            if (inMonitor)
                monitors << line;
        }
        return monitors;
    }

    // A program built here, put on the guest's PATH through the agent.
    bool carryIn(const QString &built, const QString &name) {
        QFile program(built);
        return program.open(QIODevice::ReadOnly) &&
               guest("echo " + program.readAll().toBase64() + " | base64 -d >/usr/local/bin/" +
                     name + " && chmod +x /usr/local/bin/" + name)
                       .exitCode == 0;
    }

    QTemporaryDir scratch;
    VirtualMachine machine;
    QStringList monitorsBefore;
    QElapsedTimer clock;
};

QTEST_MAIN(VirtualMachineTest)
#include "tst_virtualmachine.moc"
