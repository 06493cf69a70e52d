#include "SessionLock.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QtGlobal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileLock final : public SessionLock {
public:
    explicit FileLock(int fd)
        : m_fd(fd) {}
    ~FileLock() override { close(m_fd); }

private:
    int m_fd;
};

// One capturer per X display: ":1" and ":1.0" are the same session, so the screen goes.
QByteArray displayKey() {
    QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (colon >= 0 && dot > colon)
        display.truncate(dot);
    display.replace('/', '_');
    return display.isEmpty() ? QByteArray("none") : display;
}

QByteArray lockFolder() {
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    QByteArray folder = "/tmp/hlx-" + QByteArray::number(uint(getuid()));
    // Owned by us and ours alone, or someone else could hold our lock for us.
    mkdir(folder.constData(), 0700);
    struct stat status {};
    if (lstat(folder.constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != getuid() || (status.st_mode & 0077) != 0)
        return QByteArray();
    return folder;
}

} // namespace

std::unique_ptr<SessionLock> SessionLock::take() {
    const QByteArray folder = lockFolder();
    if (folder.isEmpty()) {
        // With nowhere safe to lock, a second capturer is a lesser evil than none.
        qWarning("Pictor: no private folder for the session lock; running without it");
        return std::make_unique<FileLock>(-1);
    }
    const QByteArray path = folder + "/hlx-display-capturer-" + displayKey() + ".lock";
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        qWarning("Pictor: cannot open %s; running without the session lock", path.constData());
        return std::make_unique<FileLock>(-1);
    }
    // Released by the kernel when the process ends, however it ends.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<FileLock>(fd);
}
