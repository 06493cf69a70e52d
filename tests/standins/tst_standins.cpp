#include "HLX.h"
#include "XcbConnection.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::XcbConnection;

namespace {

const QByteArray headsetProperty = "_HLX_SIMULATED_HEADSET";
const QList<QByteArray> messageNames = {
    "WM_GAME_START",           "WM_GAME_STOP",      "WM_GAME_ALIVE",      "WM_VORN_MONITOR_ADDED",
    "WM_VORN_MONITOR_REMOVED", "WM_VORN_HID_ADDED", "WM_VORN_HID_REMOVED"};
const QStringList shortNames = {"game-start",      "game-stop", "game-alive", "monitor-added",
                                "monitor-removed", "hid-added", "hid-removed"};
const QStringList exportedNames = {"HLX_Init",
                                   "HLX_Deinit",
                                   "HLX_SetDisplayCapturerPath",
                                   "HLX_StartDisplayCapturer",
                                   "HLX_StopDisplayCapturer",
                                   "HLX_EnableEyeshield",
                                   "HLX_DisableEyeshield",
                                   "HLX_GetWindowMessage"};

// Reports what it was started with. Written under another name and renamed, so that the report is
// complete once it exists.
const char capturerScript[] = R"sh(#!/bin/sh
report="$(dirname "$0")/report"
{
    echo "argv0=$0"
    echo "argc=$#"
    echo "cwd=$(pwd -P)"
    echo "ppid=$PPID"
    echo "stat=$(cat /proc/$$/stat)"
    echo "stdin=$(readlink /proc/$$/fd/0)"
    echo "marker=$(readlink /proc/$$/fd/57)"
} >"$report.part"
mv "$report.part" "$report"
)sh";

struct DeviceRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

DeviceRun runDevice(const QStringList &args,
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(HLX_BIN_DIR "/hlx-device", args);
    DeviceRun run;
    if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool writeFile(const QString &path, const QByteArray &content, QFile::Permissions extra = {}) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
           file.setPermissions(file.permissions() | extra);
}

// Only "headset" entries and the messages of one window, as "NAME@tag".
QStringList only(const QStringList &events, const QString &tag) {
    QStringList kept;
    for (const QString &event : events) {
        if (event == "headset" || event.endsWith('@' + tag))
            kept << event;
    }
    return kept;
}

} // namespace

class StandinsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(x.isValid());
        library = dlopen(HLX_BIN_DIR "/libHLX.so", RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(library, dlerror());
        for (const QString &name : exportedNames)
            QVERIFY2(dlsym(library, qPrintable(name)), qPrintable(name));
        resolve(getWindowMessage, "HLX_GetWindowMessage");
        resolve(enableEyeshield, "HLX_EnableEyeshield");
        resolve(disableEyeshield, "HLX_DisableEyeshield");
        resolve(setCapturerPath, "HLX_SetDisplayCapturerPath");
        resolve(startCapturer, "HLX_StartDisplayCapturer");
        // Top-levels as desktops have them: plain ones, mapped or not, as without a window
        // manager, and clients one or two levels down in frames. Frame parts without WM_STATE
        // ("decoration", "wrapper") are no top-levels and must not get messages.
        createWindow(x.root(), "mapped", true, false);
        createWindow(x.root(), "unmapped", false, false);
        const xcb_window_t frame = createWindow(x.root(), "frame", true, false);
        createWindow(frame, "decoration", true, false);
        createWindow(frame, "client", true, true);
        const xcb_window_t frame2 = createWindow(x.root(), "frame2", true, false);
        createWindow(createWindow(frame2, "wrapper", true, false), "deepclient", true, true);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(x.get(), x.root(), XCB_CW_EVENT_MASK, &mask);
        for (const QByteArray &name : messageNames)
            atomNames[x.atom(name)] = name;
        QVERIFY(x.sync());
    }

    void cleanupTestCase() {
        if (library)
            dlclose(library);
    }

    void init() {
        xcb_delete_property(x.get(), x.root(), x.atom(headsetProperty));
        drain();
    }

    void exportsOnlyTheEntryPoints() {
        const QString nm = QStandardPaths::findExecutable("nm");
        if (nm.isEmpty())
            QSKIP("nm (binutils) is not installed");
        QProcess process;
        process.start(nm, {"-D", "--defined-only", "--format=posix", HLX_BIN_DIR "/libHLX.so"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QStringList defined;
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
            const QByteArray name = line.split(' ').first();
            // Section bounds the linker defines in every shared object.
            if (!name.isEmpty() && name != "__bss_start" && name != "_edata" && name != "_end")
                defined << QString::fromLatin1(name);
        }
        defined.sort();
        QStringList expected = exportedNames;
        expected.sort();
        QCOMPARE(defined, expected);
    }

    void windowMessageIsTheAtomOfTheName() {
        const QByteArray fresh = "HLX_TEST_FRESH_" + QByteArray::number(getpid());
        const uint32_t atom = getWindowMessage(fresh.constData());
        QVERIFY(atom != 0);
        // The library interned the name itself: the server now knows it under that number.
        const auto known =
            x.reply(xcb_intern_atom_reply,
                    xcb_intern_atom(x.get(), 1, uint16_t(fresh.size()), fresh.constData()));
        QVERIFY(known);
        QCOMPARE(known->atom, atom);
        QCOMPARE(getWindowMessage("WM_VORN_HID_ADDED"), x.atom("WM_VORN_HID_ADDED"));
        QCOMPARE(getWindowMessage("WM_VORN_HID_ADDED"), getWindowMessage("WM_VORN_HID_ADDED"));
        QVERIFY(getWindowMessage("WM_GAME_START") != getWindowMessage("WM_GAME_STOP"));
        QCOMPARE(getWindowMessage(nullptr), 0u);
        const QByteArray display = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        const uint32_t withoutDisplay = getWindowMessage("WM_GAME_START");
        qputenv("DISPLAY", display);
        QCOMPARE(withoutDisplay, 0u);
    }

    // The eye shield is switched over USB, so only that link counts.
    void headsetPropertyDrivesTheEyeshield() {
        QCOMPARE(headset(), QString("absent"));
        QCOMPARE(enableEyeshield(2), -2);
        QCOMPARE(disableEyeshield(), -2);
        QCOMPARE(runDevice({"monitor-added"}).exitCode, 0);
        QCOMPARE(headset(), QString("CARDINAL/32: 1 0"));
        QCOMPARE(enableEyeshield(2), -2);
        QCOMPARE(runDevice({"game-start", "monitor-removed", "hid-added"}).exitCode, 0);
        QCOMPARE(headset(), QString("CARDINAL/32: 0 1"));
        QCOMPARE(enableEyeshield(2), 0);
        QCOMPARE(disableEyeshield(), 0);
        QCOMPARE(runDevice({"unplug"}).exitCode, 0);
        QVERIFY2(headset() == "absent" || headset() == "CARDINAL/32: 0 0", qPrintable(headset()));
        QCOMPARE(enableEyeshield(1), -2);
        QCOMPARE(disableEyeshield(), -2);
        QCOMPARE(runDevice({"plug"}).exitCode, 0);
        QCOMPARE(headset(), QString("CARDINAL/32: 1 1"));
        QCOMPARE(enableEyeshield(1), 0);
        QCOMPARE(disableEyeshield(), 0);
    }

    void capturerNeedsAStartableFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QCOMPARE(setCapturerPath(nullptr), 0);
        QCOMPARE(startCapturer(), -2);
        QCOMPARE(setCapturerPath(QFile::encodeName(dir.filePath("missing"))), 0);
        QCOMPARE(startCapturer(), -2);
        // Exists, so the start is tried, but the kernel refuses to run it.
        QVERIFY(writeFile(dir.filePath("plain"), "#!/bin/sh\n"));
        QCOMPARE(setCapturerPath(QFile::encodeName(dir.filePath("plain"))), 0);
        QCOMPARE(startCapturer(), -1);
        QCOMPARE(setCapturerPath(nullptr), 0);
        QCOMPARE(startCapturer(), -2);
    }

    void capturerRunsDetached() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid() && QDir(dir.path()).mkdir("sub") && QDir(dir.path()).mkdir("work"));
        QVERIFY(writeFile(dir.filePath("capturer.sh"), capturerScript, QFile::ExeOwner));
        constexpr int markerFd = 57; // as in capturerScript

        // The library must copy the path: the caller's buffer changes afterwards.
        QByteArray path = QFile::encodeName(dir.path() + "/sub/../capturer.sh");
        const QByteArray expectedPath = path;
        QCOMPARE(setCapturerPath(path.constData()), 0);
        path.fill('x');

        // An input of our own, and a descriptor without close-on-exec, that must not reach it.
        int input[2];
        QVERIFY(pipe(input) == 0);
        const int savedStdin = dup(STDIN_FILENO);
        dup2(input[0], STDIN_FILENO);
        dup2(input[0], markerFd);
        const QString previousCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.filePath("work")));
        const int started = startCapturer();
        QDir::setCurrent(previousCwd);
        dup2(savedStdin, STDIN_FILENO);
        for (int fd : {savedStdin, markerFd, input[0], input[1]})
            close(fd);
        QCOMPARE(started, 0);

        const QString report = dir.filePath("report");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(report), 10000);
        QFile reportFile(report);
        QVERIFY(reportFile.open(QIODevice::ReadOnly));
        QMap<QByteArray, QByteArray> facts;
        for (const QByteArray &line : reportFile.readAll().split('\n')) {
            const int equals = line.indexOf('=');
            if (equals > 0)
                facts[line.left(equals)] = line.mid(equals + 1);
        }
        QCOMPARE(facts["argv0"], expectedPath);
        QCOMPARE(facts["argc"], QByteArray("0"));
        QCOMPARE(facts["cwd"], QFile::encodeName(QDir(dir.filePath("work")).canonicalPath()));
        QVERIFY(!facts["ppid"].isEmpty());
        QVERIFY(facts["ppid"].toLongLong() != getpid());
        // After "pid (comm)": state, ppid, process group, session.
        const QList<QByteArray> stat =
            facts["stat"].mid(facts["stat"].lastIndexOf(')') + 2).split(' ');
        QVERIFY(stat.size() > 3);
        QVERIFY2(stat.at(3).toLongLong() != getsid(0),
                 "the capturer must lead a session of its own");
        QCOMPARE(facts["stdin"], QByteArray("/dev/null"));
        QCOMPARE(facts["marker"], QByteArray());
        // Neither the capturer nor anything that started it is left as our child, zombie or not.
        errno = 0;
        QCOMPARE(waitpid(-1, nullptr, WNOHANG), -1);
        QCOMPARE(errno, ECHILD);
    }

    void messagesReachEveryTopLevel() {
        QCOMPARE(runDevice({"game-start"}).exitCode, 0);
        QStringList received = drain();
        received.sort();
        const QStringList expected = {"WM_GAME_START@client", "WM_GAME_START@deepclient",
                                      "WM_GAME_START@frame",  "WM_GAME_START@frame2",
                                      "WM_GAME_START@mapped", "WM_GAME_START@unmapped"};
        QCOMPARE(received, expected);
    }

    void everyNameAndShortFormSendsItsMessage() {
        QStringList args = shortNames;
        QStringList expected;
        for (const QByteArray &name : messageNames) {
            args << QString::fromLatin1(name);
            expected << QString::fromLatin1(name) + "@unmapped";
        }
        expected += expected;
        QCOMPARE(runDevice(args).exitCode, 0);
        QStringList received = only(drain(), "unmapped");
        received.removeAll("headset");
        QCOMPARE(received, expected);
    }

    void linksChangeBeforeTheirMessageIsSent() {
        QCOMPARE(runDevice({"plug"}).exitCode, 0);
        QCOMPARE(only(drain(), "client"), (QStringList{"headset", "WM_VORN_MONITOR_ADDED@client",
                                                       "headset", "WM_VORN_HID_ADDED@client"}));
        QCOMPARE(runDevice({"unplug"}).exitCode, 0);
        QCOMPARE(only(drain(), "client"),
                 (QStringList{"headset", "WM_VORN_HID_REMOVED@client", "headset",
                              "WM_VORN_MONITOR_REMOVED@client"}));
        QCOMPARE(runDevice({"game-start", "game-alive", "game-stop"}).exitCode, 0);
        QCOMPARE(
            only(drain(), "client"),
            (QStringList{"WM_GAME_START@client", "WM_GAME_ALIVE@client", "WM_GAME_STOP@client"}));
    }

    // The library tells the program that initialises it of the links already up, as a plug
    // would, and only that program's windows, and only once.
    void initAnnouncesLinksUpToItsOwnProgramOnce() {
        int (*initialise)() = nullptr;
        resolve(initialise, "HLX_Init");
        setOwner("client", quint32(getpid()));
        setOwner("mapped", quint32(getppid()));
        QCOMPARE(runDevice({"plug"}).exitCode, 0);
        drain();

        QCOMPARE(initialise(), 0);
        const QStringList announced = drain();
        QCOMPARE(initialise(), 0);
        const QStringList again = drain();
        QCOMPARE(runDevice({"unplug"}).exitCode, 0);
        drain();
        xcb_delete_property(x.get(), windowTags.key("client"), x.atom("_NET_WM_PID"));
        xcb_delete_property(x.get(), windowTags.key("mapped"), x.atom("_NET_WM_PID"));
        QVERIFY(x.sync());

        QCOMPARE(announced,
                 (QStringList{"WM_VORN_MONITOR_ADDED@client", "WM_VORN_HID_ADDED@client"}));
        QCOMPARE(again, QStringList());
    }

    void repeatRunsEachCommandNTimes() {
        QCOMPARE(runDevice({"--repeat", "3", "game-alive"}).exitCode, 0);
        QCOMPARE(
            only(drain(), "mapped"),
            (QStringList{"WM_GAME_ALIVE@mapped", "WM_GAME_ALIVE@mapped", "WM_GAME_ALIVE@mapped"}));
        QCOMPARE(runDevice({"--repeat=2", "plug", "game-stop"}).exitCode, 0);
        QStringList received = only(drain(), "mapped");
        received.removeAll("headset");
        QCOMPARE(received, (QStringList{"WM_VORN_MONITOR_ADDED@mapped", "WM_VORN_HID_ADDED@mapped",
                                        "WM_VORN_MONITOR_ADDED@mapped", "WM_VORN_HID_ADDED@mapped",
                                        "WM_GAME_STOP@mapped", "WM_GAME_STOP@mapped"}));
    }

    void usageErrorsSendNothing_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown command") << QStringList{"hid-added", "bogus"};
        QTest::newRow("names are case-sensitive") << QStringList{"hid-added", "Plug"};
        QTest::newRow("unknown option") << QStringList{"--bogus", "hid-added"};
        QTest::newRow("repeat of zero") << QStringList{"--repeat", "0", "hid-added"};
        QTest::newRow("repeat not a number") << QStringList{"--repeat", "2x", "hid-added"};
        QTest::newRow("repeat without value") << QStringList{"hid-added", "--repeat"};
        QTest::newRow("no command") << QStringList{};
    }

    void usageErrorsSendNothing() {
        QFETCH(QStringList, args);
        const DeviceRun run = runDevice(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("Usage: hlx-device"), run.err);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(drain(), QStringList());
    }

    void helpListsEveryCommand() {
        const DeviceRun run = runDevice({"--help"});
        QCOMPARE(run.exitCode, 0);
        for (const QString &word : shortNames + QStringList{"plug", "unplug", "status"})
            QVERIFY2(run.out.contains(word.toLatin1()), qPrintable(word));
        for (const QByteArray &name : messageNames)
            QVERIFY2(run.out.contains(name), name);
        QCOMPARE(drain(), QStringList());
    }

    void statusReportsTheLinks() {
        const DeviceRun run = runDevice({"status", "plug", "status", "hid-removed", "status"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("display: unplugged\nusb: unplugged\n"
                                     "display: plugged\nusb: plugged\n"
                                     "display: plugged\nusb: unplugged\n"));
        drain();
        QCOMPARE(runDevice({"status"}).out, QByteArray("display: plugged\nusb: unplugged\n"));
        QCOMPARE(drain(), QStringList());
    }

    void displayComesFromTheOptionOrTheEnvironment() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString display = env.value("DISPLAY");
        env.remove("DISPLAY");
        QCOMPARE(runDevice({"--display", display, "game-stop"}, env).exitCode, 0);
        QCOMPARE(only(drain(), "mapped"), QStringList{"WM_GAME_STOP@mapped"});

        const DeviceRun withoutDisplay = runDevice({"game-stop"}, env);
        QCOMPARE(withoutDisplay.exitCode, 1);
        QVERIFY(!withoutDisplay.err.isEmpty());
        int unused = 9000;
        while (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(unused)))
            ++unused;
        const DeviceRun unreachable = runDevice({"--display", QString(":%1").arg(unused), "plug"});
        QCOMPARE(unreachable.exitCode, 1);
        QVERIFY(!unreachable.err.isEmpty());
        QCOMPARE(drain(), QStringList());
    }

private:
    template <typename Function> void resolve(Function *&function, const char *name) {
        function = reinterpret_cast<Function *>(dlsym(library, name));
    }

    xcb_window_t createWindow(xcb_window_t parent, const QString &tag, bool mapped, bool wmState) {
        const xcb_window_t window = xcb_generate_id(x.get());
        xcb_create_window(x.get(), XCB_COPY_FROM_PARENT, window, parent, 0, 0, 40, 40, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, x.screen()->root_visual, 0, nullptr);
        if (wmState) {
            const uint32_t normalState[] = {1, XCB_NONE};
            xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, window, x.atom("WM_STATE"),
                                x.atom("WM_STATE"), 32, 2, normalState);
        }
        if (mapped)
            xcb_map_window(x.get(), window);
        windowTags[window] = tag;
        return window;
    }

    // The process a window says it belongs to, as toolkits mark their windows.
    void setOwner(const QString &tag, quint32 process) {
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, windowTags.key(tag),
                            x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &process);
    }

    // hlx-device has had its round trip before it exits, so after one of our own every event
    // it sent is queued here.
    QStringList drain() {
        QStringList events;
        if (!x.sync())
            return {"sync failed"};
        while (xcb_generic_event_t *event = xcb_poll_for_queued_event(x.get())) {
            const auto type = event->response_type & 0x7f;
            if (type == XCB_CLIENT_MESSAGE) {
                const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
                QString text = QString::fromLatin1(
                    atomNames.value(message->type, "atom" + QByteArray::number(message->type)));
                text += '@' + windowTags.value(message->window, "unknown");
                const bool zero =
                    std::all_of(std::begin(message->data.data32), std::end(message->data.data32),
                                [](uint32_t v) { return v == 0; });
                if (message->format != 32 || !zero)
                    text += " malformed";
                events << text;
            } else if (type == XCB_PROPERTY_NOTIFY &&
                       reinterpret_cast<xcb_property_notify_event_t *>(event)->atom ==
                           x.atom(headsetProperty)) {
                events << "headset";
            }
            std::free(event);
        }
        return events;
    }

    // "absent", or "TYPE/FORMAT: values" with TYPE as a number unless it is CARDINAL.
    QString headset() {
        const auto value = x.reply(xcb_get_property_reply,
                                   xcb_get_property(x.get(), 0, x.root(), x.atom(headsetProperty),
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 16));
        if (!value || value->type == XCB_ATOM_NONE)
            return "absent";
        QString text =
            value->type == XCB_ATOM_CARDINAL ? QString("CARDINAL") : QString::number(value->type);
        text += '/' + QString::number(value->format) + ':';
        if (value->format != 32)
            return text;
        const auto *data = static_cast<const uint32_t *>(xcb_get_property_value(value.get()));
        for (int i = 0; i < xcb_get_property_value_length(value.get()) / 4; ++i)
            text += ' ' + QString::number(data[i]);
        return text;
    }

    XcbConnection x;
    void *library = nullptr;
    decltype(&HLX_GetWindowMessage) getWindowMessage = nullptr;
    decltype(&HLX_EnableEyeshield) enableEyeshield = nullptr;
    decltype(&HLX_DisableEyeshield) disableEyeshield = nullptr;
    decltype(&HLX_SetDisplayCapturerPath) setCapturerPath = nullptr;
    decltype(&HLX_StartDisplayCapturer) startCapturer = nullptr;
    QMap<xcb_atom_t, QByteArray> atomNames;
    QMap<xcb_window_t, QString> windowTags;
};

QTEST_GUILESS_MAIN(StandinsTest)
#include "tst_standins.moc"
