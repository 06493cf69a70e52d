#include "DeviceLibrary.h"

#include "NamedConstants.h"
#include "UserSettings.h"

#include <QDir>
#include <QMessageBox>
#include <QString>

namespace {

template <typename Function> Function resolve(platform::LibraryHandle module, const char *name) {
    return reinterpret_cast<Function>(platform::resolveSymbol(module, name));
}

void recordSetting(const char *key, const char *text) {
    if (UserSettings *settings = UserSettings::instance())
        settings->setValue(QString::fromUtf8(key), QString::fromUtf8(text));
}

} // namespace

DeviceLibrary::DeviceLibrary()
    : _init(nullptr)
    , _deinit(nullptr)
    , _setDisplayCapturerPath(nullptr)
    , _startDisplayCapturer(nullptr)
    , _stopDisplayCapturer(nullptr)
    , _enableEyeshield(nullptr)
    , _disableEyeshield(nullptr)
    , _getWindowMessage(nullptr)
    , _module(nullptr) {
    loadEntryPoints();
    registerWindowMessages();
    if (_init != nullptr && _init() < 0)
        platform::writeDebugOutput("libHLX dll init failed.");
}

std::uint32_t DeviceLibrary::messageId(int index) {
    return messageIds[static_cast<std::size_t>(index)];
}

void DeviceLibrary::loadEntryPoints() {
    const std::string fileName = platform::deviceLibraryFileName();
    _module = platform::loadLibrary(fileName);
    if (_module == nullptr) {
        reportLastError("LoadLibrary(" + fileName + ")");
    } else {
        _init = resolve<InitFunction>(_module, hlx::kEntryInit);
        _deinit = resolve<DeinitFunction>(_module, hlx::kEntryDeinit);
        _setDisplayCapturerPath =
            resolve<SetDisplayCapturerPathFunction>(_module, hlx::kEntrySetDisplayCapturerPath);
        _startDisplayCapturer =
            resolve<StartDisplayCapturerFunction>(_module, hlx::kEntryStartDisplayCapturer);
        _stopDisplayCapturer =
            resolve<StopDisplayCapturerFunction>(_module, hlx::kEntryStopDisplayCapturer);
        _enableEyeshield = resolve<EnableEyeshieldFunction>(_module, hlx::kEntryEnableEyeshield);
        _disableEyeshield = resolve<DisableEyeshieldFunction>(_module, hlx::kEntryDisableEyeshield);
        _getWindowMessage = resolve<GetWindowMessageFunction>(_module, hlx::kEntryGetWindowMessage);
    }

    const std::string path = displayCapturerPath();
    if (_setDisplayCapturerPath != nullptr)
        _setDisplayCapturerPath(path.c_str());
    // Recorded even without a library, so the file always says where the capturer belongs.
    recordSetting(hlx::kKeyPictorPath, path.c_str());
}

std::string DeviceLibrary::displayCapturerPath() {
    return (QDir::currentPath() + QStringLiteral("/../Pictor/Pictor.exe")).toStdString();
}

void DeviceLibrary::registerWindowMessages() {
    if (_getWindowMessage == nullptr) {
        reportLastError("GetProcAddress(_getWindowMessage)");
        return;
    }
    for (std::size_t i = 0; i < messageIds.size(); ++i)
        messageIds[i] = _getWindowMessage(kDeviceMessageNames[i]);
}

int DeviceLibrary::startDisplayCapturer() {
    if (_startDisplayCapturer == nullptr) {
        reportLastError("GetProcAddress(HLX_StartDisplayCapture)");
        return -1;
    }
    return _startDisplayCapturer();
}

void DeviceLibrary::enableEyeshield(int level) {
    if (_enableEyeshield == nullptr) {
        reportLastError("GetProcAddress(_enableEyeshield)");
        return;
    }
    const int result = _enableEyeshield(level);
    if (result == -2) {
        QMessageBox::warning(nullptr, QStringLiteral("enable eye shield fail"),
                             QStringLiteral("can not find Vornel HMD"), QMessageBox::Ok,
                             QMessageBox::NoButton);
    } else if (result == 0) {
        recordSetting(hlx::kKeyEyeshield, hlx::kEnableEyeshield);
    }
}

void DeviceLibrary::disableEyeshield() {
    if (_disableEyeshield == nullptr) {
        reportLastError("GetProcAddress(_disableEyeshield)");
        return;
    }
    if (_disableEyeshield() == 0)
        recordSetting(hlx::kKeyEyeshield, hlx::kDisableEyeshield);
}

void DeviceLibrary::reportLastError(const std::string &what) {
    platform::reportLastError(what);
}
