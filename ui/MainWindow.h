#pragma once

#include "EventHandler.h"

#include <QAbstractNativeEventFilter>
#include <QMainWindow>

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow, public EventHandler, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;
    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    // Redraws the status text and picture from the two link flags.
    void updateHmdState();

    // Follows the device's link messages; lets every event through to Qt.
    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

    // Answers the test event with a box; the chain ends here.
    void handleEvent(Event *&event) override;

    // Out of the way but within reach: hidden when a tray holds the icon, minimised when
    // there is none. Works on a window that was never shown as well.
    void putAway();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_actionAbout_triggered();
    void on_actionClose_triggered();
    void on_actionDisplayMode_triggered();
    void on_btnShowDemo_clicked();
    void on_btnClose_clicked();
    void on_actionStopRuntime_triggered();
    void on_actionStartRuntime_triggered();
    void on_actionDisableEyeshield_triggered();
    void on_actionEnableEyeshieldLevel_1_triggered();

private:
    void createTrayIcon();
    void joinEventChain();
    void applyDeviceMessage(int index);
    void showPicture();

    Ui::MainWindow *ui;
    bool hdmiReady;
    bool usbReady;

    friend class MainWindowTest;
};
