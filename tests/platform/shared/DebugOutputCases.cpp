#include "DebugOutputCapture.h"
#include "Platform.h"
#include "PlatformTestMain.h"
#include "StdStringComparison.h"

namespace {

class DebugOutputCases : public QObject {
    Q_OBJECT

private slots:
    void oneCallGivesOneMessageOfExactlyTheText() {
        support::DebugOutputCapture capture;
        platform::writeDebugOutput("libHLX dll init failed.");
        const std::vector<std::string> messages = capture.messages();
        QCOMPARE(messages.size(), std::size_t(1));
        QCOMPARE(messages.front(), std::string("libHLX dll init failed."));
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(DebugOutputCases, {})

#include "DebugOutputCases.moc"
