#pragma once

#include <QByteArray>
#include <QImage>
#include <QLocalSocket>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A QEMU guest with Debian's kernel on virtio-gpu, three outputs with real EDIDs, booted from
// the folder guest-image.sh made, reached from outside only: its agent runs shell commands,
// QMP takes pictures of its heads.
class VirtualMachine {
public:
    struct Answer {
        int exitCode = -1;
        QString output;
    };

    ~VirtualMachine();

    // KVM first where the host has it, TCG when KVM cannot bring the guest up.
    bool boot(const QString &imageFolder);
    QString accelerator() const { return m_accelerator; }
    // A shell command as root in the guest; exit code -1 when no answer came in time.
    Answer run(const QString &command, int timeoutMs = 60000);
    // One head's pixels, as the guest's display would show them.
    QImage screen(int head);

private:
    bool start(const QString &imageFolder, const QString &accelerator);
    void stop();
    QByteArray qmp(const QByteArray &command);

    QTemporaryDir m_folder;
    QProcess m_qemu;
    QLocalSocket m_agent;
    QLocalSocket m_monitor;
    QString m_accelerator;
    int m_lastId = 0;
};
