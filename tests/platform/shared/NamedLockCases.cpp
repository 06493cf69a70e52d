#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"
#include "StdStringComparison.h"
#include "UniqueName.h"

#include <iostream>

namespace {

// Holds the lock `arguments[0]` until its input ends, after saying whether it got it.
int holdLock(const std::vector<std::string> &arguments) {
    const platform::NamedLock lock = platform::createNamedLock(arguments.at(0));
    std::cout << (lock.heldElsewhere ? "elsewhere" : "held") << std::endl;
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
    platform::closeNamedLock(lock.handle);
    return 0;
}

// Takes a lock and gives it up at once; whether another holder had it is the answer.
bool heldElsewhere(const std::string &name) {
    const platform::NamedLock lock = platform::createNamedLock(name);
    platform::closeNamedLock(lock.handle);
    return lock.heldElsewhere;
}

class NamedLockCases : public QObject {
    Q_OBJECT

private slots:
    void anotherProcessesLockIsSeenWhileItHoldsIt() {
        const std::string name = support::uniqueName("hlx-test-lock");
        support::ChildProcess holder({"hold-lock", name});
        QCOMPARE(holder.readLine(), std::string("held"));

        QVERIFY(heldElsewhere(name));
        QVERIFY2(!heldElsewhere(name + "-other"), "names must not share a lock");
        QVERIFY(heldElsewhere(name));
    }

    void aSecondTakeInTheHoldingProcessSeesTheFirst() {
        const std::string name = support::uniqueName("hlx-test-lock");
        const platform::NamedLock first = platform::createNamedLock(name);
        QVERIFY(!first.heldElsewhere);
        const platform::NamedLock second = platform::createNamedLock(name);
        platform::closeNamedLock(second.handle);
        platform::closeNamedLock(first.handle);
        QVERIFY(second.heldElsewhere);
        QVERIFY2(!heldElsewhere(name), "closing every handle must release the lock");
    }

    void theLockIsFreeOnceItsHolderHasEnded() {
        const std::string name = support::uniqueName("hlx-test-lock");
        support::ChildProcess holder({"hold-lock", name});
        QCOMPARE(holder.readLine(), std::string("held"));
        QVERIFY(heldElsewhere(name));

        holder.closeInput();
        QCOMPARE(holder.wait(), 0);
        QVERIFY(!heldElsewhere(name));
    }

    void theLockIsFreeOnceItsHolderWasKilled() {
        const std::string name = support::uniqueName("hlx-test-lock");
        support::ChildProcess holder({"hold-lock", name});
        QCOMPARE(holder.readLine(), std::string("held"));
        QVERIFY(heldElsewhere(name));

        holder.kill();
        QVERIFY(holder.wait() != 0);
        QVERIFY(!heldElsewhere(name));
    }

    void aProcessThatStartsWhileTheLockIsHeldLearnsSo() {
        const std::string name = support::uniqueName("hlx-test-lock");
        const platform::NamedLock mine = platform::createNamedLock(name);
        QVERIFY(!mine.heldElsewhere);
        support::ChildProcess second({"hold-lock", name});
        const std::string answer = second.readLine();
        second.closeInput();
        second.wait();
        platform::closeNamedLock(mine.handle);
        QCOMPARE(answer, std::string("elsewhere"));
    }

    // A start behind an instance that is on its way out must not be lost: it waits, bounded.
    void aWaitingStartTakesTheLockOnceItsHolderEndsNotBefore() {
        const std::string name = support::uniqueName("hlx-test-lock");
        support::ChildProcess holder({"hold-lock", name});
        QCOMPARE(holder.readLine(), std::string("held"));
        const platform::NamedLock mine = platform::createNamedLock(name);
        QVERIFY(mine.heldElsewhere);
        const bool takenFromALiveHolder = platform::waitForNamedLock(mine.handle, 300);

        holder.closeInput();
        const bool takenOnceEnded = platform::waitForNamedLock(mine.handle, 10000);
        support::ChildProcess next({"hold-lock", name});
        const std::string nextAnswer = next.readLine();
        next.closeInput();
        next.wait();
        platform::closeNamedLock(mine.handle);
        QCOMPARE(holder.wait(), 0);
        QVERIFY(!takenFromALiveHolder);
        QVERIFY(takenOnceEnded);
        QCOMPARE(nextAnswer, std::string("elsewhere"));
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(NamedLockCases, {{"hold-lock", holdLock}})

#include "NamedLockCases.moc"
