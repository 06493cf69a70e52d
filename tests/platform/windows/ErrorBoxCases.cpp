#include "Platform.h"
#include "PlatformTestMain.h"
#include "StdStringComparison.h"

#include <windows.h>

#include <string>

namespace {

// What the box showed, read from another thread while it was up, before that thread
// answered it.
struct SeenBox {
    bool found = false;
    std::wstring caption;
    std::wstring text;
    bool hasOwner = true;
    int visibleButtons = 0;
    bool okButton = false;
    bool icon = true;
};

BOOL CALLBACK inspectChild(HWND child, LPARAM parameter) {
    auto *seen = reinterpret_cast<SeenBox *>(parameter);
    if (!IsWindowVisible(child))
        return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (lstrcmpiW(className, L"Button") == 0) {
        ++seen->visibleButtons;
        seen->okButton = seen->okButton || GetDlgCtrlID(child) == IDOK;
    } else if (lstrcmpiW(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        seen->icon = SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    return TRUE;
}

DWORD WINAPI watchForBox(void *parameter) {
    auto *seen = static_cast<SeenBox *>(parameter);
    seen->icon = false;
    // The box is shown only once its dialog has set up its texts and buttons.
    HWND box = nullptr;
    for (int attempt = 0; attempt < 400 && box == nullptr; ++attempt) {
        box = FindWindowW(L"#32770", nullptr);
        if (box == nullptr || !IsWindowVisible(box)) {
            box = nullptr;
            Sleep(50);
        }
    }
    if (box == nullptr)
        return 0;
    seen->found = true;
    wchar_t caption[256] = {};
    GetWindowTextW(box, caption, 256);
    seen->caption = caption;
    wchar_t text[2048] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 2048);
    seen->text = text;
    seen->hasOwner = GetWindow(box, GW_OWNER) != nullptr;
    EnumChildWindows(box, inspectChild, reinterpret_cast<LPARAM>(seen));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

// Fails with `code` (or, for 0, loads a library that is not there) right before the report,
// so that nothing else can leave a last error in between, and reads the box from a second
// thread.
SeenBox reportAndRead(DWORD code, const std::string &what) {
    SeenBox seen;
    HANDLE watcher = CreateThread(nullptr, 0, watchForBox, &seen, 0, nullptr);
    if (code == 0)
        platform::loadLibrary("hlx-no-such-library.dll");
    else
        SetLastError(code);
    platform::reportLastError(what);
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    return seen;
}

// The system's own text for the code, asked for independently of the box's buffer handling.
std::wstring systemText(DWORD code) {
    wchar_t text[1024] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 1024, nullptr);
    return text;
}

void checkPlainErrorBox(const SeenBox &seen) {
    QVERIFY2(seen.found, "no dialog box appeared");
    QCOMPARE(seen.caption, std::wstring(L"Error"));
    QVERIFY2(!seen.hasOwner, "the box must have no owner");
    QCOMPARE(seen.visibleButtons, 1);
    QVERIFY(seen.okButton);
    QVERIFY2(!seen.icon, "the box must show no icon");
}

class ErrorBoxCases : public QObject {
    Q_OBJECT

private slots:
    void aFailedLibraryLoadShowsTheStepTheCodeAndTheSystemsText() {
        const SeenBox seen = reportAndRead(0, "LoadLibrary(libHLX.dll)");

        checkPlainErrorBox(seen);
        const std::wstring expected =
            L"LoadLibrary(libHLX.dll) failed with error 126: " + systemText(126);
        QVERIFY2(!systemText(126).empty(), "the system has no text for 126");
        QCOMPARE(seen.text, expected);
    }

    void accessDenied() {
        const SeenBox seen =
            reportAndRead(ERROR_ACCESS_DENIED, "GetProcAddress(_getWindowMessage)");

        checkPlainErrorBox(seen);
        QCOMPARE(seen.text,
                 L"GetProcAddress(_getWindowMessage) failed with error 5: " + systemText(5));
    }

    // Converting an empty step makes the conversion fail and set an error of its own, so this
    // shows whether the code is read before the step is converted.
    void theCodeIsTheOneTheFailedCallLeftWhateverTheStepsText() {
        const SeenBox seen = reportAndRead(ERROR_ACCESS_DENIED, "");

        checkPlainErrorBox(seen);
        QCOMPARE(seen.text, L" failed with error 5: " + systemText(5));
    }

    void theStepsTextIsUtf8() {
        const SeenBox seen =
            reportAndRead(ERROR_ACCESS_DENIED, "LoadLibrary(Ger\xC3\xA4t \xE2\x82\xAC.dll)");

        QCOMPARE(seen.text,
                 L"LoadLibrary(Ger\u00E4t \u20AC.dll) failed with error 5: " + systemText(5));
    }

    // The system has no text for such a code; the box still names the step and the code,
    // which is shown as the signed number the formatter is given.
    void aCodeWithoutSystemText() {
        const DWORD code = 0xE0001234;
        QVERIFY(systemText(code).empty());
        const SeenBox seen = reportAndRead(code, "GetProcAddress(_enableEyeshield)");

        checkPlainErrorBox(seen);
        QCOMPARE(seen.text, std::wstring(L"GetProcAddress(_enableEyeshield) failed with error ") +
                                std::to_wstring(static_cast<int>(code)) + L": ");
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(ErrorBoxCases, {})

#include "ErrorBoxCases.moc"
