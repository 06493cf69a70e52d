#include "Check.h"
#include "DebugOutputCapture.h"
#include "Platform.h"

namespace {

TEST_CASE(debugoutput, "one call gives one message of exactly the text") {
    support::DebugOutputCapture capture;
    platform::writeDebugOutput("libHLX dll init failed.");
    const std::vector<std::string> messages = capture.messages();
    CHECK_EQUAL(messages.size(), std::size_t(1));
    CHECK_EQUAL(messages.front(), std::string("libHLX dll init failed."));
}

} // namespace
