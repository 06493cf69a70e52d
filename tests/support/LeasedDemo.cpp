#include "LeasedDemo.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

// A loaded machine's first start of a Qt program, and its first frames, take seconds.
constexpr int kWithinMs = 30000;

} // namespace

LeasedDemo::LeasedDemo(testsupport::X11Client &client)
    : m_client(client) {}

LeasedDemo::~LeasedDemo() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

bool LeasedDemo::start() {
    if (!m_folder.isValid())
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HLX_DRM_STANDIN_DIR", m_folder.path());
    environment.insert("HLX_DRM_STANDIN_READS", "count");
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(QStringLiteral(LUMESHOW_DRM_STANDIN_PATH), {"-screen-fullscreen", "1"});
    if (!m_process.waitForStarted(10000))
        return false;
    return QTest::qWaitFor(
        [&] {
            const QByteArray named = property(m_x.root(), "_HLX_DIRECT_DEMO");
            if (named.size() != 4)
                return false;
            m_window = *reinterpret_cast<const xcb_window_t *>(named.constData());
            return property(m_window, "_HLX_DIRECT_OUTPUT") == "DUMMY1";
        },
        kWithinMs);
}

bool LeasedDemo::close() {
    if (m_window == XCB_NONE || !m_client.sendDeleteWindow(m_window))
        return false;
    return m_process.waitForFinished(kWithinMs) && m_process.exitStatus() == QProcess::NormalExit &&
           m_process.exitCode() == 0 && property(m_x.root(), "_HLX_DIRECT_DEMO").isEmpty();
}

QByteArray LeasedDemo::property(xcb_window_t window, const QByteArray &name) {
    const auto value =
        m_x.reply(xcb_get_property_reply, xcb_get_property(m_x.get(), 0, window, m_x.atom(name),
                                                           XCB_GET_PROPERTY_TYPE_ANY, 0, 1024));
    if (!value)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(value.get())),
                      xcb_get_property_value_length(value.get()));
}

std::vector<uint16_t> LeasedDemo::gamma() const {
    const QStringList tables = QDir(m_folder.path()).entryList({"gamma-*"}, QDir::Files);
    if (tables.size() != 1)
        return {};
    QFile file(m_folder.filePath(tables.first()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<uint16_t> entries(size_t(bytes.size()) / 2);
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i] = uint16_t(uint8_t(bytes[int(2 * i)]) | uint8_t(bytes[int(2 * i + 1)]) << 8);
    return entries;
}

QImage LeasedDemo::lastFlipped() const {
    const QString said = log();
    QRegularExpressionMatch flip;
    QRegularExpressionMatchIterator flips =
        QRegularExpression("^flip \\d+ fb (\\d+) vblank \\d+$", QRegularExpression::MultilineOption)
            .globalMatch(said);
    while (flips.hasNext())
        flip = flips.next();
    if (!flip.hasMatch())
        return QImage();
    const QRegularExpressionMatch framebuffer =
        QRegularExpression(QStringLiteral("^addfb %1 (\\d+)$").arg(flip.captured(1)),
                           QRegularExpression::MultilineOption)
            .match(said);
    if (!framebuffer.hasMatch())
        return QImage();
    const QRegularExpressionMatch buffer =
        QRegularExpression(
            QStringLiteral("^create %1 (\\d+)x(\\d+) pitch (\\d+) ").arg(framebuffer.captured(1)),
            QRegularExpression::MultilineOption)
            .match(said);
    QFile file(m_folder.filePath("buffer-" + framebuffer.captured(1)));
    if (!buffer.hasMatch() || !file.open(QIODevice::ReadOnly))
        return QImage();
    const int width = buffer.captured(1).toInt(), height = buffer.captured(2).toInt();
    const int pitch = buffer.captured(3).toInt();
    const QByteArray pixels = file.readAll();
    if (pitch < width * 4 || pixels.size() < qint64(pitch) * height)
        return QImage();
    return QImage(reinterpret_cast<const uchar *>(pixels.constData()), width, height, pitch,
                  QImage::Format_RGB32)
        .copy();
}

int LeasedDemo::frameClients() {
    const QByteArray path = property(m_window, "_HLX_DIRECT_FRAMES");
    QFile sockets("/proc/net/unix");
    if (path.isEmpty() || !sockets.open(QIODevice::ReadOnly))
        return -1;
    // Num RefCount Protocol Flags Type St Inode Path: the server's end of each accepted
    // connection carries the path, connected (state 03); the listening one is unconnected.
    int clients = 0;
    for (const QByteArray &line : sockets.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        clients += fields.size() == 8 && fields[7] == path && fields[5] == "03";
    }
    return clients;
}

int LeasedDemo::pagesRead() const {
    int pages = 0;
    QRegularExpressionMatchIterator reads =
        QRegularExpression("^read (\\d+)$", QRegularExpression::MultilineOption).globalMatch(log());
    while (reads.hasNext())
        pages += reads.next().captured(1).toInt();
    return pages;
}

QString LeasedDemo::log() const {
    QFile file(m_folder.filePath("log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
