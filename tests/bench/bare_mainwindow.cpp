// The yardstick for start-up time and memory: Qt 5 showing an empty main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.show();
    return app.exec();
}
