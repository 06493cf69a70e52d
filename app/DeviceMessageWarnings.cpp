#include "DeviceMessageWarnings.h"

#include "DeviceMessage.h"

#include <QString>
#include <QtGlobal>

#include <cstring>

namespace {

QtMessageHandler previousHandler = nullptr;

bool isDeviceMessageWarning(QtMsgType type, const QMessageLogContext &context,
                            const QString &text) {
    if (type != QtWarningMsg || context.category == nullptr ||
        std::strcmp(context.category, "qt.qpa.xcb") != 0 ||
        !text.startsWith(QLatin1String("Unhandled client message")))
        return false;
    for (const char *name : kDeviceMessageNames) {
        if (text.contains(QLatin1Char('"') + QLatin1String(name) + QLatin1Char('"')))
            return true;
    }
    return false;
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (isDeviceMessageWarning(type, context, text))
        return;
    previousHandler(type, context, text);
}

} // namespace

void DeviceMessageWarnings::silence() {
    previousHandler = qInstallMessageHandler(handleMessage);
}
