#include "DebugOutputCapture.h"
#include "Platform.h"
#include "PlatformTestMain.h"
#include "StdStringComparison.h"

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

int main(int argc, char *argv[]) {
    DebugOutputCases cases;
    return support::runPlatformTest(cases, {}, argc, argv);
}

#include "DebugOutputCases.moc"
