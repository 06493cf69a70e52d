// The pacing of link messages in a storm of changes, step by step on a clock of the test's own.
#include "AnnouncementPacer.h"

#include <QStringList>
#include <QTest>

#include <algorithm>

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

using Pacer = hlx::AnnouncementPacer;
constexpr std::chrono::milliseconds kInterval{25};
constexpr int kBurst = 4;

// "D+" and "U-" for the display link up and the USB link down; "." for no change of the links.
hlx::Links apply(hlx::Links links, const QString &change) {
    if (change.startsWith('D'))
        links.display = change.endsWith('+');
    else if (change.startsWith('U'))
        links.usb = change.endsWith('+');
    return links;
}

QString names(const std::vector<const hlx::DeviceMessage *> &messages) {
    QStringList shortNames;
    for (const hlx::DeviceMessage *message : messages)
        shortNames << QString::fromLatin1(message->shortName.data(),
                                          int(message->shortName.size()));
    return shortNames.join(' ');
}

// When the library's thread tells what: it asks the pacer after each change, and again whenever
// the pacer says that what it holds back is due.
std::vector<std::pair<Pacer::Clock::duration, const hlx::DeviceMessage *>>
toldOverTime(Pacer &pacer, const QStringList &changes, const std::vector<int> &atMs) {
    std::vector<std::pair<Pacer::Clock::duration, const hlx::DeviceMessage *>> told;
    const Pacer::Clock::time_point start{};
    const auto tell = [&](Pacer::Clock::time_point now) {
        for (const hlx::DeviceMessage *message : pacer.due(now))
            told.emplace_back(now - start, message);
    };
    hlx::Links links;
    for (int step = 0; step < changes.size(); ++step) {
        Pacer::Clock::time_point now = start + std::chrono::milliseconds(atMs.at(size_t(step)));
        links = apply(links, changes.at(step));
        pacer.see(links);
        tell(now);
        const auto next = step + 1 < changes.size()
                              ? start + std::chrono::milliseconds(atMs.at(size_t(step) + 1))
                              : now + std::chrono::seconds(1);
        for (auto held = pacer.wait(now); held && now + *held < next; held = pacer.wait(now)) {
            now += *held;
            tell(now);
        }
    }
    return told;
}

std::vector<int> operator+(std::vector<int> first, const std::vector<int> &then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

} // namespace

class AnnouncementPacerTest : public QObject {
    Q_OBJECT

private slots:
    // Each step: at its millisecond, a change of the links seen, then what is due; the first step
    // is the library's first look, with both links down.
    void messagesOfAStorm_data() {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<std::vector<int>>("atMs");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("first look tells both links") << QStringList{"."} << std::vector<int>{0}
                                                     << QStringList{"hid-removed monitor-removed"};
        QTest::newRow("a change after a quiet spell is told at once")
            << QStringList{".", "D+", "U+"} << std::vector<int>{0, 100, 200}
            << QStringList{"hid-removed monitor-removed", "monitor-added", "hid-added"};
        QTest::newRow("a headset's two links close together are told at once")
            << QStringList{".", "U+", "D+"} << std::vector<int>{0, 100, 101}
            << QStringList{"hid-removed monitor-removed", "hid-added", "monitor-added"};
        // The first look and three changes use up the burst; the fourth change waits until an
        // interval after the third has earned one more.
        const QStringList burst{".", "U+", "D+", "U-"};
        const std::vector<int> burstMs{0, 1, 2, 3};
        const QStringList burstTold{"hid-removed monitor-removed", "hid-added", "monitor-added",
                                    "hid-removed"};
        QTest::newRow("changes in a storm wait, in their order")
            << burst + QStringList{"D-", "U+", ".", "."} << burstMs + std::vector<int>{4, 5, 20, 28}
            << burstTold + QStringList{"", "", "", "monitor-removed hid-added"};
        QTest::newRow("a link that changed back is not told")
            << burst + QStringList{"D-", "D+", "."} << burstMs + std::vector<int>{4, 5, 30}
            << burstTold + QStringList{"", "", ""};
        QTest::newRow("the latest change of a link sets its place")
            << burst + QStringList{"D-", "U+", "D+", "D-", "."}
            << burstMs + std::vector<int>{4, 5, 6, 7, 28}
            << burstTold + QStringList{"", "", "", "", "hid-added monitor-removed"};
        QTest::newRow("a storm is told at most once an interval")
            << burst + QStringList{"U+", ".", "U-", ".", "."}
            << burstMs + std::vector<int>{28, 29, 30, 40, 52}
            << burstTold + QStringList{"hid-added", "", "", "", "hid-removed"};
    }

    void messagesOfAStorm() {
        QFETCH(QStringList, changes);
        QFETCH(std::vector<int>, atMs);
        QFETCH(QStringList, told);
        Pacer pacer(kInterval, kBurst);
        const Pacer::Clock::time_point start{};
        hlx::Links links;
        for (int step = 0; step < changes.size(); ++step) {
            links = apply(links, changes.at(step));
            pacer.see(links);
            const auto now = start + std::chrono::milliseconds(atMs.at(size_t(step)));
            QCOMPARE(names(pacer.due(now)), told.at(step));
        }
    }

    // At the library's own pace, whatever it told shortly before: the last two changes are a
    // headset's links coming up, and the window must have both within a frame of the first.
    void headsetsTwoLinksWithinAFrame_data() {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<std::vector<int>>("atMs");
        QTest::newRow("USB, the display 3 ms later")
            << QStringList{".", "U+", "D+"} << std::vector<int>{0, 1000, 1003};
        QTest::newRow("the display, USB 12 ms later")
            << QStringList{".", "D+", "U+"} << std::vector<int>{0, 1000, 1012};
        QTest::newRow("plugged as the library first looks")
            << QStringList{".", "U+", "D+"} << std::vector<int>{0, 1, 4};
        QTest::newRow("plugged again a moment after it was unplugged")
            << QStringList{".", "D+", "U+", "U-", "D-", "D+", "U+"}
            << std::vector<int>{0, 1000, 1003, 2000, 2002, 2030, 2035};
        QTest::newRow("the display's link trained twice, then USB")
            << QStringList{".", "D+", "D-", "D+", "U+"}
            << std::vector<int>{0, 1000, 1002, 1004, 1009};
    }

    void headsetsTwoLinksWithinAFrame() {
        QFETCH(QStringList, changes);
        QFETCH(std::vector<int>, atMs);
        constexpr std::chrono::milliseconds kFrame{16};
        Pacer pacer;
        const auto told = toldOverTime(pacer, changes, atMs);
        const std::chrono::milliseconds firstUp{atMs.at(atMs.size() - 2)};
        for (const hlx::Link link : {hlx::Link::Display, hlx::Link::Usb}) {
            const auto last = std::find_if(told.rbegin(), told.rend(), [&](const auto &message) {
                return message.second->link == link;
            });
            QVERIFY(last != told.rend());
            QVERIFY(last->second->linkUp);
            QVERIFY2(last->first <= firstUp + kFrame,
                     qPrintable(QString("%1 told %2 us after the first link came up")
                                    .arg(names({last->second}))
                                    .arg(std::chrono::duration_cast<std::chrono::microseconds>(
                                             last->first - firstUp)
                                             .count())));
        }
    }

    // The thread may sleep without a timeout exactly when nothing is held back.
    void waitsOnlyWhileHolding() {
        Pacer pacer(kInterval, kBurst);
        const Pacer::Clock::time_point start{};
        QVERIFY(!pacer.wait(start));
        pacer.see({});
        QCOMPARE(pacer.wait(start), std::optional(Pacer::Clock::duration::zero()));
        QVERIFY(!pacer.due(start).empty());
        QVERIFY(!pacer.wait(start));
        // Within the burst, nothing waits.
        pacer.see({true, false});
        QCOMPARE(pacer.wait(start), std::optional(Pacer::Clock::duration::zero()));
        for (bool usb : {true, false, true}) {
            QVERIFY(!pacer.due(start).empty());
            pacer.see({true, usb});
        }
        QCOMPARE(pacer.wait(start + std::chrono::milliseconds(10)),
                 std::optional<Pacer::Clock::duration>(std::chrono::milliseconds(15)));
        pacer.see({true, false});
        QVERIFY(!pacer.wait(start + std::chrono::milliseconds(10)));
    }
};

QTEST_APPLESS_MAIN(AnnouncementPacerTest)
#include "tst_announcementpacer.moc"
