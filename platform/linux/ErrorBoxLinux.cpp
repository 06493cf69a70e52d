#include "LastError.h"
#include "Platform.h"

#include <QMessageBox>
#include <QString>

#include <cstring>

namespace platform {

void reportLastError(const std::string &what) {
    const LastError error = lastError();
    const std::string systemText = error.text.empty() ? std::strerror(error.code) : error.text;
    const std::string text =
        what + " failed with error " + std::to_string(error.code) + ": " + systemText;

    // No icon, no owner and only OK, like the system's own error box.
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
}

} // namespace platform
