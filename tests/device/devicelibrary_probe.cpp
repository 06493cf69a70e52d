// Drives DeviceLibrary (and the window's native filter) in a process of its own, so that
// every run starts with nothing loaded and nothing registered. The steps come from the
// command line; what happens is printed one line per event for the test to compare.
// Every modal box is answered here, as a user would answer it, after it has been described.

#include "DeviceLibrary.h"
#include "MainWindow.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdio>
#include <memory>

namespace {

void print(const QString &line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void describeAndAnswer(QMessageBox *box) {
    print(QStringLiteral("box title=%1|text=%2|icon=%3|buttons=%4|parent=%5")
              .arg(box->windowTitle(), box->text())
              .arg(int(box->icon()))
              .arg(int(box->standardButtons()))
              .arg(box->parentWidget() != nullptr ? 1 : 0));
    // What a native event arriving now would get from the accessor.
    print(QStringLiteral("nested-instance %1")
              .arg(DeviceLibrary::instance() != nullptr ? "object" : "null"));
    box->button(QMessageBox::Ok)->click();
}

void watchForBoxes(QApplication &app) {
    auto *timer = new QTimer(&app);
    QObject::connect(timer, &QTimer::timeout, [] {
        // Answered once it is on the screen, as a person would: X refuses to focus a window
        // that is not mapped yet, and Qt reports that on standard error, which is under test.
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible() && box->windowHandle() != nullptr &&
            box->windowHandle()->isExposed())
            describeAndAnswer(box);
    });
    timer->start(5);
}

QString ids() {
    QStringList numbers;
    for (int index = 0; index < kDeviceMessageCount; ++index)
        numbers << QString::number(DeviceLibrary::messageId(index));
    return numbers.join(',');
}

QString filter(MainWindow &window, std::uint32_t number) {
    auto *text = window.findChild<QLabel *>(QStringLiteral("label_HMD_State"));
    auto *image = window.findChild<QLabel *>(QStringLiteral("label_image_HMD"));
    const qint64 before = image->pixmap(Qt::ReturnByValue).cacheKey();

    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE | 0x80;
    event.format = 32;
    event.type = number;
    long result = 0;
    const bool consumed = window.nativeEventFilter("xcb_generic_event_t", &event, &result);

    const qint64 after = image->pixmap(Qt::ReturnByValue).cacheKey();
    return QStringLiteral("filter consumed=%1 redrawn=%2 text=%3")
        .arg(consumed ? 1 : 0)
        .arg(before != after ? 1 : 0)
        .arg(text->text());
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    watchForBoxes(app);

    std::unique_ptr<MainWindow> window;
    DeviceLibrary *first = nullptr;
    const QStringList steps = app.arguments().mid(1);
    for (int i = 0; i < steps.size(); ++i) {
        const QString &step = steps.at(i);
        if (step == QLatin1String("instance")) {
            DeviceLibrary *library = DeviceLibrary::instance();
            const char *answer = library == nullptr ? "null"
                                 : first == nullptr ? "new"
                                 : library == first ? "same"
                                                    : "other";
            if (first == nullptr)
                first = library;
            print(QStringLiteral("instance %1").arg(answer));
        } else if (step == QLatin1String("ids")) {
            print(QStringLiteral("ids %1").arg(ids()));
        } else if (step == QLatin1String("start")) {
            print(
                QStringLiteral("start %1").arg(DeviceLibrary::instance()->startDisplayCapturer()));
        } else if (step == QLatin1String("enable")) {
            DeviceLibrary::instance()->enableEyeshield(steps.value(++i).toInt());
            print(QStringLiteral("enable done"));
        } else if (step == QLatin1String("disable")) {
            DeviceLibrary::instance()->disableEyeshield();
            print(QStringLiteral("disable done"));
        } else if (step == QLatin1String("filter")) {
            if (!window)
                window = std::make_unique<MainWindow>();
            print(filter(*window, steps.value(++i).toUInt(nullptr, 0)));
        } else if (step == QLatin1String("message")) {
            const int index = steps.value(++i).toInt();
            if (!window)
                window = std::make_unique<MainWindow>();
            print(filter(*window, DeviceLibrary::messageId(index)));
        } else {
            print(QStringLiteral("unknown step %1").arg(step));
            return 2;
        }
    }
    print(QStringLiteral("end"));
    return 0;
}
