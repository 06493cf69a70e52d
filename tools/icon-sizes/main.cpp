// Scales the program's icon to the sizes of the hicolor theme, so the package carries every
// size a desktop asks for and the one picture in ui/imges stays the only source.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 5) {
        std::fprintf(stderr, "usage: icon-sizes SOURCE.png NAME OUTPUT-FOLDER SIZE...\n");
        return 2;
    }
    const QImage source(arguments.at(1));
    if (source.isNull()) {
        std::fprintf(stderr, "icon-sizes: cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    const QString &name = arguments.at(2);
    const QDir output(arguments.at(3));
    for (const QString &sizeText : arguments.mid(4)) {
        bool isNumber = false;
        const int size = sizeText.toInt(&isNumber);
        if (!isNumber || size <= 0) {
            std::fprintf(stderr, "icon-sizes: not a size: %s\n", qPrintable(sizeText));
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = output.filePath(folder + '/' + name + ".png");
        const QImage scaled =
            source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!output.mkpath(folder) || !scaled.save(file, "PNG")) {
            std::fprintf(stderr, "icon-sizes: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
