// Saves what the X server shows, or one window of it, so a person without a screen can look at
// the utility.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <cstdio>

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2 && arguments.size() != 3) {
        std::fprintf(stderr, "usage: screenshot FILE.png [WINDOW-ID]\n");
        return 2;
    }
    // An X window id as xwininfo prints it (0x...), or the whole screen without one.
    WId window = 0;
    if (arguments.size() == 3) {
        bool ok = false;
        window = arguments.at(2).toULongLong(&ok, 0);
        if (!ok) {
            std::fprintf(stderr, "screenshot: %s is no window id\n", argv[2]);
            return 2;
        }
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || !screen->grabWindow(window).save(arguments.at(1), "PNG")) {
        std::fprintf(stderr, "screenshot: could not grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
