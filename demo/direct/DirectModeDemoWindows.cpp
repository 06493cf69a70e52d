#include "DirectModeDemo.h"

std::unique_ptr<DirectModeDemo> DirectModeDemo::start(const hlx::HeadsetDisplay &,
                                                      const DirectModeHooks &, QString *refusal) {
    if (refusal)
        *refusal = QStringLiteral(
            "Windows hands a headset's display kept off the desktop only to programs that use "
            "Windows.Devices.Display.Core, which this demo does not");
    return nullptr;
}
