#include "CompanionWindow.h"
#include "RunRecord.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>

// Stands in for a program that the utility or its device library starts: it shows that it
// runs and with what, and does nothing else.
int main(int argc, char *argv[]) {
    // Taken before the toolkit removes the options it knows, and as the bytes came, whatever
    // the locale says.
    QStringList command;
    for (int index = 0; index < argc; ++index)
        command << QString::fromUtf8(argv[index]);
    QApplication application(argc, argv);
    const QString name = QStringLiteral(HLX_COMPANION_NAME);
    const QString folder = QDir::currentPath();

    const QString recordFile = qEnvironmentVariable("HLX_COMPANION_RECORD");
    if (!recordFile.isEmpty() && !RunRecord::append(recordFile, name, command, folder))
        std::fprintf(stderr, "%s: could not append to %s\n", HLX_COMPANION_NAME,
                     qPrintable(recordFile));

    CompanionWindow window(name, command.mid(1), folder);
    window.adjustSize();
    // Out of the way of the utility, which opens at the top left when no window manager
    // places it, and of a tray along the top: the two stand-ins along the bottom.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QRect frame({0, 0}, window.size());
    if (HLX_COMPANION_ON_THE_RIGHT)
        frame.moveBottomRight(screen.bottomRight());
    else
        frame.moveBottomLeft(screen.bottomLeft());
    window.move(frame.topLeft());
    window.show();
    return application.exec();
}
