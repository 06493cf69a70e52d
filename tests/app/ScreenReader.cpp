#include "ScreenReader.h"

#include "AccessibleTree.h"

#include <QTest>

namespace {

const QString kApplication = QStringLiteral("hlx-config");
constexpr int kSearchDepth = 6;

// Qt reports a message box as an alert; some styles make it a plain dialog.
AccessibleTree::Node findBox(AccessibleTree &tree, const QString &title) {
    const AccessibleTree::Node alert = tree.window(kApplication, title, Role::Alert);
    return alert.isValid() ? alert : tree.window(kApplication, title, Role::Dialog);
}

} // namespace

bool ScreenReader::start() {
    if (!m_bus.start() || !m_bus.enableScreenReader() || !m_bus.launchBus())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.sessionBusAddress().toUtf8());
    return true;
}

QStringList ScreenReader::windowLabels() {
    AccessibleTree tree(m_bus.accessibilityBus());
    const AccessibleTree::Node window = tree.window(kApplication, "HLX_Configuration_Utility");
    return window.isValid() ? tree.names(window, Role::Label, kSearchDepth) : QStringList();
}

bool ScreenReader::waitForWindowLabel(const QString &text, int timeoutMs) {
    return QTest::qWaitFor([&] { return windowLabels().contains(text); }, timeoutMs);
}

QRect ScreenReader::windowExtents(Role role, const QString &name) {
    AccessibleTree tree(m_bus.accessibilityBus());
    const AccessibleTree::Node window = tree.window(kApplication, "HLX_Configuration_Utility");
    if (!window.isValid())
        return {};
    return tree.extents(role == Role::Frame ? window : tree.find(window, role, name, kSearchDepth));
}

QStringList ScreenReader::boxTexts(const QString &title) {
    AccessibleTree tree(m_bus.accessibilityBus());
    QStringList texts = tree.names(findBox(tree, title), Role::Label, kSearchDepth);
    texts.removeAll(QString());
    return texts;
}

QStringList ScreenReader::boxButtons(const QString &title) {
    AccessibleTree tree(m_bus.accessibilityBus());
    return tree.names(findBox(tree, title), Role::PushButton, kSearchDepth);
}
