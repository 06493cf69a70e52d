// The demo's own decisions before it shows anything: its command line and the display it
// chooses.
#include "DemoOptions.h"
#include "DisplayChoice.h"

#include <QtTest>

class DemoLogic : public QObject {
    Q_OBJECT
private slots:
    void options_data();
    void options();
    void displayChoice_data();
    void displayChoice();
};

void DemoLogic::options_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("fullscreen");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("adapter");
    // Which options were told to the user as unusable, in order.
    QTest::addColumn<QStringList>("rejected");

    const QStringList none;
    QTest::newRow("nothing") << "" << true << 1920 << 1080 << 0 << none;
    QTest::newRow("the utility's own line")
        << "-screen-fullscreen 1 -screen-height 1080 -screen-width 1920 -adapter 1" << true << 1920
        << 1080 << 1 << none;
    QTest::newRow("windowed, small") << "-screen-fullscreen 0 -screen-width 800 -screen-height 600"
                                     << false << 800 << 600 << 0 << none;
    QTest::newRow("unknown ones skipped with their values")
        << "-batchmode -logFile out.txt -popupwindow -adapter 2 --verbose" << true << 1920 << 1080
        << 2 << none;
    QTest::newRow("value missing at the end")
        << "-screen-width 1280 -adapter" << true << 1280 << 1080 << 0 << QStringList{"-adapter"};
    QTest::newRow("value missing before the next option")
        << "-screen-width -screen-height 720" << true << 1920 << 720 << 0
        << QStringList{"-screen-width"};
    QTest::newRow("width not a number")
        << "-screen-width abc" << true << 1920 << 1080 << 0 << QStringList{"-screen-width"};
    QTest::newRow("trailing junk")
        << "-screen-height 720p" << true << 1920 << 1080 << 0 << QStringList{"-screen-height"};
    QTest::newRow("negative and zero sizes")
        << "-screen-width -1280 -screen-height 0" << true << 1920 << 1080 << 0
        << QStringList{"-screen-width", "-screen-height"};
    QTest::newRow("negative adapter")
        << "-adapter -1" << true << 1920 << 1080 << 0 << QStringList{"-adapter"};
    QTest::newRow("huge numbers")
        << "-screen-width 99999999999 -screen-height 16385 -adapter 99999999999" << true << 1920
        << 1080 << 0 << QStringList{"-screen-width", "-screen-height", "-adapter"};
    QTest::newRow("largest size and adapter taken")
        << "-screen-width 16384 -screen-height 16384 -adapter 2147483647" << true << 16384 << 16384
        << 2147483647 << none;
    QTest::newRow("fullscreen neither 0 nor 1")
        << "-screen-fullscreen 2 -screen-fullscreen yes" << true << 1920 << 1080 << 0
        << QStringList{"-screen-fullscreen", "-screen-fullscreen"};
    QTest::newRow("a bad value keeps an earlier good one")
        << "-screen-fullscreen 0 -screen-fullscreen x -adapter 2 -adapter" << false << 1920 << 1080
        << 2 << QStringList{"-screen-fullscreen", "-adapter"};
}

void DemoLogic::options() {
    QFETCH(QString, line);
    const DemoOptions options = DemoOptions::parse(line.split(' ', Qt::SkipEmptyParts));
    QTEST(options.fullscreen, "fullscreen");
    QTEST(options.width, "width");
    QTEST(options.height, "height");
    QTEST(options.adapter, "adapter");
    QStringList rejected;
    for (const QString &problem : options.problems) {
        QVERIFY2(!problem.contains('\n'), qPrintable(problem));
        rejected << problem.section(' ', 0, 0);
    }
    QTEST(rejected, "rejected");
}

// Three displays as the dummy Xorg has them: the primary, a monitor, and a third.
void DemoLogic::displayChoice_data() {
    QTest::addColumn<QRect>("headsetRect"); // empty: the headset's display is not on the desktop
    QTest::addColumn<QString>("headset");   // empty: no headset known at all
    QTest::addColumn<int>("adapter");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("fillsScreen");
    QTest::addColumn<QString>("note");

    const QRect none;
    const QString index("VLV 91a8 (Index HMD)");
    QTest::newRow("headset on the third, -adapter 1")
        << QRect(2944, 0, 1920, 1080) << index << 1 << 2 << true << QString();
    QTest::newRow("headset mirrored onto the second")
        << QRect(1024, 0, 1280, 720) << index << 0 << 1 << true << QString();
    QTest::newRow("headset off the desktop, -adapter 1: the primary, windowed")
        << none << index << 1 << 0 << false
        << "the display of VLV 91a8 (Index HMD) cannot be shown on: kept for VR";
    QTest::newRow("headset on no screen, -adapter 2: the primary, windowed")
        << QRect(9000, 0, 1920, 1080) << index << 2 << 0 << false
        << "the display of VLV 91a8 (Index HMD) cannot be shown on: its display is on no screen";
    QTest::newRow("no headset, -adapter 1") << none << QString() << 1 << 1 << true << QString();
    QTest::newRow("no headset, -adapter 3: the primary, windowed")
        << none << QString() << 3 << 0 << false << "there is no display 3 (there are 3";
}

void DemoLogic::displayChoice() {
    QFETCH(QRect, headsetRect);
    QFETCH(QString, headset);
    QFETCH(int, adapter);
    QFETCH(QString, note);
    DisplayChoice::Headset known;
    known.name = headset;
    if (!headsetRect.isEmpty())
        known.rect = headsetRect;
    else if (!headset.isEmpty())
        known.unusable = QStringLiteral("kept for VR");
    const QVector<QRect> screens{QRect(0, 0, 1024, 768), QRect(1024, 0, 1920, 1080),
                                 QRect(2944, 0, 1920, 1080)};
    const DisplayChoice choice = DisplayChoice::choose(screens, 0, known, adapter);
    QTEST(choice.index, "index");
    QTEST(choice.mayFillScreen(), "fillsScreen");
    QVERIFY2(note.isEmpty() ? choice.note.isEmpty() : choice.note.startsWith(note),
             qPrintable(choice.note));
}

QTEST_APPLESS_MAIN(DemoLogic)
#include "tst_demologic.moc"
