#include "Check.h"
#include "NativeSamples.h"
#include "Platform.h"

namespace {

TEST_CASE(nativemessage, "window messages are read from the toolkit's native events") {
    for (const support::NativeSample &sample : support::nativeSamples()) {
        const platform::NativeMessage read =
            platform::readNativeMessage(sample.eventType, sample.message);
        CHECK_MESSAGE(read.isNative == sample.expected.isNative, sample.description);
        CHECK_MESSAGE(read.hasNumber == sample.expected.hasNumber, sample.description);
        if (sample.expected.hasNumber)
            CHECK_EQUAL(read.number, sample.expected.number);
    }
}

TEST_CASE(nativemessage, "event types of other toolkits are not native messages") {
    const int payload = 0;
    for (const char *type : {"NSEvent", "", "windows_generic_MSG_", "xcb_generic_event"}) {
        const platform::NativeMessage read = platform::readNativeMessage(type, &payload);
        CHECK_MESSAGE(!read.isNative, type);
        CHECK_MESSAGE(!read.hasNumber, type);
    }
}

} // namespace
