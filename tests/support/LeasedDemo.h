#pragma once

#include "X11Client.h"
#include "XcbConnection.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

// The real demo, built over the libdrm stand-in, as it shows on the dummy Xorg's DUMMY1 in direct
// mode: started as a process, known to hold the display by the root window's note, and read
// through what the stand-in writes (the leased CRTC's gamma table, the buffers it scans out, the
// pages of them it read).
class LeasedDemo {
public:
    explicit LeasedDemo(testsupport::X11Client &client);
    ~LeasedDemo();

    // Starts it and waits, as long as a loaded machine needs, until the root names its window as
    // the holder of DUMMY1.
    bool start();
    // Closes its window as a window manager would, and waits until it ended and the root's note
    // went with it.
    bool close();
    xcb_window_t window() const { return m_window; }

    // The leased CRTC's table, red, green and blue after each other; empty while the stand-in
    // has written none.
    std::vector<uint16_t> gamma() const;
    // The buffer of the newest flip the demo asked for, as the stand-in holds its pixels.
    QImage lastFlipped() const;
    QString log() const;
    // Pages of its buffers' mappings that it read, as the stand-in counts them.
    int pagesRead() const;
    // The clients connected to the socket it names for its frames, as the kernel lists them.
    int frameClients();

private:
    QByteArray property(xcb_window_t window, const QByteArray &name);

    testsupport::X11Client &m_client;
    testsupport::XcbConnection m_x;
    QTemporaryDir m_folder;
    QProcess m_process;
    xcb_window_t m_window = XCB_NONE;
};
