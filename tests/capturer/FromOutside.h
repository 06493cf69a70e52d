#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <unistd.h>

// What a process has spent, read from outside it as the kernel counts it.
namespace processcpu {

inline QList<QByteArray> statFields(const QString &pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // The fields after the command, whose name may hold spaces and parentheses.
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

// utime + stime, in seconds.
inline double seconds(qint64 pid) {
    const QList<QByteArray> fields = statFields(QString::number(pid));
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(sysconf(_SC_CLK_TCK));
}

// The X server that with-dummy-xorg.sh started beside us; 0 if none.
inline qint64 xServerPid() {
    const QByteArray parent = QByteArray::number(qint64(getppid()));
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(entry));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "Xorg" &&
            statFields(entry).value(1) == parent)
            return entry.toLongLong();
    }
    return 0;
}

} // namespace processcpu
