// The demo's window without a display: where the scene goes in it, and how it reads Windows's
// show command.
#include "DemoWindow.h"
#include "ShowCommand.h"

#include <QtTest>

Q_DECLARE_METATYPE(ShowCommand)

class DemoWindowLogic : public QObject {
    Q_OBJECT
private slots:
    void sceneRect_data();
    void sceneRect();
    void showCommand_data();
    void showCommand();
};

void DemoWindowLogic::sceneRect_data() {
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("same") << QSize(1920, 1080) << QSize(1920, 1080) << QRect(0, 0, 1920, 1080);
    QTest::newRow("centred in a larger display")
        << QSize(1920, 1080) << QSize(2160, 1200) << QRect(120, 60, 1920, 1080);
    QTest::newRow("display smaller, same shape")
        << QSize(1920, 1080) << QSize(1280, 720) << QRect(0, 0, 1280, 720);
    QTest::newRow("display smaller, squarer")
        << QSize(1920, 1080) << QSize(1024, 768) << QRect(0, 96, 1024, 576);
    QTest::newRow("only narrower")
        << QSize(1920, 1080) << QSize(1440, 2560) << QRect(0, 875, 1440, 810);
}

void DemoWindowLogic::sceneRect() {
    QFETCH(QSize, requested);
    QFETCH(QSize, area);
    QTEST(DemoWindow::sceneRect(requested, area), "expected");
}

void DemoWindowLogic::showCommand_data() {
    QTest::addColumn<bool>("useShowWindow");
    QTest::addColumn<int>("showWindow");
    QTest::addColumn<ShowCommand>("expected");

    QTest::newRow("no flag, even with SW_HIDE") << false << 0 << ShowCommand::Normal;
    QTest::newRow("SW_HIDE") << true << 0 << ShowCommand::Hidden;
    QTest::newRow("SW_SHOWNORMAL") << true << 1 << ShowCommand::Normal;
    QTest::newRow("SW_SHOWMINIMIZED") << true << 2 << ShowCommand::Minimized;
    QTest::newRow("SW_SHOWMAXIMIZED") << true << 3 << ShowCommand::Normal;
    QTest::newRow("SW_MINIMIZE") << true << 6 << ShowCommand::Minimized;
    QTest::newRow("SW_SHOWMINNOACTIVE") << true << 7 << ShowCommand::Minimized;
    QTest::newRow("SW_SHOWNA") << true << 8 << ShowCommand::Normal;
    QTest::newRow("SW_FORCEMINIMIZE") << true << 11 << ShowCommand::Minimized;
}

void DemoWindowLogic::showCommand() {
    QFETCH(bool, useShowWindow);
    QFETCH(int, showWindow);
    QTEST(showCommandFromStartupInfo(useShowWindow, showWindow), "expected");
}

QTEST_APPLESS_MAIN(DemoWindowLogic)
#include "tst_demowindow.moc"
