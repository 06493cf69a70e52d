#include "MainWindow.h"

#include "DemoLauncher.h"
#include "DeviceLibrary.h"
#include "DeviceMessage.h"
#include "DeviceProxy.h"
#include "Event.h"
#include "NamedConstants.h"
#include "Platform.h"
#include "TrayMenu.h"
#include "UserSettings.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QImageReader>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace {

const char kIconPath[] = ":/new/icon/imges/myicon.png";
const char kNoHmdPath[] = ":/new/icon/imges/NoHMD.png";
const char kLogoPath[] = ":/new/icon/imges/vnlogo.png";

QPalette textPalette(Qt::GlobalColor colour) {
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::WindowText, QBrush(colour, Qt::SolidPattern));
    return palette;
}

// Drawn for the scale of the screen the window is on, from the 2x image wherever that is above
// 100 %, so that no picture is stretched from its 1x pixels. The size asked for is the 1x
// image's: it is the picture's size in the form's units.
QPixmap pictureFor(QWindow *window, const char *path) {
    return QIcon(path).pixmap(window, QImageReader(path).size());
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , hdmiReady(false)
    , usbReady(false) {
    ui->setupUi(this);
    setWindowIcon(QIcon(kIconPath));
    setWindowTitle(hlx::kWindowTitle);
    createTrayIcon();
    joinEventChain();
}

MainWindow::~MainWindow() {
    delete ui;
}

void MainWindow::updateHmdState() {
    const QPalette ready = textPalette(Qt::green);
    const QPalette notReady = textPalette(Qt::red);

    const char *text = nullptr;
    if (hdmiReady && usbReady)
        text = "both HDMI and USB are ready";
    else if (hdmiReady)
        text = "HDMI is ready and USB is not ready";
    else if (usbReady)
        text = "HDMI is not ready and USB is ready";
    else
        text = "both HDMI and USB are not ready";
    const bool bothReady = hdmiReady && usbReady;

    ui->label_HMD_State->setText(text);
    ui->label_HMD_State->setPalette(bothReady ? ready : notReady);
    showPicture();
}

void MainWindow::showPicture() {
    const char *path = hdmiReady && usbReady ? kLogoPath : kNoHmdPath;
    ui->label_image_HMD->setPixmap(pictureFor(windowHandle(), path));
}

bool MainWindow::event(QEvent *event) {
    // On a screen of another scale Qt lays the form out again by itself; only the picture,
    // drawn for the old scale, has to be drawn anew. Until the first link message the label
    // shows its text, which needs nothing.
    if (event->type() == QEvent::ScreenChangeInternal &&
        !ui->label_image_HMD->pixmap(Qt::ReturnByValue).isNull())
        showPicture();
    return QMainWindow::event(event);
}

bool MainWindow::nativeEventFilter(const QByteArray &eventType, void *message, long *) {
    const platform::NativeMessage native =
        platform::readNativeMessage(eventType.constData(), message);
    if (!native.isNative)
        return false;

    // The first native event loads the device library. While its error boxes are open the
    // fetch gives nothing, and the numbers below are all still 0.
    DeviceLibrary::instance();
    if (!native.hasNumber)
        return false;

    for (int index = 0; index < kDeviceMessageCount; ++index) {
        if (native.number == DeviceLibrary::messageId(index)) {
            applyDeviceMessage(index);
            break;
        }
    }
    return false;
}

void MainWindow::applyDeviceMessage(int index) {
    switch (index) {
    case MonitorAdded:
        hdmiReady = true;
        break;
    case MonitorRemoved:
        hdmiReady = false;
        break;
    case HidAdded:
        usbReady = true;
        break;
    case HidRemoved:
        usbReady = false;
        break;
    default:
        return;
    }
    updateHmdState();
}

void MainWindow::handleEvent(Event *&event) {
    if (event == nullptr)
        return;
    const QString text = event->text;
    if (text.toStdString() != hlx::kEventTest)
        return;
    QMessageBox::information(nullptr, hlx::kEventTest, "get", QMessageBox::Ok,
                             QMessageBox::NoButton);
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // The utility lives on; only "Close" and the tray's "exit" end it.
    putAway();
    event->ignore();
}

void MainWindow::putAway() {
    // Asked each time: a panel that brings the tray may start after the utility, or go.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        // The device messages reach only a window that exists on the display.
        winId();
        hide();
    } else {
        showMinimized();
    }
}

void MainWindow::createTrayIcon() {
    auto *trayIcon = new QSystemTrayIcon(this);
    trayIcon->setToolTip("Qelto");
    trayIcon->setIcon(QIcon(kIconPath));

    auto *trayMenu = new TrayMenu(this);
    trayIcon->setContextMenu(trayMenu);

    connect(trayMenu, &TrayMenu::appShow, this, [this] { showNormal(); });
    connect(trayMenu, &TrayMenu::appInfo, this, [] {});
    connect(trayMenu, &TrayMenu::appQuit, this, [] { QCoreApplication::exit(0); });
    connect(trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    showNormal();
            });
    trayIcon->setVisible(true);
}

// The proxy stands in front of the window; without one the window simply has no predecessor.
void MainWindow::joinEventChain() {
    if (DeviceProxy *proxy = DeviceProxy::instance())
        proxy->attach(this);
}

// The form carries these entries for features the headset does not offer yet; they are
// wired so that the names stay connected, and deliberately do nothing.
void MainWindow::on_actionAbout_triggered() {}
void MainWindow::on_actionDisplayMode_triggered() {}
void MainWindow::on_actionStopRuntime_triggered() {}
void MainWindow::on_actionStartRuntime_triggered() {}

void MainWindow::on_actionClose_triggered() {
    QCoreApplication::quit();
}
void MainWindow::on_btnClose_clicked() {
    QCoreApplication::quit();
}

// The library shows its own boxes and records the eye-shield choice; these slots only put
// its calls in order.
void MainWindow::on_btnShowDemo_clicked() {
    DeviceLibrary *library = DeviceLibrary::instance();
    if (library == nullptr)
        return;
    if (library->startDisplayCapturer() == -2) {
        QMessageBox::warning(nullptr, "open demo fail", "can not find screen capturer",
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    if (const DemoLauncher *launcher = DemoLauncher::instance())
        launcher->launch();

    const UserSettings *settings = UserSettings::instance();
    const QString choice =
        settings != nullptr ? settings->value(hlx::kKeyEyeshield).toString() : QString();
    if (choice == QLatin1String(hlx::kEnableEyeshield))
        library->enableEyeshield(1);
    else
        library->disableEyeshield();
}

void MainWindow::on_actionDisableEyeshield_triggered() {
    if (DeviceLibrary *library = DeviceLibrary::instance())
        library->disableEyeshield();
}

void MainWindow::on_actionEnableEyeshieldLevel_1_triggered() {
    if (DeviceLibrary *library = DeviceLibrary::instance())
        library->enableEyeshield(1);
}
