#include "HeadsetDesk.h"

#include <QElapsedTimer>
#include <QThread>

#include <xcb/randr.h>

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

const QString edidDir = QStringLiteral(HLX_EDID_DIR);

// The modes DUMMY1 takes in the cases and benches, as xrandr's mode lines: the common 1080p, at
// 60 Hz and at half that, an old square monitor's for DUMMY0, and a Valve Index's own, as its EDID
// lists them (at 90 Hz with the long vertical blanking that keeps its panel's persistence low).
const struct {
    const char *name;
    QStringList line;
} knownModes[] = {
    {"1920x1080_60",
     {"148.50", "1920", "2008", "2052", "2200", "1080", "1084", "1089", "1125", "+hsync",
      "+vsync"}},
    {"1920x1080_30",
     {"74.25", "1920", "2008", "2052", "2200", "1080", "1084", "1089", "1125", "+hsync", "+vsync"}},
    {"1280x1024_60",
     {"108.00", "1280", "1328", "1440", "1688", "1024", "1025", "1028", "1066", "+hsync",
      "+vsync"}},
    {"2880x1600_90",
     {"686.000", "2880", "2888", "2920", "2960", "1600", "2565", "2571", "2575", "-hsync",
      "-vsync"}},
    {"2880x1600_144",
     {"687.100", "2880", "2888", "2920", "2960", "1600", "1603", "1609", "1612", "-hsync",
      "-vsync"}},
};

uint32_t pixelOf(QColor colour) {
    return colour.rgb() & 0xffffffu;
}

} // namespace

bool closeTo(QRgb pixel, QColor expected, int tolerance) {
    return std::abs(qRed(pixel) - expected.red()) <= tolerance &&
           std::abs(qGreen(pixel) - expected.green()) <= tolerance &&
           std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

double pictureDifference(const QImage &a, const QImage &b) {
    const QSize grid(64, 36);
    const QImage small = a.scaled(grid, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage other = b.scaled(grid, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int y = 0; y < grid.height(); ++y) {
        for (int x = 0; x < grid.width(); ++x) {
            const QRgb p = small.pixel(x, y), q = other.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * grid.width() * grid.height());
}

HeadsetDesk::HeadsetDesk() {
    if (!m_x.isValid())
        return;
    m_gc = xcb_generate_id(m_x.get());
    xcb_create_gc(m_x.get(), m_gc, m_x.root(), 0, nullptr);
    free(xcb_randr_query_version_reply(m_x.get(), xcb_randr_query_version(m_x.get(), 1, 6),
                                       nullptr));
}

HeadsetDesk::~HeadsetDesk() {
    if (m_gc)
        xcb_free_gc(m_x.get(), m_gc);
    m_x.sync();
}

bool HeadsetDesk::run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool HeadsetDesk::offerMode(const QString &name, const char *output) {
    if (m_offeredModes.count({name, output}))
        return true;
    for (const auto &mode : knownModes) {
        if (name != QLatin1String(mode.name))
            continue;
        // Another desk on the same server may have made the mode already.
        run(QStringLiteral("xrandr"), QStringList{"--newmode", name} + mode.line);
        if (!run(QStringLiteral("xrandr"), {"--addmode", output, name}))
            return false;
        m_offeredModes.insert({name, output});
        return true;
    }
    return false;
}

bool HeadsetDesk::resetPrimary() {
    return run(QStringLiteral("xrandr"),
               {"--output", "DUMMY0", "--mode", "1024x768", "--pos", "0x0"});
}

bool HeadsetDesk::setDummy1(Dummy1 state) {
    // DUMMY1's cases have always had a mode on it, kept off the desktop or not.
    return setOutput("DUMMY1", state, "DUMMY0", true);
}

bool HeadsetDesk::setDummy2(Dummy1 state) {
    return setOutput("DUMMY2", state, outputRect("DUMMY1").isEmpty() ? "DUMMY0" : "DUMMY1", false);
}

bool HeadsetDesk::removeEdid(const char *output) {
    return run(QStringLiteral(HLX_SET_OUTPUT_EDID), {output}) &&
           m_x.reply(xcb_randr_get_screen_resources_reply,
                     xcb_randr_get_screen_resources(m_x.get(), m_x.root())) != nullptr;
}

bool HeadsetDesk::setOutput(const char *output, Dummy1 state, const char *rightOf,
                            bool modeOffDesktop) {
    const QString xrandr = QStringLiteral("xrandr");
    if (!offerMode(QStringLiteral("1920x1080_60"), output))
        return false;
    const QStringList mode{"--output", output, "--mode", "1920x1080_60", "--right-of", rightOf};
    // The dummy driver counts an output connected once it has had a mode, and the server drops
    // the EDID of one that is not.
    bool ok = true;
    if (state != Dummy1::Unplugged && !m_connected.count(output)) {
        ok = run(xrandr, mode);
        m_connected.insert(output);
    }
    QStringList edid{output};
    if (state != Dummy1::Unplugged)
        edid << (state == Dummy1::Monitor ? edidDir + "/monitors/dell-e2219hn.hex"
                                          : edidDir + "/headsets/valve-index.hex");
    ok = ok &&
         run(xrandr, {"--output", output, "--set", "non-desktop",
                      state == Dummy1::NonDesktop ? "1" : "0"}) &&
         run(QStringLiteral(HLX_SET_OUTPUT_EDID), edid);
    const bool driven = state == Dummy1::Headset || state == Dummy1::Monitor ||
                        (state == Dummy1::NonDesktop && modeOffDesktop);
    if (driven)
        ok = ok && run(xrandr, mode);
    else
        ok = ok && run(xrandr, {"--output", output, "--off"});
    // What a hotplug has the server do: ask the driver again which outputs are connected, which
    // the dummy driver otherwise answers only to a client that probes, as xrandr --query does.
    return ok && m_x.reply(xcb_randr_get_screen_resources_reply,
                           xcb_randr_get_screen_resources(m_x.get(), m_x.root())) != nullptr;
}

bool HeadsetDesk::setConnectorId(const char *output, uint32_t connectorId) {
    xcb_connection_t *c = m_x.get();
    auto resources = m_x.reply(xcb_randr_get_screen_resources_current_reply,
                               xcb_randr_get_screen_resources_current(c, m_x.root()));
    if (!resources)
        return false;
    const xcb_randr_output_t *outputs =
        xcb_randr_get_screen_resources_current_outputs(resources.get());
    const xcb_atom_t property = m_x.atom("CONNECTOR_ID");
    for (int i = 0; i < resources->num_outputs; ++i) {
        auto info = m_x.reply(xcb_randr_get_output_info_reply,
                              xcb_randr_get_output_info(c, outputs[i], XCB_CURRENT_TIME));
        if (!info ||
            QByteArray(reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
                       xcb_randr_get_output_info_name_length(info.get())) != output)
            continue;
        if (connectorId == 0)
            xcb_randr_delete_output_property(c, outputs[i], property);
        else
            xcb_randr_change_output_property(c, outputs[i], property, XCB_ATOM_INTEGER, 32,
                                             XCB_PROP_MODE_REPLACE, 1, &connectorId);
        return m_x.sync();
    }
    return false;
}

uint32_t HeadsetDesk::crtcOf(const char *name) {
    xcb_connection_t *c = m_x.get();
    auto resources = m_x.reply(xcb_randr_get_screen_resources_current_reply,
                               xcb_randr_get_screen_resources_current(c, m_x.root()));
    if (!resources)
        return XCB_NONE;
    const xcb_randr_output_t *outputs =
        xcb_randr_get_screen_resources_current_outputs(resources.get());
    for (int i = 0; i < resources->num_outputs; ++i) {
        auto info = m_x.reply(xcb_randr_get_output_info_reply,
                              xcb_randr_get_output_info(c, outputs[i], XCB_CURRENT_TIME));
        if (info && info->crtc != XCB_NONE &&
            QByteArray(reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
                       xcb_randr_get_output_info_name_length(info.get())) == name)
            return info->crtc;
    }
    return XCB_NONE;
}

QRect HeadsetDesk::outputRect(const char *name) {
    const uint32_t crtc = crtcOf(name);
    if (crtc == XCB_NONE)
        return QRect();
    auto info = m_x.reply(xcb_randr_get_crtc_info_reply,
                          xcb_randr_get_crtc_info(m_x.get(), crtc, XCB_CURRENT_TIME));
    if (info && info->mode != XCB_NONE)
        return QRect(info->x, info->y, info->width, info->height);
    return QRect();
}

HeadsetDesk::GammaTable HeadsetDesk::gamma(const char *output) {
    const uint32_t crtc = crtcOf(output);
    if (crtc == XCB_NONE)
        return {};
    auto table =
        m_x.reply(xcb_randr_get_crtc_gamma_reply, xcb_randr_get_crtc_gamma(m_x.get(), crtc));
    if (!table)
        return {};
    const auto channel = [&](const uint16_t *values) {
        return std::vector<uint16_t>(values, values + table->size);
    };
    return {channel(xcb_randr_get_crtc_gamma_red(table.get())),
            channel(xcb_randr_get_crtc_gamma_green(table.get())),
            channel(xcb_randr_get_crtc_gamma_blue(table.get()))};
}

QString HeadsetDesk::stereoProblem(const QImage &scene) {
    if (scene.isNull())
        return QStringLiteral("no picture");
    const int half = scene.width() / 2;
    const auto colours = [&](int x0) {
        std::set<QRgb> seen;
        for (int y = 0; y < scene.height() && seen.size() < 64; y += 4)
            for (int x = x0; x < x0 + half; x += 4)
                seen.insert(scene.pixel(x, y) & 0xffffff);
        return seen.size();
    };
    int differing = 0;
    for (int y = 0; y < scene.height(); y += 2)
        for (int x = 0; x < half; x += 2)
            differing += scene.pixel(x, y) != scene.pixel(half + x, y);
    const size_t left = colours(0), right = colours(half);
    if (left >= 32 && right >= 32 && differing > half * scene.height() / 400)
        return QString();
    return QStringLiteral("%1 and %2 colours, %3 pixels differ")
        .arg(left)
        .arg(right)
        .arg(differing);
}

bool HeadsetDesk::startCapturer(QProcess &process, QProcess::ProcessChannelMode channels) {
    process.setProcessChannelMode(channels);
    process.start(QStringLiteral(HLX_PICTOR_PATH), QStringList());
    return process.waitForStarted(5000);
}

qint64 HeadsetDesk::markOf(xcb_window_t window) {
    auto reply = m_x.reply(xcb_get_property_reply,
                           xcb_get_property(m_x.get(), 0, window, m_x.atom("_HLX_DISPLAY_CAPTURER"),
                                            XCB_ATOM_CARDINAL, 0, 1));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4)
        return 0;
    return *static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
}

std::vector<xcb_window_t> HeadsetDesk::capturerWindows() {
    std::vector<xcb_window_t> marked;
    for (xcb_window_t window : m_client.findTopLevels("Pictor", QString())) {
        if (markOf(window) != 0 && m_client.isViewable(window))
            marked.push_back(window);
    }
    return marked;
}

xcb_window_t HeadsetDesk::waitForCapturerWindow() {
    QElapsedTimer waited;
    waited.start();
    for (; waited.elapsed() < 10000; QThread::msleep(20)) {
        const std::vector<xcb_window_t> found = capturerWindows();
        if (found.size() == 1)
            return found.front();
    }
    return 0;
}

bool HeadsetDesk::closeCapturer(QProcess &process, xcb_window_t window) {
    return m_client.sendDeleteWindow(window) && process.waitForFinished(10000) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

xcb_window_t HeadsetDesk::showPattern(const QRect &rect, const QVector<QColor> &colours,
                                      int columns) {
    const xcb_window_t window = xcb_generate_id(m_x.get());
    const uint32_t values[] = {0, 1, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(m_x.get(), XCB_COPY_FROM_PARENT, window, m_x.root(), int16_t(rect.x()),
                      int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height()), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(m_x.get(), window);
    m_x.sync();
    const int rows = (colours.size() + columns - 1) / columns;
    for (int i = 0; i < colours.size(); ++i) {
        const int column = i % columns;
        const int row = i / columns;
        const int x0 = rect.width() * column / columns;
        const int y0 = rect.height() * row / rows;
        fill(window,
             QRect(x0, y0, rect.width() * (column + 1) / columns - x0,
                   rect.height() * (row + 1) / rows - y0),
             colours[i]);
    }
    m_x.sync();
    return window;
}

void HeadsetDesk::fill(xcb_window_t window, const QRect &rect, QColor colour) {
    const uint32_t foreground = pixelOf(colour);
    xcb_change_gc(m_x.get(), m_gc, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t area = {int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
                                  uint16_t(rect.height())};
    xcb_poly_fill_rectangle(m_x.get(), window, m_gc, 1, &area);
    xcb_flush(m_x.get());
}

void HeadsetDesk::destroy(xcb_window_t window) {
    xcb_destroy_window(m_x.get(), window);
    m_x.sync();
}

void HeadsetDesk::resize(xcb_window_t window, const QSize &size) {
    const uint32_t values[] = {uint32_t(size.width()), uint32_t(size.height())};
    xcb_configure_window(m_x.get(), window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    m_x.sync();
}

QImage HeadsetDesk::grab(const QRect &rootRect) {
    auto reply =
        m_x.reply(xcb_get_image_reply,
                  xcb_get_image(m_x.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, m_x.root(),
                                int16_t(rootRect.x()), int16_t(rootRect.y()),
                                uint16_t(rootRect.width()), uint16_t(rootRect.height()), ~0u));
    const size_t bytes = size_t(rootRect.width()) * size_t(rootRect.height()) * 4;
    if (!reply || size_t(xcb_get_image_data_length(reply.get())) < bytes)
        return QImage();
    QImage image(rootRect.size(), QImage::Format_RGB32);
    std::memcpy(image.bits(), xcb_get_image_data(reply.get()), bytes);
    return image;
}
