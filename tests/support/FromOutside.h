#pragma once

#include "XcbConnection.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>

#include <array>

#include <unistd.h>

// The demo and the capturer as others see them: what a process spends, as the kernel counts it, and
// a window as a window manager treats it.
namespace fromoutside {

inline QList<QByteArray> statFields(const QString &pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // The fields after the command, whose name may hold spaces and parentheses.
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

// utime + stime, in seconds.
inline double cpuSeconds(qint64 pid) {
    const QList<QByteArray> fields = statFields(QString::number(pid));
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(sysconf(_SC_CLK_TCK));
}

// The machine's load averages as the kernel gives them, for a bench's figures.
inline QByteArray loadAverage() {
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? load.readLine().trimmed() : QByteArray("unknown");
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

// What a window manager does to a window the user restores from its icon (ICCCM 4.1.4).
inline bool restoreAsWindowManager(testsupport::XcbConnection &x, xcb_window_t window) {
    const xcb_atom_t wmState = x.atom("WM_STATE");
    const std::array<uint32_t, 2> value{1 /* NormalState */, XCB_WINDOW_NONE};
    xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, window, wmState, wmState, 32, 2,
                        value.data());
    xcb_map_window(x.get(), window);
    return x.sync();
}

} // namespace fromoutside
