#include "DemoLauncher.h"

#include "NamedConstants.h"
#include "Platform.h"
#include "UserSettings.h"

#include <QDir>
#include <QString>

#include <string>

namespace {

const char kDemoRelativePath[] = "/../demo/Lumeshow.exe";
const char kDemoParameters[] = "-screen-fullscreen 1 -screen-height 1080 -screen-width 1920 "
                               "-adapter 1";

} // namespace

void DemoLauncher::launch() const {
    // Worked out anew each time: the working directory may have changed since the last start.
    const std::string path = (QDir::currentPath() + QLatin1String(kDemoRelativePath)).toStdString();
    platform::startProgram(path, kDemoParameters);

    if (UserSettings *settings = UserSettings::instance())
        settings->setValue(hlx::kKeyDemoPath, QString::fromUtf8(path.c_str()));
}
