// The eye shield's colours against published black-body chromaticities, and its bookkeeping of
// each display's own table, on tables kept here in place of a display's, with the own tables kept
// where the X11 libraries keep them: on the root window of this test's X server.
#include "BlackBody.h"
#include "EntryResults.h"
#include "Eyeshield.h"
#include "HeadsetDisplayReport.h"
#include "RootPropertyRampStore.h"
#include "XConnection.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>

namespace {

// The display tables of a desktop, by output name; a refusing output keeps its table. With
// `eightBits`, each entry keeps its top 8 bits, as some Windows drivers keep it.
class TablesHere final : public hlx::DisplayGamma {
public:
    std::optional<hlx::GammaRamp> read(const std::string &output) override {
        const auto found = tables.find(output);
        return found == tables.end() ? std::nullopt : std::optional(found->second);
    }
    bool write(const std::string &output, const hlx::GammaRamp &ramp) override {
        if (refusing || !tables.count(output))
            return false;
        hlx::GammaRamp &table = tables[output] = ramp;
        if (eightBits) {
            for (auto *channel : {&table.red, &table.green, &table.blue}) {
                for (uint16_t &entry : *channel)
                    entry &= 0xff00;
            }
        }
        ++writes;
        return true;
    }
    int readBackTolerance() const override { return eightBits ? 256 : 0; }

    std::map<std::string, hlx::GammaRamp> tables;
    bool refusing = false;
    bool eightBits = false;
    int writes = 0;
};

hlx::HeadsetDisplay headsetOn(const std::string &output, const std::string &identity = "index") {
    hlx::HeadsetDisplay display;
    display.place = hlx::HeadsetDisplay::Place::Desktop;
    display.output = output;
    display.identity = identity;
    return display;
}

// The tables kept on this test's X server, gone with the test's display as with the server.
class KeptOnRoot {
public:
    KeptOnRoot() { forgetAll(); }
    ~KeptOnRoot() { forgetAll(); }
    hlx::RootPropertyRampStore store;

private:
    void forgetAll() {
        for (const char *identity : {"index", "another index"})
            store.forget(headsetOn("headset", identity));
    }
};

// A calibrated display's own table: not the identity, and not one the shield makes.
hlx::GammaRamp calibrated() {
    hlx::GammaRamp ramp = hlx::GammaRamp::identity(256);
    for (uint16_t &level : ramp.green)
        level = static_cast<uint16_t>(level * 0.9);
    return ramp;
}

// The same display calibrated again by its user: another table of the same size.
hlx::GammaRamp recalibrated() {
    hlx::GammaRamp ramp = hlx::GammaRamp::identity(256);
    for (uint16_t &level : ramp.red)
        level = static_cast<uint16_t>(level * 0.95);
    return ramp;
}

// Linear sRGB of a chromaticity, by IEC 61966-2-1's matrix, relative to the desktop's 6500 K.
std::array<double, 3> linearSrgb(double x, double y) {
    const double X = x / y, Z = (1 - x - y) / y;
    return {3.2404542 * X - 1.5371385 - 0.4985314 * Z, -0.9692660 * X + 1.8760108 + 0.0415560 * Z,
            0.0556434 * X - 0.2040259 + 1.0572252 * Z};
}

} // namespace

class EyeshieldTest : public QObject {
    Q_OBJECT

private slots:
    // Chromaticities of the black-body curve as tabulated by others (CIE 1931 xy): Mitchell
    // Charity's "What color is a blackbody?" for 3000 K, Paeth's table (comp.graphics, 1987)
    // for the rest, to the three places it gives.
    void blackBodyCurve_data() {
        QTest::addColumn<int>("kelvin");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::newRow("2000 K") << 2000 << 0.526 << 0.413;
        QTest::newRow("2500 K") << 2500 << 0.477 << 0.414;
        QTest::newRow("3000 K") << 3000 << 0.4369 << 0.4041;
        QTest::newRow("3500 K") << 3500 << 0.405 << 0.391;
        QTest::newRow("4000 K") << 4000 << 0.380 << 0.377;
        QTest::newRow("4500 K") << 4500 << 0.361 << 0.363;
        QTest::newRow("5000 K") << 5000 << 0.345 << 0.352;
        QTest::newRow("6000 K") << 6000 << 0.322 << 0.332;
        QTest::newRow("6500 K") << 6500 << 0.313 << 0.324;
    }

    void blackBodyCurve() {
        QFETCH(int, kelvin);
        QFETCH(double, x);
        QFETCH(double, y);
        const hlx::BlackBody::Chromaticity c = hlx::BlackBody::chromaticity(kelvin);
        QVERIFY2(std::abs(c.x - x) < 0.0015 && std::abs(c.y - y) < 0.0015,
                 qPrintable(QString("(%1, %2)").arg(c.x).arg(c.y)));

        // The top of the shield's table at that temperature: the strongest channel full, and the
        // others in the published colour's proportions, on the display's 2.2 encoding.
        const hlx::GammaRamp ramp = hlx::Eyeshield::shielded(hlx::GammaRamp::identity(256), kelvin);
        const auto light = linearSrgb(x, y), white = linearSrgb(0.313, 0.324);
        std::array<double, 3> expected;
        for (int i = 0; i < 3; ++i)
            expected[size_t(i)] = light[size_t(i)] / white[size_t(i)];
        const double strongest = *std::max_element(expected.begin(), expected.end());
        const uint16_t tops[] = {ramp.red.back(), ramp.green.back(), ramp.blue.back()};
        for (int i = 0; i < 3; ++i) {
            const double level = std::pow(expected[size_t(i)] / strongest, 1 / 2.2);
            QVERIFY2(std::abs(tops[i] / 65535.0 - level) < 0.01,
                     qPrintable(QString("channel %1: %2, published %3")
                                    .arg(i)
                                    .arg(tops[i] / 65535.0)
                                    .arg(level)));
        }
    }

    // What each level does, on the headset's table, with the primary's beside it.
    void levels_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("result");
        QTest::newRow("level 1") << 1 << hlx::entryResult::ok;
        QTest::newRow("level 3") << 3 << hlx::entryResult::ok;
        QTest::newRow("level 0") << 0 << hlx::entryResult::failed;
        QTest::newRow("level 4") << 4 << hlx::entryResult::failed;
        QTest::newRow("level -1") << -1 << hlx::entryResult::failed;
    }

    void levels() {
        QFETCH(int, level);
        QFETCH(int, result);
        TablesHere tables;
        tables.tables = {{"primary", calibrated()}, {"headset", hlx::GammaRamp::identity(256)}};
        const auto before = tables.tables;
        KeptOnRoot kept;
        hlx::Eyeshield shield(tables, kept.store);
        QCOMPARE(shield.switchOn(headsetOn("headset"), level), result);
        QCOMPARE(tables.tables.at("primary"), before.at("primary"));
        if (result != hlx::entryResult::ok) {
            QCOMPARE(tables.writes, 0);
            QVERIFY(!shield.level());
            return;
        }
        const hlx::GammaRamp &warm = tables.tables.at("headset");
        QVERIFY(warm.blue.back() < warm.green.back() && warm.green.back() < warm.red.back());
        QCOMPARE(hlx::Eyeshield::levelOf(warm, before.at("headset"), 0), std::optional(level));
        QCOMPARE(shield.level(), std::optional(level));
        QCOMPARE(shield.switchOff(headsetOn("headset")), hlx::entryResult::ok);
        QCOMPARE(tables.tables, before);
    }

    // Each row: the headset display's table at start, and whether the shield's table of an
    // earlier run is on it; switching on, on again, and off must end with the display's own.
    void ownTableComesBack_data() {
        QTest::addColumn<bool>("calibratedDisplay");
        QTest::addColumn<bool>("leftOnByEarlierRun");
        QTest::newRow("identity") << false << false;
        QTest::newRow("calibrated") << true << false;
        QTest::newRow("shield left on by an earlier run") << false << true;
    }

    void ownTableComesBack() {
        QFETCH(bool, calibratedDisplay);
        QFETCH(bool, leftOnByEarlierRun);
        TablesHere tables;
        const hlx::GammaRamp own = calibratedDisplay ? calibrated() : hlx::GammaRamp::identity(256);
        tables.tables["headset"] = leftOnByEarlierRun ? hlx::Eyeshield::shielded(own, 4500) : own;
        KeptOnRoot kept;
        hlx::Eyeshield shield(tables, kept.store);
        QCOMPARE(shield.switchOn(headsetOn("headset"), 1), hlx::entryResult::ok);
        const hlx::GammaRamp once = tables.tables["headset"];
        QCOMPARE(once, hlx::Eyeshield::shielded(own, 4500));
        QCOMPARE(shield.switchOn(headsetOn("headset"), 1), hlx::entryResult::ok);
        QCOMPARE(tables.tables["headset"], once);
        QCOMPARE(shield.switchOff(headsetOn("headset")), hlx::entryResult::ok);
        QCOMPARE(tables.tables["headset"], own);
    }

    // Each row: the headset display's own table, whether the system keeps only 8 bits of each
    // entry, and what happens in turn. A restart is a new load of the library: a new shield,
    // with nothing but the display's table and what the X server keeps. Then the table the
    // display ends with, and whether hlx-headsets calls the shield on.
    void acrossRuns_data() {
        QTest::addColumn<bool>("calibratedDisplay");
        QTest::addColumn<bool>("eightBits");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("ends");
        QTest::addColumn<bool>("reportedOn");
        QTest::newRow("calibrated, left warm: a restart's Level 1 warms it once")
            << true << false << QStringList{"on", "restart", "on"} << "warm own" << true;
        QTest::newRow("calibrated, left warm across restarts: off gives it back")
            << true << false
            << QStringList{"on", "restart", "on", "restart", "on", "restart", "off"} << "own"
            << false;
        QTest::newRow("plain, left warm: off after a restart")
            << false << false << QStringList{"on", "restart", "off"} << "own" << false;
        QTest::newRow("calibrated again while warm: the new table is the display's own")
            << true << false << QStringList{"on", "restart", "recalibrate", "on"}
            << "warm recalibrated" << true;
        QTest::newRow("calibrated again while warm, then off")
            << true << false << QStringList{"on", "recalibrate", "restart", "on", "off"}
            << "recalibrated" << false;
        QTest::newRow("a system that keeps 8 bits, across restarts")
            << true << true << QStringList{"on", "restart", "on", "restart", "off"} << "own"
            << false;
        QTest::newRow("a display away while switched off comes back with its own")
            << true << false << QStringList{"on", "away off", "back"} << "own" << false;
        QTest::newRow("a display away while switched off after a restart")
            << true << false << QStringList{"on", "restart", "away off", "back", "back"} << "own"
            << false;
        QTest::newRow("switched on again after an off while away")
            << true << false << QStringList{"on", "away off", "on"} << "warm own" << true;
        QTest::newRow("a table of another size (a new mode) while on")
            << true << false << QStringList{"on", "restart", "new mode", "on", "restart", "off"}
            << "plain 1024" << false;
        QTest::newRow("a table of another size (a new mode) while off")
            << true << false << QStringList{"on", "restart", "new mode", "off"} << "plain 1024"
            << false;
        // The driver may leave the CRTC's table as it was: it is then the new display's own.
        QTest::newRow("another display on the same output is not given the headset's table")
            << true << false << QStringList{"on", "restart", "another display", "off"} << "warm own"
            << false;
        QTest::newRow("a table with no entries")
            << false << false << QStringList{"no entries", "on=-1", "off", "restart", "on=-1"}
            << "no entries" << false;
        QTest::newRow("a kept own table that no longer fits the display")
            << true << false << QStringList{"misfit kept", "on", "restart", "off"} << "own"
            << false;
        QTest::newRow("a kept own table that no longer fits, under a warm plain table")
            << false << false << QStringList{"on", "misfit kept", "restart", "off"} << "own"
            << false;
        QTest::newRow("another client's property of the name, under a warm plain table")
            << false << false << QStringList{"on", "foreign property", "restart", "off"} << "own"
            << false;
    }

    void acrossRuns() {
        QFETCH(bool, calibratedDisplay);
        QFETCH(bool, eightBits);
        QFETCH(QStringList, steps);
        QFETCH(QString, ends);
        QFETCH(bool, reportedOn);
        const hlx::GammaRamp own = calibratedDisplay ? calibrated() : hlx::GammaRamp::identity(256);
        const std::map<QString, hlx::GammaRamp> named = {
            {"own", own},
            {"warm own", hlx::Eyeshield::shielded(own, 4500)},
            {"recalibrated", recalibrated()},
            {"warm recalibrated", hlx::Eyeshield::shielded(recalibrated(), 4500)},
            {"plain 1024", hlx::GammaRamp::identity(1024)},
            {"no entries", hlx::GammaRamp{}},
        };
        hlx::HeadsetDisplay display = headsetOn("headset");
        TablesHere tables;
        tables.eightBits = eightBits;
        tables.tables = {{"headset", own}};
        KeptOnRoot kept;
        auto shield = std::make_unique<hlx::Eyeshield>(tables, kept.store);
        for (const QString &step : steps) {
            const QString name = step.section('=', 0, 0);
            const int result = step.contains('=') ? step.section('=', 1).toInt() : 0;
            if (name == "on")
                QCOMPARE(shield->switchOn(display, 1), result);
            else if (name == "off")
                QCOMPARE(shield->switchOff(display), result);
            else if (name == "restart")
                shield = std::make_unique<hlx::Eyeshield>(tables, kept.store);
            else if (name == "away off")
                shield->switchOffAway();
            else if (name == "back")
                shield->reapply(display);
            else if (name == "recalibrate")
                tables.tables["headset"] = recalibrated();
            else if (name == "new mode")
                tables.tables["headset"] = hlx::GammaRamp::identity(1024);
            else if (name == "no entries")
                tables.tables["headset"] = hlx::GammaRamp{};
            else if (name == "another display")
                display = headsetOn("headset", "another index");
            else if (name == "misfit kept")
                QVERIFY(kept.store.keep(display, hlx::GammaRamp::identity(1024)));
            else if (name == "foreign property")
                QVERIFY(setForeignProperty(hlx::RootPropertyRampStore::propertyOf(display)));
            else
                QFAIL(qPrintable("no such step: " + step));
        }
        const hlx::GammaRamp &now = tables.tables.at("headset");
        QVERIFY2(now.matches(named.at(ends), tables.readBackTolerance()),
                 qPrintable(QString("top: red %1, green %2, blue %3")
                                .arg(now.size() ? now.red.back() : -1)
                                .arg(now.size() ? now.green.back() : -1)
                                .arg(now.size() ? now.blue.back() : -1)));
        const std::string report = hlx::headsetDisplayReport(display, tables, kept.store, true);
        QVERIFY2(report.find(reportedOn ? "Eye shield: on, level 1" : "Eye shield: off") !=
                     std::string::npos,
                 report.c_str());
    }

    // A headset display plugged again comes back with a table of its own, and gets the shield's
    // again; a refused table leaves the shield off.
    void displayComingBackAndRefusal() {
        TablesHere tables;
        tables.tables["headset"] = hlx::GammaRamp::identity(1024);
        KeptOnRoot kept;
        hlx::Eyeshield shield(tables, kept.store);
        QCOMPARE(shield.switchOn(headsetOn("headset"), 1), hlx::entryResult::ok);
        const hlx::GammaRamp warm = tables.tables["headset"];
        tables.tables["headset"] = hlx::GammaRamp::identity(1024);
        shield.reapply(headsetOn("headset"));
        QCOMPARE(tables.tables["headset"], warm);
        const int writes = tables.writes;
        shield.reapply(headsetOn("headset"));
        QCOMPARE(tables.writes, writes);

        TablesHere refusing;
        refusing.tables["headset"] = hlx::GammaRamp::identity(256);
        refusing.refusing = true;
        hlx::Eyeshield refused(refusing, kept.store);
        QCOMPARE(refused.switchOn(headsetOn("headset"), 3), hlx::entryResult::failed);
        QVERIFY(!refused.level());
    }

private:
    // What another client may put under the same name: bytes, not a table.
    static bool setForeignProperty(const std::string &name) {
        hlx::XConnection x(nullptr);
        const xcb_atom_t atom = x.internAtom(name);
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, x.root(), atom, XCB_ATOM_STRING, 8, 5,
                            "junk!");
        return atom != XCB_ATOM_NONE && x.sync();
    }
};

QTEST_APPLESS_MAIN(EyeshieldTest)
#include "tst_eyeshield.moc"
