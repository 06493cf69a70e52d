#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"
#include "UniqueName.h"

#include <iostream>

namespace {

// Holds the lock `arguments[0]` until its input ends, after saying whether it got it.
TEST_HELPER("hold-lock") {
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

TEST_CASE(namedlock, "another process's lock is seen while it holds it") {
    const std::string name = support::uniqueName("hlx-test-lock");
    support::ChildProcess holder({"hold-lock", name});
    CHECK_EQUAL(holder.readLine(), std::string("held"));

    CHECK(heldElsewhere(name));
    CHECK_MESSAGE(!heldElsewhere(name + "-other"), "names must not share a lock");
    CHECK(heldElsewhere(name));
}

TEST_CASE(namedlock, "a second take in the holding process sees the first") {
    const std::string name = support::uniqueName("hlx-test-lock");
    const platform::NamedLock first = platform::createNamedLock(name);
    CHECK(!first.heldElsewhere);
    const platform::NamedLock second = platform::createNamedLock(name);
    platform::closeNamedLock(second.handle);
    platform::closeNamedLock(first.handle);
    CHECK(second.heldElsewhere);
    CHECK_MESSAGE(!heldElsewhere(name), "closing every handle must release the lock");
}

TEST_CASE(namedlock, "the lock is free once its holder has ended") {
    const std::string name = support::uniqueName("hlx-test-lock");
    support::ChildProcess holder({"hold-lock", name});
    CHECK_EQUAL(holder.readLine(), std::string("held"));
    CHECK(heldElsewhere(name));

    holder.closeInput();
    CHECK_EQUAL(holder.wait(), 0);
    CHECK(!heldElsewhere(name));
}

TEST_CASE(namedlock, "the lock is free once its holder was killed") {
    const std::string name = support::uniqueName("hlx-test-lock");
    support::ChildProcess holder({"hold-lock", name});
    CHECK_EQUAL(holder.readLine(), std::string("held"));
    CHECK(heldElsewhere(name));

    holder.kill();
    CHECK(holder.wait() != 0);
    CHECK(!heldElsewhere(name));
}

TEST_CASE(namedlock, "a process that starts while the lock is held learns so") {
    const std::string name = support::uniqueName("hlx-test-lock");
    const platform::NamedLock mine = platform::createNamedLock(name);
    CHECK(!mine.heldElsewhere);
    support::ChildProcess second({"hold-lock", name});
    const std::string answer = second.readLine();
    second.closeInput();
    second.wait();
    platform::closeNamedLock(mine.handle);
    CHECK_EQUAL(answer, std::string("elsewhere"));
}

// A start behind an instance that is on its way out must not be lost: it waits, bounded.
TEST_CASE(namedlock, "a waiting start takes the lock once its holder ends, not before") {
    const std::string name = support::uniqueName("hlx-test-lock");
    support::ChildProcess holder({"hold-lock", name});
    CHECK_EQUAL(holder.readLine(), std::string("held"));
    const platform::NamedLock mine = platform::createNamedLock(name);
    CHECK(mine.heldElsewhere);
    const bool takenFromALiveHolder = platform::waitForNamedLock(mine.handle, 300);

    holder.closeInput();
    const bool takenOnceEnded = platform::waitForNamedLock(mine.handle, 10000);
    support::ChildProcess next({"hold-lock", name});
    const std::string nextAnswer = next.readLine();
    next.closeInput();
    next.wait();
    platform::closeNamedLock(mine.handle);
    CHECK_EQUAL(holder.wait(), 0);
    CHECK(!takenFromALiveHolder);
    CHECK(takenOnceEnded);
    CHECK_EQUAL(nextAnswer, std::string("elsewhere"));
}

} // namespace
