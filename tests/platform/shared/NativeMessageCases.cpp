#include "NativeSamples.h"
#include "Platform.h"
#include "PlatformTestMain.h"

namespace {

class NativeMessageCases : public QObject {
    Q_OBJECT

private slots:
    void windowMessagesAreReadFromTheToolkitsNativeEvents() {
        for (const support::NativeSample &sample : support::nativeSamples()) {
            const platform::NativeMessage read =
                platform::readNativeMessage(sample.eventType, sample.message);
            QVERIFY2(read.isNative == sample.expected.isNative, sample.description.c_str());
            QVERIFY2(read.hasNumber == sample.expected.hasNumber, sample.description.c_str());
            if (sample.expected.hasNumber)
                QCOMPARE(read.number, sample.expected.number);
        }
    }

    void eventTypesOfOtherToolkitsAreNotNativeMessages() {
        const int payload = 0;
        for (const char *type : {"NSEvent", "", "windows_generic_MSG_", "xcb_generic_event"}) {
            const platform::NativeMessage read = platform::readNativeMessage(type, &payload);
            QVERIFY2(!read.isNative, type);
            QVERIFY2(!read.hasNumber, type);
        }
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(NativeMessageCases, {})

#include "NativeMessageCases.moc"
