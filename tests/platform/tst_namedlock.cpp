#include "Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// Each case works in a runtime folder of its own, so no lock of a real instance is touched.
class NamedLockTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        runtime.reset(new QTemporaryDir);
        QVERIFY(runtime->isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
        qputenv("DISPLAY", ":7");
    }

    void cleanup() {
        for (platform::LockHandle handle : held)
            platform::closeNamedLock(handle);
        held.clear();
    }

    // Holding, releasing and other processes: tests/platform/shared/NamedLockCases.cpp.
    void lockLivesInTheRuntimeFolder() {
        QVERIFY(take("Mutex").handle >= 0);
        const QStringList files = QDir(runtime->path()).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(files.first().startsWith("Mutex"), qPrintable(files.first()));
        QCOMPARE(QFileInfo(runtime->filePath(files.first())).permissions() &
                     (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
                 QFile::Permissions());
    }

    void displaysAreIndependent_data() {
        QTest::addColumn<QByteArray>("other");
        QTest::addColumn<bool>("shared");
        QTest::newRow("same display") << QByteArray(":7") << true;
        QTest::newRow("another screen of it") << QByteArray(":7.1") << true;
        QTest::newRow("unix socket spelling") << QByteArray("unix:7") << true;
        QTest::newRow("leading zero") << QByteArray(":07") << true;
        QTest::newRow("transport before the host") << QByteArray("unix/:7") << true;
        QTest::newRow("screen zero") << QByteArray(":7.0") << true;
        QTest::newRow("local host and transport") << QByteArray("localhost/unix:7") << true;
        QTest::newRow("local host by name") << QByteArray("localhost:007") << true;
        QTest::newRow("another display") << QByteArray(":8") << false;
        QTest::newRow("display 70") << QByteArray(":70") << false;
        QTest::newRow("another host") << QByteArray("otherhost:7") << false;
        QTest::newRow("another host with transport") << QByteArray("tcp/otherhost:7") << false;
    }

    void displaysAreIndependent() {
        QFETCH(QByteArray, other);
        QFETCH(bool, shared);
        take("Mutex");
        qputenv("DISPLAY", other);
        QCOMPARE(take("Mutex").heldElsewhere, shared);
    }

    // Two remote hosts are two servers, however their display numbers are spelt.
    void remoteHostsKeepApart() {
        qputenv("DISPLAY", "hosta:7");
        take("Mutex");
        qputenv("DISPLAY", "hostb:7");
        QVERIFY(!take("Mutex").heldElsewhere);
        qputenv("DISPLAY", "tcp/HostA:07.1");
        QVERIFY(take("Mutex").heldElsewhere);
    }

    // Programs the utility starts must not keep its lock after it has ended.
    void childProcessesDoNotInheritTheLock() {
        const platform::NamedLock first = take("Mutex");
        QProcess child;
        child.start("sleep", {"5"});
        QVERIFY(child.waitForStarted());
        platform::closeNamedLock(first.handle);
        held.removeAll(first.handle);
        const bool blocked = take("Mutex").heldElsewhere;
        child.kill();
        child.waitForFinished();
        QVERIFY(!blocked);
    }

    void withoutRuntimeFolderUsesAPrivateOne() {
        QTemporaryDir tmp;
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        const platform::NamedLock first = take("Mutex");
        QVERIFY(!first.heldElsewhere);
        QVERIFY(take("Mutex").heldElsewhere);

        const QString folder = tmp.filePath(QString("hlx-runtime-%1").arg(getuid()));
        struct stat info {};
        QCOMPARE(lstat(QFile::encodeName(folder).constData(), &info), 0);
        QVERIFY(S_ISDIR(info.st_mode));
        QCOMPARE(info.st_mode & 0777, 0700u);
        qunsetenv("TMPDIR");
    }

    // A folder another user could have planted in a shared /tmp is never trusted; the start
    // then goes on as a first instance, as it does whenever the lock cannot be made.
    void plantedFolderIsNotTrusted_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("open to everyone") << "world-writable";
        QTest::newRow("symbolic link") << "symlink";
    }

    void plantedFolderIsNotTrusted() {
        QFETCH(QString, kind);
        QTemporaryDir tmp;
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
        const QString folder = tmp.filePath(QString("hlx-runtime-%1").arg(getuid()));
        if (kind == "symlink") {
            QVERIFY(QFile::link(runtime->path(), folder));
        } else {
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(chmod(QFile::encodeName(folder).constData(), 0777) == 0);
        }

        const platform::NamedLock first = take("Mutex");
        QVERIFY(!first.heldElsewhere);
        QCOMPARE(first.handle, platform::LockHandle(-1));
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        qunsetenv("TMPDIR");
    }

private:
    platform::NamedLock take(const char *name) {
        const platform::NamedLock lock = platform::createNamedLock(name);
        if (lock.handle >= 0)
            held.append(lock.handle);
        return lock;
    }

    QScopedPointer<QTemporaryDir> runtime;
    QList<platform::LockHandle> held;
};

QTEST_GUILESS_MAIN(NamedLockTest)
#include "tst_namedlock.moc"
