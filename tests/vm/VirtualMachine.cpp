#include "VirtualMachine.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTest>

#include <unistd.h>

namespace {

// The Index on the first head, whose preferred mode virtio-gpu sizes by xres and yres; monitors
// on the others. `e` keeps each connected with no display attached to QEMU.
const char kKernelCommandLine[] =
    "console=ttyS0 root=/dev/vda rw init=/usr/local/sbin/guest-init "
    "drm.edid_firmware=Virtual-1:edid/index.bin,Virtual-2:edid/dell.bin,Virtual-3:edid/dell.bin "
    "video=Virtual-1:e video=Virtual-2:e video=Virtual-3:e";

bool waitForLine(QIODevice &device, QDeadlineTimer deadline) {
    while (!device.canReadLine()) {
        if (deadline.hasExpired() || !device.waitForReadyRead(int(deadline.remainingTime())))
            return device.canReadLine();
    }
    return true;
}

} // namespace

VirtualMachine::~VirtualMachine() {
    stop();
}

bool VirtualMachine::boot(const QString &imageFolder) {
    if (::access("/dev/kvm", R_OK | W_OK) == 0 && start(imageFolder, "kvm"))
        return true;
    stop();
    return start(imageFolder, "tcg");
}

bool VirtualMachine::start(const QString &imageFolder, const QString &accelerator) {
    m_accelerator = accelerator;
    const QString agentPath = m_folder.filePath("agent"), monitorPath = m_folder.filePath("qmp");
    // A failed try leaves its sockets, which would pass for the next one's.
    QFile::remove(agentPath);
    QFile::remove(monitorPath);
    m_qemu.setProcessChannelMode(QProcess::MergedChannels);
    m_qemu.start("qemu-system-x86_64",
                 {"-accel",    accelerator,
                  "-cpu",      accelerator == "kvm" ? "host" : "max",
                  "-smp",      "2",
                  "-m",        "2048",
                  "-display",  "none",
                  "-vga",      "none",
                  "-device",   "virtio-gpu-pci,id=gpu,max_outputs=3,xres=2880,yres=1600",
                  "-kernel",   imageFolder + "/vmlinuz",
                  "-initrd",   imageFolder + "/initrd.img",
                  "-append",   kKernelCommandLine,
                  "-drive",    "file=" + imageFolder + "/root.img,format=raw,if=virtio,snapshot=on",
                  "-serial",   "file:" + m_folder.filePath("console.log"),
                  "-chardev",  "socket,id=agent,server=on,wait=off,path=" + agentPath,
                  "-device",   "virtio-serial-pci",
                  "-device",   "virtserialport,chardev=agent,name=hlx.agent",
                  "-qmp",      "unix:" + monitorPath + ",server=on,wait=off",
                  "-no-reboot"});
    const auto failed = [&](const char *step) {
        // What QEMU said before it stopped, if it did.
        m_qemu.waitForFinished(2000);
        qWarning("no guest with %s (%s): %s", qPrintable(accelerator), step,
                 m_qemu.readAll().constData());
        return false;
    };
    if (!m_qemu.waitForStarted(10000) ||
        !QTest::qWaitFor(
            [&] { return QFileInfo::exists(agentPath) && QFileInfo::exists(monitorPath); }, 10000))
        return failed("QEMU did not start");
    m_agent.connectToServer(agentPath);
    m_monitor.connectToServer(monitorPath);
    if (!m_agent.waitForConnected(5000) || !m_monitor.waitForConnected(5000) ||
        qmp(R"({"execute":"qmp_capabilities"})").isEmpty())
        return failed("QEMU's sockets did not answer");
    // Nested KVM fails early with an emulation failure and leaves the guest stopped.
    const Answer up = run("uname -r", accelerator == "kvm" ? 60000 : 240000);
    if (up.exitCode != 0)
        return failed("the guest's agent did not answer");
    qInfo("guest up with %s, kernel %s", qPrintable(accelerator), qPrintable(up.output.trimmed()));
    return true;
}

void VirtualMachine::stop() {
    m_agent.abort();
    m_monitor.abort();
    if (m_qemu.state() != QProcess::NotRunning) {
        m_qemu.kill();
        m_qemu.waitForFinished(10000);
    }
}

VirtualMachine::Answer VirtualMachine::run(const QString &command, int timeoutMs) {
    const QByteArray id = QByteArray::number(++m_lastId);
    m_agent.write(id + ' ' + command.toUtf8().toBase64() + '\n');
    m_agent.flush();
    const QByteArray end = '\x1e' + id + ' ';
    Answer answer;
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    while (waitForLine(m_agent, deadline)) {
        const QByteArray line = m_agent.readLine();
        if (line.startsWith(end)) {
            answer.exitCode = line.mid(end.size()).trimmed().toInt();
            // The agent ends every output with a line break of its own.
            output.chop(1);
            answer.output = QString::fromUtf8(output);
            return answer;
        }
        // An answer to a command that timed out before comes first.
        if (line.startsWith('\x1e'))
            output.clear();
        else
            output += line;
    }
    answer.output = QString::fromUtf8(output);
    return answer;
}

QImage VirtualMachine::screen(int head) {
    const QString file = m_folder.filePath(QStringLiteral("head%1.ppm").arg(head));
    const QJsonObject command{
        {"execute", "screendump"},
        {"arguments", QJsonObject{{"filename", file}, {"device", "gpu"}, {"head", head}}}};
    const QByteArray answer = qmp(QJsonDocument(command).toJson(QJsonDocument::Compact));
    if (!answer.contains("\"return\""))
        return QImage();
    return QImage(file);
}

QByteArray VirtualMachine::qmp(const QByteArray &command) {
    m_monitor.write(command + '\n');
    m_monitor.flush();
    const QDeadlineTimer deadline(30000);
    while (waitForLine(m_monitor, deadline)) {
        const QByteArray line = m_monitor.readLine();
        // The greeting and events come between.
        if (line.contains("\"return\"") || line.contains("\"error\""))
            return line;
    }
    return QByteArray();
}
