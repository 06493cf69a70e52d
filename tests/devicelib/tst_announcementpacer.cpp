// The pacing of link messages in a storm of changes, step by step on a clock of the test's own.
#include "AnnouncementPacer.h"

#include <QStringList>
#include <QTest>

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

using Pacer = hlx::AnnouncementPacer;
constexpr std::chrono::milliseconds kInterval{25};

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
        QTest::newRow("changes close together wait, in their order")
            << QStringList{".", "U+", "D+", ".", "."} << std::vector<int>{0, 100, 101, 110, 125}
            << QStringList{"hid-removed monitor-removed", "hid-added", "", "", "monitor-added"};
        QTest::newRow("a link that changed back is not told")
            << QStringList{".", "D+", "U+", "U-", "."} << std::vector<int>{0, 100, 105, 110, 130}
            << QStringList{"hid-removed monitor-removed", "monitor-added", "", "", ""};
        QTest::newRow("the latest change of a link sets its place")
            << QStringList{".", "D+", "U+", "D-", "D+", "."}
            << std::vector<int>{0, 100, 105, 110, 115, 125}
            << QStringList{"hid-removed monitor-removed", "monitor-added", "", "", "", "hid-added"};
    }

    void messagesOfAStorm() {
        QFETCH(QStringList, changes);
        QFETCH(std::vector<int>, atMs);
        QFETCH(QStringList, told);
        Pacer pacer(kInterval);
        const Pacer::Clock::time_point start{};
        hlx::Links links;
        for (int step = 0; step < changes.size(); ++step) {
            links = apply(links, changes.at(step));
            pacer.see(links);
            const auto now = start + std::chrono::milliseconds(atMs.at(size_t(step)));
            QCOMPARE(names(pacer.due(now)), told.at(step));
        }
    }

    // The thread may sleep without a timeout exactly when nothing is held back.
    void waitsOnlyWhileHolding() {
        Pacer pacer(kInterval);
        const Pacer::Clock::time_point start{};
        QVERIFY(!pacer.wait(start));
        pacer.see({});
        QCOMPARE(pacer.wait(start), std::optional(Pacer::Clock::duration::zero()));
        QVERIFY(!pacer.due(start).empty());
        QVERIFY(!pacer.wait(start));
        pacer.see({true, false});
        QCOMPARE(pacer.wait(start + std::chrono::milliseconds(10)),
                 std::optional<Pacer::Clock::duration>(std::chrono::milliseconds(15)));
        pacer.see({});
        QVERIFY(!pacer.wait(start + std::chrono::milliseconds(10)));
    }
};

QTEST_APPLESS_MAIN(AnnouncementPacerTest)
#include "tst_announcementpacer.moc"
