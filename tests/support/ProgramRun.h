#pragma once

#include <QByteArray>
#include <QDebug>
#include <QProcess>
#include <QString>
#include <QStringList>

// A helper program run to its end, as the package and virtual-machine cases run cpack, apt and
// their scripts: its standard error goes to the test's log as it comes, and a failure is logged
// with its standard output.
inline bool programSucceeds(const QString &program, const QStringList &arguments, int timeoutMs,
                            QString *output = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(timeoutMs);
    const QByteArray out = process.readAllStandardOutput();
    if (output != nullptr)
        *output = QString::fromUtf8(out);
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << arguments << "failed:" << process.exitCode() << out;
        return false;
    }
    return true;
}
