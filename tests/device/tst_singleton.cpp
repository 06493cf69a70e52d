#include "Singleton.h"

#include <QTest>

#include <cstdlib>
#include <new>

namespace {

// Counts constructions, and can be told to fail its next allocation or to ask for its own
// instance while it is still being built, as a constructor that opens a modal box would.
class Probe : public Singleton<Probe> {
public:
    static inline int constructed = 0;
    static inline bool failNextAllocation = false;
    static inline bool reenterWhileConstructing = false;
    static inline Probe *seenFromInside = reinterpret_cast<Probe *>(1);

    Probe() {
        ++constructed;
        if (reenterWhileConstructing)
            seenFromInside = instance();
    }
    ~Probe() = default;

    static void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
        if (failNextAllocation) {
            failNextAllocation = false;
            return nullptr;
        }
        return std::malloc(size);
    }
    static void operator delete(void *memory) noexcept { std::free(memory); }
};

} // namespace

class SingletonTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        Probe::constructed = 0;
        Probe::failNextAllocation = false;
        Probe::reenterWhileConstructing = false;
    }

    void cleanup() { delete Probe::instance(); }

    void oneInstanceMadeOnFirstUse() {
        QCOMPARE(Probe::constructed, 0);
        Probe *first = Probe::instance();
        QVERIFY(first != nullptr);
        QCOMPARE(Probe::instance(), first);
        QCOMPARE(Probe::constructed, 1);
    }

    void destroyingLetsTheNextCallMakeANewOne() {
        delete Probe::instance();
        QCOMPARE(Probe::constructed, 1);
        QVERIFY(Probe::instance() != nullptr);
        QCOMPARE(Probe::constructed, 2);
    }

    void failedAllocationIsRetriedNextTime() {
        Probe::failNextAllocation = true;
        QCOMPARE(Probe::instance(), nullptr);
        QCOMPARE(Probe::constructed, 0);
        QVERIFY(Probe::instance() != nullptr);
        QCOMPARE(Probe::constructed, 1);
    }

    void callFromInsideTheConstructorStartsNoSecondOne() {
        Probe::reenterWhileConstructing = true;
        Probe *made = Probe::instance();
        QVERIFY(made != nullptr);
        QCOMPARE(Probe::seenFromInside, nullptr);
        QCOMPARE(Probe::constructed, 1);
        QCOMPARE(Probe::instance(), made);
    }
};

QTEST_GUILESS_MAIN(SingletonTest)
#include "tst_singleton.moc"
