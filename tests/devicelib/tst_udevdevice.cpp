#include "DebugOutputCapture.h"
#include "DeviceMessageWindow.h"
#include "EdidSample.h"
#include "HLX.h"
#include "HeadsetTestbed.h"
#include "XcbConnection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>

#include <dlfcn.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

Q_DECLARE_METATYPE(std::vector<uint8_t>)
Q_DECLARE_METATYPE(QList<QStringList>)

namespace {

const QByteArray monitorAdded = "WM_VORN_MONITOR_ADDED";
const QByteArray monitorRemoved = "WM_VORN_MONITOR_REMOVED";
const QByteArray hidAdded = "WM_VORN_HID_ADDED";
const QByteArray hidRemoved = "WM_VORN_HID_REMOVED";
const QStringList exportedNames = {"HLX_Init",
                                   "HLX_Deinit",
                                   "HLX_SetDisplayCapturerPath",
                                   "HLX_StartDisplayCapturer",
                                   "HLX_StopDisplayCapturer",
                                   "HLX_EnableEyeshield",
                                   "HLX_DisableEyeshield",
                                   "HLX_GetWindowMessage"};
constexpr int messageTimeoutMs = 10000;

// Listed in the user's file that initTestCase writes: a USB headset, and a display by maker and
// product.
constexpr uint16_t userVendor = 0x1d6b;
constexpr uint16_t userProduct = 0x0107;
const char userDisplayMaker[] = "HLX";
constexpr uint16_t userDisplayProduct = 0xa001;

// Microsoft's flags byte: desktop usage, and the primary use cases that matter here.
constexpr uint8_t desktopUsage = 0x40;
constexpr uint8_t virtualReality = 0x07;
constexpr uint8_t augmentedReality = 0x08;
constexpr uint8_t medicalImaging = 0x11;

std::vector<uint8_t> headsetEdid() {
    return EdidSample::withMicrosoftBlock("VRH", 0x0001, 3, virtualReality);
}

QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
}

// The thread of this process with that name, or 0.
pid_t threadNamed(const QByteArray &name) {
    for (const QString &task :
         QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm("/proc/self/task/" + task + "/comm");
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name)
            return pid_t(task.toInt());
    }
    return 0;
}

QByteArray taskFile(pid_t thread, const char *file) {
    QFile status(QString("/proc/self/task/%1/%2").arg(thread).arg(file));
    return status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
}

// Voluntary plus involuntary context switches: every time the thread left the processor.
qint64 contextSwitches(pid_t thread) {
    qint64 total = 0;
    for (const QByteArray &line : taskFile(thread, "status").split('\n')) {
        if (line.contains("ctxt_switches:"))
            total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return total;
}

// Blocked in poll or ppoll, the only place the thread waits for work.
bool sleepsInPoll(pid_t thread) {
    const QByteArray number = taskFile(thread, "syscall").split(' ').value(0);
    return number == "7" || number == "271";
}

// The library's monitor thread once it sleeps in poll, waiting for the kernel; 0 if it does not
// within the time for a message.
pid_t sleepingMonitorThread() {
    pid_t thread = 0;
    const bool sleeps = QTest::qWaitFor(
        [&] { return (thread = threadNamed("hlx-udev")) != 0 && sleepsInPoll(thread); },
        messageTimeoutMs);
    return sleeps ? thread : 0;
}

// The socket on which the library hears udev: umockdev binds each at $UMOCKDEV_DIR/event<fd>.
int monitorSocket(const std::string &root) {
    const QDir dir(QString::fromStdString(root));
    for (const QString &name : dir.entryList({"event*"}, QDir::System)) {
        bool isNumber = false;
        const int fd = name.mid(5).toInt(&isNumber);
        sockaddr_un address{};
        socklen_t length = sizeof address;
        if (isNumber && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 &&
            address.sun_family == AF_UNIX &&
            QFile::encodeName(dir.filePath(name)) == QByteArray(address.sun_path))
            return fd;
    }
    return -1;
}

short pollEvents(int fd) {
    pollfd watched{fd, POLLIN, 0};
    return ::poll(&watched, 1, 0) > 0 ? watched.revents : 0;
}

// A request the kernel answers at once, on the socket that sent it, without waiting for room.
void askForLoopbackLink(int fd) {
    struct {
        nlmsghdr header;
        ifinfomsg link;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.link.ifi_index = 1;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ::sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr *>(&kernel), sizeof kernel);
}

// A netlink socket the kernel has overrun, as it overruns a uevent listener: asked more than its
// smallest buffer holds and never read, it holds ENOBUFS and the answers that fitted.
int overrunNetlinkSocket() {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    const int smallest = 1;
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest);
    for (int asked = 0; fd >= 0 && asked < 64 && !(pollEvents(fd) & POLLERR); ++asked)
        askForLoopbackLink(fd);
    return fd;
}

bool writeFile(const QString &path, const QByteArray &content, QFile::Permissions extra = {}) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
           file.setPermissions(file.permissions() | extra);
}

} // namespace

// The udev device library loaded as the utility loads it, in a process under umockdev whose
// testbed plays the kernel; a window of this process on the private X server receives what the
// library sends.
class UdevDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(qgetenv("LD_PRELOAD").contains("umockdev"), "run under umockdev-wrapper");
        testbed.reset(new HeadsetTestbed);
        QVERIFY(!testbed->rootDir().empty());
        QVERIFY(configHome.isValid() && QDir(configHome.path()).mkpath("hlx-config"));
        QVERIFY(writeFile(configHome.filePath("hlx-config/hmd-ids"),
                          "# a headset of our own\n1d6b:0107\n\nHLX:a001   # its display\n"
                          "not an id\n"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
        // Rules in xr-hardware's form for devices no built-in table knows.
        QVERIFY(rulesHome.isValid() &&
                writeFile(rulesHome.filePath("70-xrhardware.rules"),
                          "# Example VR Headset - USB\n"
                          "ATTRS{idVendor}==\"1d6b\", ATTRS{idProduct}==\"0104\", "
                          "TAG+=\"uaccess\", ENV{ID_xrhardware}=\"1\"\n"
                          "# Example Tracker - USB\n"
                          "ATTRS{idVendor}==\"1d6b\", ATTRS{idProduct}==\"0105\", "
                          "TAG+=\"uaccess\"\n"
                          "# Example HMD - USB\n"
                          "ATTRS{idVendor}==\"1d6b\", ATTRS{idProduct}==\"0106\", "
                          "ATTRS{product}==\"Example HMD|Example HMD 2\", TAG+=\"uaccess\"\n"
                          "# Example HMD, Bluetooth\n"
                          "KERNELS==\"0005:1D6B:0108.*\", ATTRS{idVendor}==\"1d6b\", "
                          "ATTRS{idProduct}==\"0108\", TAG+=\"uaccess\"\n"));
        useRules(rulesHome.path());

        library = dlopen(HLX_UDEV_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(library, dlerror());
        resolve(init, "HLX_Init");
        resolve(deinit, "HLX_Deinit");
        resolve(enableEyeshield, "HLX_EnableEyeshield");
        resolve(disableEyeshield, "HLX_DisableEyeshield");
        resolve(setCapturerPath, "HLX_SetDisplayCapturerPath");
        resolve(startCapturer, "HLX_StartDisplayCapturer");
        resolve(getWindowMessage, "HLX_GetWindowMessage");
        QVERIFY(init && deinit && enableEyeshield && disableEyeshield && setCapturerPath &&
                startCapturer && getWindowMessage);
        QVERIFY(window.isValid());
    }

    void cleanup() {
        QCOMPARE(deinit(), 0);
        testbed->clear();
        useRules(rulesHome.path());
        window.take();
    }

    void cleanupTestCase() {
        for (auto [name, times] : {std::pair{"cold (from HLX_Init)", coldMs},
                                   std::pair{"hot (from the hot-plug event)", hotMs}}) {
            if (times.empty())
                continue;
            std::sort(times.begin(), times.end());
            qInfo("display link detected %s: median %.1f ms, worst %.1f ms over %d displays", name,
                  times[times.size() / 2], times.back(), int(times.size()));
        }
        if (library)
            dlclose(library);
    }

    void exportsTheEntryPointsAndNoQt() {
        const QString nm = QStandardPaths::findExecutable("nm");
        const QString readelf = QStandardPaths::findExecutable("readelf");
        QVERIFY2(!nm.isEmpty() && !readelf.isEmpty(), "binutils are missing");
        QStringList defined;
        for (const QString &line :
             run(nm, {"-D", "--defined-only", "--format=posix", HLX_UDEV_LIBRARY}).split('\n')) {
            const QString name = line.section(' ', 0, 0);
            if (!name.isEmpty() && name != "__bss_start" && name != "_edata" && name != "_end")
                defined << name;
        }
        defined.sort();
        QStringList expected = exportedNames;
        expected.sort();
        QCOMPARE(defined, expected);
        const QString dynamic = run(readelf, {"-d", HLX_UDEV_LIBRARY});
        QVERIFY2(dynamic.contains("libudev.so"), qPrintable(dynamic));
        QVERIFY2(!dynamic.contains("libQt"), qPrintable(dynamic));
        QCOMPARE(getWindowMessage(hidAdded.constData()), x.atom(hidAdded));
        QCOMPARE(getWindowMessage(nullptr), 0u);
    }

    // What the samples below stand for, read by an EDID decoder that knows nothing of this library.
    void edidSamplesDecodeAsIntended() {
        const QString decoder = QStandardPaths::findExecutable("edid-decode");
        QVERIFY2(!decoder.isEmpty(), "edid-decode is missing");
        const QString headset = decode(decoder, headsetEdid());
        QVERIFY2(headset.contains("EDID conformity: PASS"), qPrintable(headset.right(1500)));
        QVERIFY(headset.contains("Manufacturer: VRH"));
        const int block = headset.indexOf("Vendor-Specific Data Block (Microsoft)");
        QVERIFY(block > 0);
        const QStringList fields = headset.mid(block).split('\n').mid(1, 4);
        QCOMPARE(fields,
                 (QStringList{"    Version: 3", "    Desktop Usage: 0", "    Third-Party Usage: 0",
                              "    Display Product Primary Use Case: 7 (Virtual reality "
                              "headset)"}));
        const QString desktop = decode(
            decoder, EdidSample::withMicrosoftBlock("VRH", 1, 3, desktopUsage | virtualReality));
        QVERIFY(desktop.contains("EDID conformity: PASS"));
        QVERIFY(desktop.contains("    Desktop Usage: 1\n"));
        const QString monitor = decode(decoder, EdidSample::monitor("DEL", 0x4321));
        QVERIFY2(monitor.contains("EDID conformity: PASS"), qPrintable(monitor.right(1500)));
        QVERIFY(monitor.contains("Manufacturer: DEL\n    Model: 17185\n"));
        QVERIFY(!monitor.contains("Microsoft"));
    }

    // Interfaces, binds and a second listed device of the same headset: one change each way.
    void usbLinkChangesOncePerHeadset() {
        start();
        const std::string card = testbed->addCard("card0");
        const std::string connector = testbed->addConnector(card, "card0-HDMI-A-1");
        const std::string first = testbed->plugUsb(userVendor, userProduct, 4);
        const std::string second = testbed->plugUsb(rulesId.first, rulesId.second, 2);
        // A later change of the other link: everything the plugs sent came before it.
        testbed->setConnector(connector, true, headsetEdid());
        expect({hidAdded, monitorAdded});

        testbed->unplugUsb(first);
        testbed->setConnector(connector, false, {});
        expect({monitorRemoved});
        testbed->unplugUsb(second);
        expect({hidRemoved});
    }

    void onlyListedUsbDevicesCount() {
        QTemporaryDir noRules;
        QVERIFY(noRules.isValid());
        useRules(noRules.path());
        start();
        const std::string connector =
            testbed->addConnector(testbed->addCard("card0"), "card0-DP-1");
        // Listed only by xr-hardware's rules, which this process no longer finds, and a mouse.
        testbed->plugUsb(rulesId.first, rulesId.second);
        testbed->plugUsb(0x046d, 0xc52b, 3);
        testbed->setConnector(connector, true, headsetEdid());
        expect({monitorAdded});
        testbed->plugUsb(userVendor, userProduct);
        expect({hidAdded});
    }

    void displayLinkNeedsAHeadsetsEdid_data() {
        QTest::addColumn<std::vector<uint8_t>>("edid");
        QTest::addColumn<bool>("counts");
        QTest::newRow("ordinary monitor") << EdidSample::monitor("DEL", 0x4321) << false;
        QTest::newRow("desktop use declared")
            << EdidSample::withMicrosoftBlock("VRH", 1, 3, desktopUsage | virtualReality) << false;
        QTest::newRow("specialised, not worn")
            << EdidSample::withMicrosoftBlock("MED", 1, 3, medicalImaging) << false;
        QTest::newRow("virtual reality headset") << headsetEdid() << true;
        QTest::newRow("augmented reality headset")
            << EdidSample::withMicrosoftBlock("ARH", 2, 3, augmentedReality) << true;
        QTest::newRow("version 1 block") << EdidSample::withMicrosoftBlock("VRH", 3, 1, 0) << true;
        QTest::newRow("listed maker and product")
            << EdidSample::monitor(userDisplayMaker, userDisplayProduct) << true;
        QTest::newRow("listed maker, other product")
            << EdidSample::monitor(userDisplayMaker, userDisplayProduct + 1) << false;
        std::vector<uint8_t> corrupted = headsetEdid();
        corrupted[128 + 10] ^= 0x01;
        QTest::newRow("corrupted extension") << corrupted << false;
        // Real displays, as a public EDID database holds them (edid/README.md names the files).
        for (const char *folder : {"headsets", "monitors"}) {
            const std::string dir = HLX_EDID_DIR "/" + std::string(folder);
            for (const std::string &name : EdidSample::hexFiles(dir)) {
                const std::vector<uint8_t> edid = EdidSample::fromHexFile(dir + '/' + name);
                QVERIFY2(edid.size() >= 128, name.c_str());
                QTest::newRow(name.c_str()) << edid << (folder == std::string("headsets"));
            }
        }
        // Bad input from the real ones: nothing read past the data or past a block's own length,
        // and nothing counts that the bytes do not prove.
        const std::vector<uint8_t> index =
            EdidSample::fromHexFile(HLX_EDID_DIR "/headsets/valve-index.hex");
        const std::vector<uint8_t> hp =
            EdidSample::fromHexFile(HLX_EDID_DIR "/headsets/wmr-hp-vr1000.hex");
        QTest::newRow("truncated base block")
            << std::vector<uint8_t>(index.begin(), index.begin() + 100) << false;
        QTest::newRow("extension cut short")
            << std::vector<uint8_t>(hp.begin(), hp.begin() + 200) << false;
        std::vector<uint8_t> baseCorrupted = index;
        baseCorrupted[20] ^= 0x10;
        QTest::newRow("corrupted base block") << baseCorrupted << false;
        // Real DisplayID sections under a product code that no table lists, so that only what
        // the section says can count.
        const auto unlisted = [](std::vector<uint8_t> edid) {
            edid.resize(256);
            edid[10] = 0x00;
            EdidSample::seal(edid, 0);
            return edid;
        };
        const std::vector<uint8_t> index12 = unlisted(index);
        QTest::newRow("DisplayID 1.2, unlisted product") << index12 << false;
        const std::vector<uint8_t> vivePro2 =
            unlisted(EdidSample::fromHexFile(HLX_EDID_DIR "/headsets/htc-vive-pro-2.hex"));
        QTest::newRow("DisplayID 2.0 head-mounted use case") << vivePro2 << true;
        std::vector<uint8_t> desktopUseCase = vivePro2;
        desktopUseCase[128 + 3] = 0x04; // desktop productivity
        EdidSample::sealDisplayId(desktopUseCase, 1);
        QTest::newRow("DisplayID 2.0 desktop use case") << desktopUseCase << false;
        std::vector<uint8_t> overrun = vivePro2;
        overrun[128 + 2] = 0x7f; // data blocks said to run past the block
        EdidSample::sealDisplayId(overrun, 1);
        QTest::newRow("DisplayID lengths past its end") << overrun << false;
        std::vector<uint8_t> blockOverrun = index12;
        blockOverrun[128 + 90] = 0xff; // the CTA block inside says it is longer than all
        EdidSample::sealDisplayId(blockOverrun, 1);
        QTest::newRow("DisplayID block past its section") << blockOverrun << false;
        // The HP headset's Microsoft block moved into the Index's CTA DisplayID block, in place
        // of its audio block.
        const uint8_t microsoftHeader[] = {0x75, 0x5c, 0x12, 0xca};
        const auto found = std::search(hp.begin() + 128, hp.end(), std::begin(microsoftHeader),
                                       std::end(microsoftHeader));
        QVERIFY(hp.end() - found >= 22);
        std::vector<uint8_t> microsoftInDisplayId = index12;
        std::fill(microsoftInDisplayId.begin() + 128 + 88, microsoftInDisplayId.end(), 0);
        microsoftInDisplayId[128 + 2] = 90 - 4 + 22;
        const uint8_t ctaBlockHeader[] = {0x81, 0x03, 22};
        std::copy(std::begin(ctaBlockHeader), std::end(ctaBlockHeader),
                  microsoftInDisplayId.begin() + 128 + 88);
        std::copy(found, found + 22, microsoftInDisplayId.begin() + 128 + 91);
        EdidSample::sealDisplayId(microsoftInDisplayId, 1);
        QTest::newRow("Microsoft block inside DisplayID") << microsoftInDisplayId << true;
    }

    void displayLinkNeedsAHeadsetsEdid() {
        QFETCH(std::vector<uint8_t>, edid);
        QFETCH(bool, counts);
        const std::string card = testbed->addCard("card0");
        const std::string desk = testbed->addConnector(card, "card0-DP-1");
        const std::string other = testbed->addConnector(card, "card0-HDMI-A-1");
        // Plugged before the library starts, then plugged while it runs.
        testbed->setConnector(desk, true, edid);
        QElapsedTimer clock;
        clock.start();
        start(counts ? QByteArrayList{monitorAdded} : QByteArrayList{});
        if (counts)
            coldMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        const std::string usb = testbed->plugUsb(userVendor, userProduct);
        expect({hidAdded});
        // The same display moves to another connector; a hot plug that changes nothing. Each
        // event re-reads every connector, so the move is seen as two only when the second
        // half comes after the first was read.
        testbed->setConnector(desk, false, {});
        if (counts)
            expect({monitorRemoved});
        clock.restart();
        testbed->setConnector(other, true, edid);
        if (counts) {
            expect({monitorAdded});
            hotMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        testbed->setConnector(other, true, edid);
        testbed->unplugUsb(usb);
        expect({hidRemoved});
    }

    void removedCardTakesTheDisplayLink() {
        start();
        const std::string card = testbed->addCard("card1");
        testbed->setConnector(testbed->addConnector(card, "card1-DP-2"), true, headsetEdid());
        expect({monitorAdded});
        testbed->removeCard(card);
        expect({monitorRemoved});
    }

    void linksUpBeforeInitAreAnnouncedOnce() {
        testbed->setConnector(testbed->addConnector(testbed->addCard("card0"), "card0-DP-1"), true,
                              headsetEdid());
        const std::string usb = testbed->plugUsb(userVendor, userProduct, 3);
        QCOMPARE(window.take(), QByteArrayList());
        start({monitorAdded, hidAdded});
        QCOMPARE(init(), 0);
        testbed->unplugUsb(usb);
        expect({hidRemoved});
    }

    void deinitStopsAndInitStartsAgain() {
        QCOMPARE(deinit(), 0);
        start();
        QVERIFY(QTest::qWaitFor([] { return threadNamed("hlx-udev") != 0; }, messageTimeoutMs));
        const std::string usb = testbed->plugUsb(userVendor, userProduct);
        expect({hidAdded});
        QCOMPARE(deinit(), 0);
        QVERIFY(QTest::qWaitFor([] { return threadNamed("hlx-udev") == 0; }, 1000));
        QCOMPARE(deinit(), 0);

        // Nothing follows the links now; the next start announces what it finds.
        testbed->unplugUsb(usb);
        testbed->setConnector(testbed->addConnector(testbed->addCard("card0"), "card0-DP-1"), true,
                              headsetEdid());
        start({monitorAdded});
    }

    void eyeshieldWithoutTheHeadsetsDisplay() {
        // No headset: -2, whether or not the links are followed. Switching off holds wherever
        // the display is, so that it comes back with its own colours.
        QCOMPARE(enableEyeshield(1), -2);
        QCOMPARE(disableEyeshield(), 0);
        testbed->plugUsb(0x046d, 0xc52b);
        QCOMPARE(enableEyeshield(1), -2);
        // A headset on USB whose display is not on this desktop (Xvfb has no such output): a
        // refusal of its own, never success, and never the warning's -2.
        const std::string usb = testbed->plugUsb(rulesId.first, rulesId.second);
        QCOMPARE(enableEyeshield(1), -3);
        QCOMPARE(disableEyeshield(), 0);
        start({hidAdded});
        QCOMPARE(enableEyeshield(1), -3);
        testbed->unplugUsb(usb);
        QCOMPARE(enableEyeshield(1), -2);
    }

    void capturerStartsDetachedInTheWorkingFolder() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid() && QDir(dir.path()).mkdir("work"));
        QCOMPARE(setCapturerPath(nullptr), 0);
        QCOMPARE(startCapturer(), -2);
        QCOMPARE(setCapturerPath(QFile::encodeName(dir.filePath("missing"))), 0);
        QCOMPARE(startCapturer(), -2);
        QVERIFY(writeFile(dir.filePath("plain"), "#!/bin/sh\n"));
        QCOMPARE(setCapturerPath(QFile::encodeName(dir.filePath("plain"))), 0);
        QCOMPARE(startCapturer(), -1);
        QVERIFY(writeFile(dir.filePath("capturer.sh"),
                          "#!/bin/sh\npwd -P >started.part\n"
                          "mv started.part started\n",
                          QFile::ExeOwner));
        QByteArray path = QFile::encodeName(dir.filePath("capturer.sh"));
        QCOMPARE(setCapturerPath(path.constData()), 0);
        path.fill('x');
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.filePath("work")));
        const int started = startCapturer();
        QDir::setCurrent(previous);
        QCOMPARE(started, 0);
        const QString report = dir.filePath("work/started");
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(report); }, messageTimeoutMs));
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().trimmed(),
                 QFile::encodeName(QDir(dir.filePath("work")).canonicalPath()));
    }

    void usbLinkIsTheHeadsetsOwnDevice_data() {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QList<QStringList>>("devices");
        QTest::addColumn<bool>("counts");
        const QString xrHardware = "/lib/udev/rules.d";
        const auto row = [](const char *name, const QString &rules,
                            const QList<QStringList> &devices,
                            bool counts) { QTest::newRow(name) << rules << devices << counts; };
        // vendor:product, and the device's name where it matters.
        row("Valve Index alone", xrHardware, {{"28de:2613"}}, true);
        row("HTC Vive Pro 2, in no rules", xrHardware, {{"0bb4:0342"}}, true);
        row("HTC Vive, by xr-hardware", xrHardware, {{"0bb4:2c87"}}, true);
        row("Oculus Rift CV1", xrHardware, {{"2833:0031"}}, true);
        row("Windows Mixed Reality sensors", xrHardware, {{"045e:0659"}}, true);
        row("Index controllers and radios alone", xrHardware,
            {{"28de:2300"}, {"28de:2300"}, {"28de:2102"}, {"28de:2101"}}, false);
        row("Rift tracking cameras alone", xrHardware, {{"2833:0211"}, {"2833:0201"}}, false);
        row("NOLO tracking kit alone", xrHardware, {{"0483:5750"}, {"28e9:0302", "CV1_PRO_HEAD"}},
            false);
        row("Razer Hydra alone", xrHardware, {{"1532:0300"}}, false);
        row("headset by the rules' comment", QString(), {{"1d6b:0104"}}, true);
        row("tracker by the rules' comment", QString(), {{"1d6b:0105"}}, false);
        row("rule's product name holds", QString(), {{"1d6b:0106", "Example HMD 2"}}, true);
        row("rule's product name differs", QString(), {{"1d6b:0106", "Example Dongle"}}, false);
        row("rule's product name missing", QString(), {{"1d6b:0106"}}, false);
        row("rule with a condition not understood", QString(), {{"1d6b:0108"}}, false);
    }

    // A headset with its accessories is one link and one message; accessories alone are none.
    void usbLinkIsTheHeadsetsOwnDevice() {
        QFETCH(QString, rules);
        QFETCH(QList<QStringList>, devices);
        QFETCH(bool, counts);
        if (!rules.isEmpty())
            useRules(rules);
        start();
        std::vector<std::string> plugged;
        for (const QStringList &device : devices) {
            const QStringList id = device.value(0).split(':');
            plugged.push_back(testbed->plugUsb(uint16_t(id.value(0).toUInt(nullptr, 16)),
                                               uint16_t(id.value(1).toUInt(nullptr, 16)), 1,
                                               device.value(1).toStdString()));
        }
        // The Index's own accessories join it.
        for (const uint16_t accessory : {uint16_t(0x2102), uint16_t(0x2300)})
            plugged.push_back(testbed->plugUsb(0x28de, accessory));
        // A change of the other link after all of them: whatever they sent came before it.
        const std::string connector =
            testbed->addConnector(testbed->addCard("card0"), "card0-DP-1");
        testbed->setConnector(connector, true, headsetEdid());
        expect(counts ? QByteArrayList{hidAdded, monitorAdded} : QByteArrayList{monitorAdded});
        QCOMPARE(enableEyeshield(1), counts ? -3 : -2);
        for (const std::string &device : plugged)
            testbed->unplugUsb(device);
        testbed->setConnector(connector, false, {});
        expect(counts ? QByteArrayList{hidRemoved, monitorRemoved}
                      : QByteArrayList{monitorRemoved});
    }

    // hlx-headsets says what the library sees and why, as the library itself judges it.
    void headsetListSaysWhy() {
        const std::vector<uint8_t> index =
            EdidSample::fromHexFile(HLX_EDID_DIR "/headsets/valve-index.hex");
        const std::string card = testbed->addCard("card0");
        testbed->setConnector(testbed->addConnector(card, "card0-DP-1"), true, index);
        testbed->setConnector(testbed->addConnector(card, "card0-DP-2"), true,
                              EdidSample::fromHexFile(HLX_EDID_DIR "/monitors/dell-d1918h.hex"));
        testbed->setConnector(testbed->addConnector(card, "card0-DP-3"), true, {});
        testbed->setConnector(testbed->addConnector(card, "card0-DP-4"), true,
                              std::vector<uint8_t>(index.begin(), index.begin() + 100));
        testbed->addConnector(card, "card0-HDMI-A-1");
        for (const auto &[vendor, product] :
             {std::pair<uint16_t, uint16_t>{0x28de, 0x2613}, {0x28de, 0x2102}, {0x046d, 0xc52b}}) {
            testbed->plugUsb(vendor, product);
            QTest::qWait(25);
        }
        QProcess list;
        list.start(HLX_HEADSETS_PROGRAM, QStringList());
        QVERIFY(list.waitForFinished(messageTimeoutMs));
        QCOMPARE(list.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(list.readAllStandardOutput()).split('\n');
        const QStringList expected = {
            "28de:2613 headset, by the built-in table of headsets",
            "28de:2102 accessory: no link without its headset",
            "046d:c52b no headset",
            "display card0-DP-1: VLV 91a8 headset, by the table of headset displays",
            "display card0-DP-2: DEL 2005 no headset",
            "display card0-DP-3: no EDID",
            "display card0-DP-4: EDID cut short or corrupted",
            "display card0-HDMI-A-1: nothing connected",
            "HDMI link: ready",
            "USB link: ready"};
        for (const QString &line : expected)
            QVERIFY2(lines.filter(line).size() == 1, qPrintable(line + " in\n" + lines.join('\n')));
        // The user's own list has a line that is no id: said on standard error, with its line.
        QCOMPARE(QString::fromUtf8(list.readAllStandardError()),
                 "libHLX: " + configHome.filePath("hlx-config/hmd-ids") +
                     ":5: \"not an id\" is no id; write vvvv:pppp (USB, hex) or ABC:pppp "
                     "(display maker and product, hex)\n");

        // Folders where the id files should be cannot be read, whoever runs this.
        QTemporaryDir unreadable;
        QVERIFY(unreadable.isValid() && QDir(unreadable.path()).mkpath("hlx-config/hmd-ids") &&
                QDir(unreadable.path()).mkpath("70-xrhardware.rules"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", unreadable.path());
        environment.insert("HLX_TEST_UDEV_RULES_DIR", unreadable.path());
        list.setProcessEnvironment(environment);
        list.start(HLX_HEADSETS_PROGRAM, QStringList());
        QVERIFY(list.waitForFinished(messageTimeoutMs));
        QCOMPARE(QString::fromUtf8(list.readAllStandardError()),
                 "libHLX: cannot read " + unreadable.filePath("70-xrhardware.rules") +
                     ": Is a directory\nlibHLX: cannot read " +
                     unreadable.filePath("hlx-config/hmd-ids") + ": Is a directory\n");
    }

    // An overrun of the uevent socket (the kernel's ENOBUFS, POLLERR to poll) loses events: the
    // library reads every device again and goes on following them. umockdev's sender ends the
    // test rather than overrun a listener, so the overrun is the kernel's own, on a netlink socket
    // put in the place of the library's for one wake-up.
    void overrunRereadsEveryDevice() {
        start();
        const pid_t thread = sleepingMonitorThread();
        QVERIFY(thread != 0);
        const int monitor = monitorSocket(testbed->rootDir());
        QVERIFY(monitor >= 0);
        const int overrun = overrunNetlinkSocket();
        QVERIFY(overrun >= 0 && (pollEvents(overrun) & POLLERR));
        const int heard = ::dup(monitor);
        QCOMPARE(::dup2(overrun, monitor), monitor);
        // The plug wakes the thread where it sleeps; its read then meets the overrun.
        const std::string usb = testbed->plugUsb(userVendor, userProduct, 3);
        expect({hidAdded});
        // The testbed's socket back, and an answer on the other to move the thread over to it.
        QCOMPARE(::dup2(heard, monitor), monitor);
        askForLoopbackLink(overrun);
        ::close(heard);
        ::close(overrun);
        // Before more events: umockdev ends this process when nobody reads them.
        QCOMPARE(threadNamed("hlx-udev"), thread);
        testbed->unplugUsb(usb);
        expect({hidRemoved});
    }

    // A socket shut down for good cannot be followed: the thread says so once and ends.
    void lostSocketIsSaidOnce() {
        start();
        QVERIFY(sleepingMonitorThread() != 0);
        const int monitor = monitorSocket(testbed->rootDir());
        QVERIFY(monitor >= 0);
        support::DebugOutputCapture standardError;
        QCOMPARE(::shutdown(monitor, SHUT_RDWR), 0);
        QVERIFY(QTest::qWaitFor([] { return threadNamed("hlx-udev") == 0; }, messageTimeoutMs));
        QCOMPARE(standardError.messages(),
                 std::vector<std::string>{"libHLX: the udev socket was shut down; the headset's "
                                          "links are no longer followed"});
    }

    // The monitor thread sleeps until the kernel reports something: no timer, no polling.
    void idleThreadNeverWakes() {
        testbed->plugUsb(userVendor, userProduct);
        start({hidAdded});
        pid_t thread = 0;
        QVERIFY(QTest::qWaitFor([&] { return (thread = threadNamed("hlx-udev")) != 0; }));
        QVERIFY(QTest::qWaitFor([&] { return sleepsInPoll(thread); }, messageTimeoutMs));
        const qint64 before = contextSwitches(thread);
        QThread::sleep(10);
        const qint64 after = contextSwitches(thread);
        qInfo("monitor thread: %lld context switches in 10 s idle", after - before);
        QCOMPARE(after - before, 0);
        QVERIFY(sleepsInPoll(thread));
        // And it wakes for an event.
        testbed->plugUsb(0x046d, 0xc52b);
        QVERIFY(QTest::qWaitFor([&] { return contextSwitches(thread) > after; }, messageTimeoutMs));
    }

private:
    template <typename Function> void resolve(Function *&function, const char *name) {
        function = reinterpret_cast<Function *>(dlsym(library, name));
    }

    static void useRules(const QString &folder) {
        qputenv("HLX_TEST_UDEV_RULES_DIR", QFile::encodeName(folder));
    }

    QString decode(const QString &decoder, const std::vector<uint8_t> &edid) {
        QTemporaryDir dir;
        const QString path = dir.filePath("edid.bin");
        if (!writeFile(path,
                       QByteArray(reinterpret_cast<const char *>(edid.data()), int(edid.size()))))
            return QString();
        return run(decoder, {"--check", path});
    }

    // HLX_Init and its first announcement: every link, the ones that are down too.
    void start(const QByteArrayList &upAtStart = {}) {
        QCOMPARE(init(), 0);
        QByteArrayList first = upAtStart;
        if (!upAtStart.contains(hidAdded))
            first << hidRemoved;
        if (!upAtStart.contains(monitorAdded))
            first << monitorRemoved;
        expect(first);
    }

    // Exactly these messages since the last check, in this order.
    void expect(const QByteArrayList &messages) {
        QByteArrayList received;
        const bool arrived = window.waitForEnd(messages, messageTimeoutMs, received);
        const QByteArray report =
            "received: " + received.join(' ') + "; expected: " + messages.join(' ');
        QVERIFY2(arrived && received == messages, report.constData());
    }

    QScopedPointer<HeadsetTestbed> testbed;
    QTemporaryDir configHome;
    QTemporaryDir rulesHome;
    // Listed only by the test's rules, as a headset.
    const std::pair<uint16_t, uint16_t> rulesId{0x1d6b, 0x0104};
    DeviceMessageWindow window;
    testsupport::XcbConnection x;
    void *library = nullptr;
    // Milliseconds until the window had the display link's message, for every headset's display.
    std::vector<double> coldMs;
    std::vector<double> hotMs;
    decltype(&HLX_Init) init = nullptr;
    decltype(&HLX_Deinit) deinit = nullptr;
    decltype(&HLX_EnableEyeshield) enableEyeshield = nullptr;
    decltype(&HLX_DisableEyeshield) disableEyeshield = nullptr;
    decltype(&HLX_SetDisplayCapturerPath) setCapturerPath = nullptr;
    decltype(&HLX_StartDisplayCapturer) startCapturer = nullptr;
    decltype(&HLX_GetWindowMessage) getWindowMessage = nullptr;
};

QTEST_GUILESS_MAIN(UdevDeviceTest)
#include "tst_udevdevice.moc"
