#include "CompanionWindow.h"

CompanionWindow::CompanionWindow(const QString &name, const QStringList &arguments,
                                 const QString &folder) {
    setWindowTitle(name + QStringLiteral(" (stand-in)"));
    setText(QStringLiteral("%1 is running.\n\nArguments: %2\nWorking folder: %3")
                .arg(name, arguments.join(QLatin1Char(' ')), folder));
    setMargin(16);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
}
