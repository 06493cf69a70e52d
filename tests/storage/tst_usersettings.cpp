#include "NamedConstants.h"
#include "UserSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString kFileName = QStringLiteral("UserSetting.ini");
const QString kKey = QString::fromLatin1(hlx::kKeyEyeshield);
const QString kEnable = QString::fromLatin1(hlx::kEnableEyeshield);
const QString kDisable = QString::fromLatin1(hlx::kDisableEyeshield);
// The test program runs itself with these to write or read in a process of its own: only
// there can the parent see standard error, and only a fresh process parses the file anew
// instead of answering from Qt's cache of what it last wrote.
const QString kWriteMode = QStringLiteral("--write-setting");
const QString kReadMode = QStringLiteral("--read-setting");
const QString kWriteInRemovedMode = QStringLiteral("--write-in-removed-folder");
const QString kHoldLockMode = QStringLiteral("--hold-settings-lock");
const QByteArray kAbsent = "absent";

enum class Obstacle {
    DirectoryInTheWay,
    ProcFileSystem,
    EmptyKey,
    BusyDamagedFile,
    ReadOnlyFolder,
    ReadOnlyFolderWithFile,
    ReadOnlyDamagedFile,
    LockHeldByAnotherProgram,
    LockNameTakenByAFolder,
    LockIsAFifo,
    LockIsALink
};

enum class SpecialFile { Fifo, LinkToFifo, LinkToDevice, LinkToFolder };

// What a path is, seen without opening it or following a link at its end.
struct PathKind {
    mode_t type = 0;
    dev_t device = 0;
    QString linkTarget;
    bool operator==(const PathKind &other) const {
        return type == other.type && device == other.device && linkTarget == other.linkTarget;
    }
};

PathKind pathKind(const QString &path) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {mode_t(info.st_mode & S_IFMT), info.st_rdev, QFile::symLinkTarget(path)};
}

QByteArray rawFile(const QString &dir) {
    QFile file(dir + QLatin1Char('/') + kFileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeRawFile(const QString &dir, const QByteArray &bytes) {
    QFile file(dir + QLatin1Char('/') + kFileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString &dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

QString hexArgument(const QString &text) {
    return QString::fromLatin1(text.toUtf8().toHex());
}
QString fromHexArgument(const QString &argument) {
    return QString::fromUtf8(QByteArray::fromHex(argument.toLatin1()));
}

// Returns what the child wrote to standard error, or "crashed" when it did not finish cleanly.
QByteArray runChild(const QStringList &arguments, QByteArray *output = nullptr) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        return "crashed";
    if (output != nullptr)
        *output = child.readAllStandardOutput();
    return child.readAllStandardError();
}

QByteArray writeInChild(const QString &dir, const QString &key, const QString &text) {
    return runChild({kWriteMode, hexArgument(dir), hexArgument(key), hexArgument(text)});
}

// The value as the next start of the utility would see it, as UTF-8, or kAbsent.
QByteArray readInChild(const QString &dir, const QString &key) {
    QByteArray output;
    const QByteArray errors = runChild({kReadMode, hexArgument(dir), hexArgument(key)}, &output);
    return errors == "crashed" ? errors : output;
}

QByteArray writeInRemovedFolder(const QString &dir, const QString &key, const QString &text) {
    return runChild({kWriteInRemovedMode, hexArgument(dir), hexArgument(key), hexArgument(text)});
}

QByteArray lostWriteLine(const QString &dir, const QString &key) {
    return QStringLiteral("UserSetting.ini: could not write \"%1\" to %2/%3\n")
        .arg(key, QDir(dir).canonicalPath(), kFileName)
        .toUtf8();
}

// Root, and any process that may override file permissions, writes into a read-only folder.
bool permissionsStopWrites() {
    const QTemporaryDir scratch;
    const QString folder = scratch.path() + QStringLiteral("/probe");
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    QFile file(folder + QStringLiteral("/f"));
    const bool stopped = !file.open(QIODevice::WriteOnly);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return stopped;
}

void addDamagedRows() {
    QTest::addColumn<QByteArray>("damage");
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(static_cast<char>((i * 37 + 11) & 0xff));
    QTest::newRow("binary junk") << junk;
    QTest::newRow("NUL bytes") << QByteArray("[General]\n") + QByteArray(64, '\0') + "\nx=1\n";
    QTest::newRow("lines without =") << QByteArray("no equals here\n[General]\njust text\n");
    QTest::newRow("huge line") << QByteArray(16 * 1024 * 1024, 'x');
    QTest::newRow("unterminated section") << QByteArray("[General\nKEY_Eyeshield\n[x\n");
    QTest::newRow("unterminated quote") << QByteArray("[General]\na=\"open\nb=2\n");
    QTest::newRow("invalid UTF-8") << QByteArray("[General]\n\xff\xfe\x80\n\xc3(\n");
}

} // namespace

Q_DECLARE_METATYPE(Obstacle)
Q_DECLARE_METATYPE(SpecialFile)

class UserSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup() {
        if (m_busy) {
            m_busy->kill();
            m_busy->waitForFinished();
            m_busy.reset();
        }
        QFile::setPermissions(m_dir->path() + QStringLiteral("/locked"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(QDir::setCurrent(m_previous));
        m_dir.reset();
    }

    void instanceIsShared() {
        UserSettings *first = UserSettings::instance();
        QVERIFY(first != nullptr);
        QCOMPARE(UserSettings::instance(), first);
    }

    void absentFileReadsInvalidAndFirstWriteCreatesIt() {
        const QVariant absent = UserSettings::instance()->value(kKey);
        QVERIFY(!absent.isValid());
        QVERIFY(absent.toString().isEmpty());
        QVERIFY(entries(m_dir->path()).isEmpty());

        UserSettings::instance()->setValue(kKey, kEnable);
        QCOMPARE(rawFile(m_dir->path()), QByteArray("[General]\nKEY_Eyeshield=EnableEyeshield\n"));
        QCOMPARE(entries(m_dir->path()), QStringList{kFileName});
        QCOMPARE(UserSettings::instance()->value(kKey).toString(), kEnable);
    }

    void secondWriteReplacesFirst() {
        UserSettings::instance()->setValue(kKey, kEnable);
        UserSettings::instance()->setValue(kKey, kDisable);
        const QByteArray raw = rawFile(m_dir->path());
        QCOMPARE(raw.count("KEY_Eyeshield="), 1);
        QVERIFY(raw.contains("KEY_Eyeshield=DisableEyeshield\n"));
        QCOMPARE(readInChild(m_dir->path(), kKey), kDisable.toUtf8());
    }

    void keysOfOtherProgramsSurvive() {
        QVERIFY(
            writeRawFile(m_dir->path(), "[General]\nForeign=keep me\n\n[Other]\nColour=blue\n"));
        UserSettings::instance()->setValue(kKey, kEnable);
        const QByteArray raw = rawFile(m_dir->path());
        QVERIFY(raw.startsWith("[General]\n"));
        QVERIFY(raw.contains("\nKEY_Eyeshield=EnableEyeshield\n"));
        QVERIFY(raw.contains("\nForeign=keep me\n"));
        QVERIFY(raw.contains("\n[Other]\nColour=blue\n"));
        QCOMPARE(readInChild(m_dir->path(), QStringLiteral("Foreign")), QByteArray("keep me"));
        QCOMPARE(readInChild(m_dir->path(), QStringLiteral("Other/Colour")), QByteArray("blue"));
    }

    void followsTheWorkingDirectoryOfTheMoment() {
        const QString first = m_dir->path();
        const QString second = first + QStringLiteral("/second");
        QVERIFY(QDir().mkpath(second));
        UserSettings::instance()->setValue(kKey, kEnable);
        const QByteArray firstFile = rawFile(first);

        QVERIFY(QDir::setCurrent(second));
        QVERIFY(!UserSettings::instance()->value(kKey).isValid());
        UserSettings::instance()->setValue(kKey, kDisable);
        QCOMPARE(UserSettings::instance()->value(kKey).toString(), kDisable);
        QCOMPARE(rawFile(first), firstFile);
        QVERIFY(rawFile(second).contains("KEY_Eyeshield=DisableEyeshield"));

        QVERIFY(QDir::setCurrent(first));
        QCOMPARE(UserSettings::instance()->value(kKey).toString(), kEnable);
    }

    void nonAsciiTextRoundTrips_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("path") << QString();
        QTest::newRow("words") << QStringLiteral("Grüße aus Köln, 日本語, \"quoted\" ; = \\");
    }

    void nonAsciiTextRoundTrips() {
        QFETCH(QString, text);
        const QString folder = m_dir->path() + QStringLiteral("/Ordner Ü ß 日本");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir::setCurrent(folder));
        if (text.isEmpty())
            text = QDir::currentPath() + QStringLiteral("/Datei Ü.exe");
        UserSettings::instance()->setValue(kKey, text);
        QCOMPARE(UserSettings::instance()->value(kKey).toString(), text);
        QCOMPARE(QString::fromUtf8(readInChild(folder, kKey)), text);
        QCOMPARE(entries(folder), QStringList{kFileName});
    }

    void damagedFileReadsAsEmpty_data() { addDamagedRows(); }

    void damagedFileReadsAsEmpty() {
        QFETCH(QByteArray, damage);
        QVERIFY(writeRawFile(m_dir->path(), damage));
        QVERIFY(!UserSettings::instance()->value(kKey).isValid());
        QCOMPARE(rawFile(m_dir->path()), damage);
    }

    void writeThatLandsIsSilent_data() {
        addDamagedRows();
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("file of other keys") << QByteArray("[General]\nForeign=1\n");
    }

    void writeThatLandsIsSilent() {
        QFETCH(QByteArray, damage);
        if (!damage.isEmpty())
            QVERIFY(writeRawFile(m_dir->path(), damage));
        QCOMPARE(writeInChild(m_dir->path(), kKey, kEnable), QByteArray());
        QCOMPARE(readInChild(m_dir->path(), kKey), kEnable.toUtf8());
        QVERIFY(rawFile(m_dir->path()).contains("\nKEY_Eyeshield=EnableEyeshield\n"));
        QCOMPARE(entries(m_dir->path()), QStringList{kFileName});
    }

    void lostWriteIsReportedOnce_data() {
        QTest::addColumn<Obstacle>("obstacle");
        QTest::newRow("file name taken by a folder") << Obstacle::DirectoryInTheWay;
        QTest::newRow("working directory in /proc") << Obstacle::ProcFileSystem;
        QTest::newRow("empty key") << Obstacle::EmptyKey;
        QTest::newRow("damaged file of a running program") << Obstacle::BusyDamagedFile;
        QTest::newRow("lock held by another program") << Obstacle::LockHeldByAnotherProgram;
        QTest::newRow("lock name taken by a folder") << Obstacle::LockNameTakenByAFolder;
        QTest::newRow("lock is a FIFO") << Obstacle::LockIsAFifo;
        QTest::newRow("lock is a link") << Obstacle::LockIsALink;
        if (!permissionsStopWrites())
            return;
        QTest::newRow("read-only folder") << Obstacle::ReadOnlyFolder;
        QTest::newRow("read-only folder with file") << Obstacle::ReadOnlyFolderWithFile;
        QTest::newRow("read-only damaged file") << Obstacle::ReadOnlyDamagedFile;
    }

    void lostWriteIsReportedOnce() {
        QFETCH(Obstacle, obstacle);
        QString dir = m_dir->path() + QStringLiteral("/locked");
        QVERIFY(QDir().mkpath(dir));
        QString key = kKey;
        QByteArray previous = kAbsent;
        switch (obstacle) {
        case Obstacle::DirectoryInTheWay:
            QVERIFY(QDir().mkpath(dir + QLatin1Char('/') + kFileName));
            break;
        case Obstacle::ProcFileSystem:
            dir = QStringLiteral("/proc");
            break;
        case Obstacle::EmptyKey:
            key.clear();
            break;
        case Obstacle::BusyDamagedFile: {
            const QString program = QStandardPaths::findExecutable(QStringLiteral("sleep"));
            QVERIFY(!program.isEmpty());
            const QString busy = dir + QLatin1Char('/') + kFileName;
            QVERIFY(QFile::copy(program, busy));
            QFile file(busy);
            QVERIFY(file.open(QIODevice::Append));
            QVERIFY(file.write("\n[damaged\n") > 0);
            file.close();
            if (!runBusy(busy))
                QSKIP("this system lets a running program's file be written");
            break;
        }
        case Obstacle::ReadOnlyFolderWithFile:
            QVERIFY(writeRawFile(dir, "[General]\nKEY_Eyeshield=DisableEyeshield\n"));
            QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
            previous = kDisable.toUtf8();
            break;
        case Obstacle::ReadOnlyDamagedFile:
            QVERIFY(writeRawFile(dir, "\x01junk\n[damaged\nKEY_Eyeshield\n"));
            QVERIFY(QFile::setPermissions(dir + QLatin1Char('/') + kFileName, QFile::ReadOwner));
            QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
            break;
        case Obstacle::ReadOnlyFolder:
            QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
            break;
        case Obstacle::LockHeldByAnotherProgram:
            QVERIFY(writeRawFile(dir, "[General]\nKEY_Eyeshield=DisableEyeshield\n"));
            previous = kDisable.toUtf8();
            QVERIFY(holdLock(dir));
            break;
        case Obstacle::LockNameTakenByAFolder:
            QVERIFY(QDir().mkpath(dir + QLatin1Char('/') + kFileName + QStringLiteral(".lock")));
            break;
        case Obstacle::LockIsAFifo:
            QCOMPARE(mkfifo(QFile::encodeName(dir + QLatin1Char('/') + kFileName +
                                              QStringLiteral(".lock"))
                                .constData(),
                            0600),
                     0);
            break;
        case Obstacle::LockIsALink:
            QVERIFY(writeRawFile(m_dir->path(), "12345\nother\nhost\n"));
            QVERIFY(QFile::link(m_dir->filePath(kFileName),
                                dir + QLatin1Char('/') + kFileName + QStringLiteral(".lock")));
            break;
        }
        const QByteArray before = rawFile(dir);
        const QStringList contents = entries(dir);

        QCOMPARE(writeInChild(dir, key, kEnable), lostWriteLine(dir, key));
        QCOMPARE(rawFile(dir), before);
        // Processes come and go in /proc while the test runs; nothing of ours may appear.
        if (obstacle == Obstacle::ProcFileSystem)
            QVERIFY(!entries(dir).contains(kFileName));
        else
            QCOMPARE(entries(dir), contents);
        if (!key.isEmpty())
            QCOMPARE(readInChild(dir, key), previous);
    }

    // Opening a FIFO waits for a writer and a device never ends; Qt would also replace
    // either with a regular file. Reads see no value, writes are reported, and the path
    // is what it was.
    void specialFileIsLeftAlone_data() {
        QTest::addColumn<SpecialFile>("special");
        QTest::newRow("FIFO") << SpecialFile::Fifo;
        QTest::newRow("link to a FIFO") << SpecialFile::LinkToFifo;
        QTest::newRow("link to a character device") << SpecialFile::LinkToDevice;
        QTest::newRow("link to a folder") << SpecialFile::LinkToFolder;
    }

    void specialFileIsLeftAlone() {
        QFETCH(SpecialFile, special);
        const QString dir = m_dir->path() + QStringLiteral("/special");
        QVERIFY(QDir().mkpath(dir));
        const QString path = dir + QLatin1Char('/') + kFileName;
        const QString target = m_dir->filePath(QStringLiteral("target"));
        switch (special) {
        case SpecialFile::Fifo:
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            break;
        case SpecialFile::LinkToFifo:
            QCOMPARE(mkfifo(QFile::encodeName(target).constData(), 0600), 0);
            QVERIFY(QFile::link(target, path));
            break;
        case SpecialFile::LinkToDevice:
            // A node of the endless zero device, made here so that nothing shared is at risk.
            if (mknod(QFile::encodeName(target).constData(), S_IFCHR | 0600, makedev(1, 5)) != 0)
                QSKIP("this system does not let the test make a device node");
            QVERIFY(QFile::link(target, path));
            break;
        case SpecialFile::LinkToFolder:
            QVERIFY(QDir().mkpath(target));
            QVERIFY(QFile::link(target, path));
            break;
        }
        const PathKind link = pathKind(path);
        const PathKind pointee = pathKind(target);
        const QStringList contents = entries(dir);

        QCOMPARE(writeInChild(dir, kKey, kEnable), lostWriteLine(dir, kKey));
        QCOMPARE(readInChild(dir, kKey), kAbsent);
        QCOMPARE(pathKind(path), link);
        QCOMPARE(pathKind(target), pointee);
        QCOMPARE(entries(dir), contents);
    }

    // Qt gives no current path for a folder that was removed, and would then write at the
    // root of the file system.
    void removedWorkingFolderIsReported() {
        if (QFileInfo::exists(QStringLiteral("/") + kFileName))
            QSKIP("the root folder already holds a settings file");
        const QString dir = m_dir->path() + QStringLiteral("/removed");
        QVERIFY(QDir().mkpath(dir));
        QCOMPARE(writeInRemovedFolder(dir, kKey, kEnable),
                 QByteArray("UserSetting.ini: could not write \"KEY_Eyeshield\" to "
                            "./UserSetting.ini\nabsent"));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/") + kFileName));
        QVERIFY(!QFileInfo::exists(dir));
    }

private:
    // Another program that keeps the settings lock until it is killed: the write must give up.
    bool holdLock(const QString &dir) {
        m_busy = std::make_unique<QProcess>();
        m_busy->start(QCoreApplication::applicationFilePath(), {kHoldLockMode, hexArgument(dir)});
        return m_busy->waitForStarted() && m_busy->waitForReadyRead(10000) &&
               m_busy->readAllStandardOutput() == "held";
    }

    // A running program's file cannot be opened for writing, not even by root.
    bool runBusy(const QString &program) {
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_busy = std::make_unique<QProcess>();
        m_busy->start(program, {QStringLiteral("60")});
        QFile file(program);
        return m_busy->waitForStarted() && !file.open(QIODevice::ReadWrite);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_busy;
    QString m_previous;
};

// The child modes do one call in the given folder and exit; anything else runs the tests.
int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 5 && arguments.at(1) == kWriteMode) {
        if (!QDir::setCurrent(fromHexArgument(arguments.at(2))))
            return 2;
        UserSettings::instance()->setValue(fromHexArgument(arguments.at(3)),
                                           fromHexArgument(arguments.at(4)));
        return 0;
    }
    if (arguments.size() == 4 && arguments.at(1) == kReadMode) {
        if (!QDir::setCurrent(fromHexArgument(arguments.at(2))))
            return 2;
        const QVariant value = UserSettings::instance()->value(fromHexArgument(arguments.at(3)));
        const QByteArray text = value.isValid() ? value.toString().toUtf8() : kAbsent;
        return std::fwrite(text.constData(), 1, text.size(), stdout) == std::size_t(text.size())
                   ? 0
                   : 3;
    }
    if (arguments.size() == 5 && arguments.at(1) == kWriteInRemovedMode) {
        const QString dir = fromHexArgument(arguments.at(2));
        if (!QDir::setCurrent(dir) || !QDir().rmdir(dir))
            return 2;
        UserSettings::instance()->setValue(fromHexArgument(arguments.at(3)),
                                           fromHexArgument(arguments.at(4)));
        const QVariant value = UserSettings::instance()->value(fromHexArgument(arguments.at(3)));
        // The report went to standard error; the parent reads both in one stream.
        std::fputs(value.isValid() ? "present" : "absent", stderr);
        return 0;
    }
    if (arguments.size() == 3 && arguments.at(1) == kHoldLockMode) {
        QLockFile lock(fromHexArgument(arguments.at(2)) + QLatin1Char('/') + kFileName +
                       QStringLiteral(".lock"));
        if (!lock.lock())
            return 2;
        std::fputs("held", stdout);
        std::fflush(stdout);
        ::pause();
        return 0;
    }
    UserSettingsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_usersettings.moc"
