#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"
#include "TopLevelWindow.h"

#include <iostream>
#include <sstream>

namespace {

// The class that Qt registers for the top-level windows of every program of its release: the
// utility's own cases (UtilityCases.cpp) check that the real window carries it.
constexpr wchar_t kQtWindowClass[] = L"" HLX_QT_WINDOW_CLASS;
const char kTitle[] = "HLX_Configuration_Utility";

// Plays a running utility: its window, "visible" or "hidden", and then another Qt program's
// window, of the same class with another title, which a look-up by class alone would meet
// first. Prints both handles and keeps the windows until its input ends.
int qtWindows(const std::vector<std::string> &arguments) {
    const bool visible = arguments.at(0) == "visible";
    support::TopLevelWindow utility(kQtWindowClass, L"HLX_Configuration_Utility", visible);
    support::TopLevelWindow lookalike(kQtWindowClass, L"Some other window", true);
    SetForegroundWindow(lookalike.handle());
    // The end of the input ends the message loop.
    std::cout << reinterpret_cast<std::uintptr_t>(utility.handle()) << ' '
              << reinterpret_cast<std::uintptr_t>(lookalike.handle()) << std::endl;

    support::TopLevelWindow::pumpUntilInputEnds();
    return 0;
}

struct RunningUtility {
    explicit RunningUtility(const char *visibility)
        : process({"qt-windows", visibility}) {
        std::uintptr_t utilityHandle = 0;
        std::uintptr_t lookalikeHandle = 0;
        std::istringstream(process.readLine()) >> utilityHandle >> lookalikeHandle;
        utility = reinterpret_cast<HWND>(utilityHandle);
        lookalike = reinterpret_cast<HWND>(lookalikeHandle);
    }

    support::ChildProcess process;
    HWND utility = nullptr;
    HWND lookalike = nullptr;
};

// Activation reaches the other process through the system's queues, so it takes a moment.
bool becomesForeground(HWND window) {
    for (int attempt = 0; attempt < 100 && GetForegroundWindow() != window; ++attempt)
        Sleep(50);
    return GetForegroundWindow() == window;
}

class WindowActivationCases : public QObject {
    Q_OBJECT

private slots:
    void theUtilitysWindowComesForwardNotALookalikeOfItsClass() {
        RunningUtility running("visible");
        QVERIFY(IsWindow(running.utility) && IsWindow(running.lookalike));
        QVERIFY2(becomesForeground(running.lookalike), "the lookalike starts in front");

        QVERIFY(platform::bringWindowToFront("hlx-config", kTitle));
        QVERIFY(becomesForeground(running.utility));
        QVERIFY(IsWindowVisible(running.lookalike));
    }

    void aHiddenWindowStaysHidden() {
        RunningUtility running("hidden");
        QVERIFY(!IsWindowVisible(running.utility));

        QVERIFY(platform::bringWindowToFront("hlx-config", kTitle));
        Sleep(300);
        QVERIFY(!IsWindowVisible(running.utility));
    }

    void aLookalikeAloneIsNotBroughtForward() {
        support::TopLevelWindow lookalike(kQtWindowClass, L"HLX_Configuration_Utility (copy)",
                                          true);
        support::TopLevelWindow otherClass(L"HlxTestOtherClass", L"HLX_Configuration_Utility",
                                           true);
        QVERIFY(!platform::bringWindowToFront("hlx-config", kTitle));
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(WindowActivationCases, {{"qt-windows", qtWindows}})

#include "WindowActivationCases.moc"
