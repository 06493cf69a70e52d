#include "UserSettings.h"

#include "Platform.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>

namespace {

const QString kFileName = QStringLiteral("UserSetting.ini");

// How long a write waits for another writer's lock. Qt's own wait has no end, and a lock
// that nobody may remove (another user's, in a shared folder) would hold the window for ever.
constexpr int kLockWaitMs = 500;

// Empty when the working folder no longer exists: Qt then gives an empty current path, and
// the file would land at the root of the file system.
QString settingsFilePath() {
    const QString folder = QDir::currentPath();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QString();
    return folder + QLatin1Char('/') + kFileName;
}

// Found without opening the file: opening a FIFO blocks until a writer comes, and a device
// reads for ever. A link counts as what it points to; a dangling one as absent.
bool isRegularOrAbsent(const QString &path) {
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

// Qt reads its lock files to tell whether they are stale, so they must not be links or
// special files either; Qt removes a stale lock under a second one beside it.
bool lockFilesAreSafe(const QString &lockPath) {
    for (const QString &path : {lockPath, lockPath + QStringLiteral(".rmlock")}) {
        const QFileInfo info(path);
        if (info.isSymLink() || (info.exists() && !info.isFile()))
            return false;
    }
    return true;
}

// Takes the lock QSettings will take and gives it back at once: a free lock then costs
// Qt's wait no more than another writer's short write, and a lock that stays taken is known
// before Qt waits on it without end.
bool lockComesFree(const QString &path) {
    const QString lockPath = path + QStringLiteral(".lock");
    if (!lockFilesAreSafe(lockPath))
        return false;
    QLockFile probe(lockPath);
    if (!probe.tryLock(kLockWaitMs))
        return false;
    probe.unlock();
    return true;
}

QByteArray fileContents(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// QSettings keeps only the first error it meets, so the FormatError of a damaged file hides
// an AccessError of the write that follows. Qt writes only what it can parse again, so a
// write that lands always changes a damaged file: unchanged bytes mean it did not land.
bool writeReachedFile(QSettings::Status status, const QString &path, const QByteArray &before) {
    if (status == QSettings::FormatError)
        return fileContents(path) != before;
    return status == QSettings::NoError;
}

void reportLostWrite(const QString &path, const QString &key) {
    // A working folder that is gone has no name left to give.
    const QString named = path.isEmpty() ? QStringLiteral("./") + kFileName : path;
    platform::writeDebugOutput(QStringLiteral("UserSetting.ini: could not write \"%1\" to %2")
                                   .arg(key, named)
                                   .toStdString());
}

} // namespace

QVariant UserSettings::value(const QString &key) const {
    const QString path = settingsFilePath();
    if (path.isEmpty() || !isRegularOrAbsent(path))
        return QVariant();
    const QSettings settings(path, QSettings::IniFormat);
    return settings.value(key, QVariant());
}

void UserSettings::setValue(const QString &key, const QString &text) const {
    const QString path = settingsFilePath();
    // QSettings refuses an empty key without setting an error. Anything but a regular file is
    // left as it is: Qt would replace even a device with a file of its own.
    if (key.isEmpty() || path.isEmpty() || !isRegularOrAbsent(path) || !lockComesFree(path)) {
        reportLostWrite(path, key);
        return;
    }
    const QByteArray before = fileContents(path);
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(key, QVariant(text));
    settings.sync();
    if (!writeReachedFile(settings.status(), path, before))
        reportLostWrite(path, key);
}
