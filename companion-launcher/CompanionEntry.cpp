// The entry of a companion program built as a library in bin\: its launcher calls it in the
// launcher's own process.
#include <QCoreApplication>
#include <QString>

// The program's main, renamed by the build.
int hlxCompanionMain(int argc, char **argv);

extern "C" __declspec(dllexport) int hlxRunCompanion(int argc, char **argv,
                                                     const wchar_t *qtFolder) {
    // Qt looks for its plugins beside the executable, which is the launcher, far from them.
    QCoreApplication::addLibraryPath(QString::fromWCharArray(qtFolder));
    return hlxCompanionMain(argc, argv);
}
