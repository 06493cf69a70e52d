// The demo's decisions that need no display: its command line, where its scene goes in its
// window, its projection, its pictures drawn frame by frame, and how it reads Windows's show
// command.
#include "DemoOptions.h"
#include "DemoWindow.h"
#include "DisplayChoice.h"
#include "EyeView.h"
#include "ShowCommand.h"
#include "StereoCamera.h"

#include <QtTest>

Q_DECLARE_METATYPE(ShowCommand)

class DemoLogic : public QObject {
    Q_OBJECT
private slots:
    void options_data();
    void options();
    void sceneRect_data();
    void sceneRect();
    void displayChoice_data();
    void displayChoice();
    void projection_data();
    void projection();
    void eyeView_data();
    void eyeView();
    void showCommand_data();
    void showCommand();
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

void DemoLogic::sceneRect_data() {
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("same") << QSize(1920, 1080) << QSize(1920, 1080) << QRect(0, 0, 1920, 1080);
    QTest::newRow("centred in a larger display")
        << QSize(1920, 1080) << QSize(2160, 1200) << QRect(120, 60, 1920, 1080);
    QTest::newRow("display smaller, same shape")
        << QSize(1920, 1080) << QSize(1280, 720) << QRect(0, 0, 1280, 720);
    QTest::newRow("display smaller, squarer")
        << QSize(1920, 1080) << QSize(1024, 768) << QRect(0, 96, 1024, 576);
    QTest::newRow("only narrower")
        << QSize(1920, 1080) << QSize(1440, 2560) << QRect(0, 875, 1440, 810);
}

void DemoLogic::sceneRect() {
    QFETCH(QSize, requested);
    QFETCH(QSize, area);
    QTEST(DemoWindow::sceneRect(requested, area), "expected");
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

void DemoLogic::projection_data() {
    QTest::addColumn<QSizeF>("eyeSize");
    QTest::addColumn<double>("distance");

    QTest::newRow("arm's length, 1080p") << QSizeF(960, 1080) << 0.5;
    QTest::newRow("across the room, 1080p") << QSizeF(960, 1080) << 4.0;
    QTest::newRow("far, headset panel") << QSizeF(1440, 1600) << 50.0;
    QTest::newRow("just beyond the near plane") << QSizeF(1080, 1200) << 0.06;
}

void DemoLogic::projection() {
    QFETCH(QSizeF, eyeSize);
    QFETCH(double, distance);
    StereoCamera camera(eyeSize);
    const Vec3 head{0.3, 1.6, 2.0};
    camera.setHead(head);
    const QPointF centre(eyeSize.width() / 2, eyeSize.height() / 2);
    const double f = camera.focalLength();
    // 90 degrees across each eye: the half width sits at 45 degrees.
    QCOMPARE(f, eyeSize.width() / 2);

    for (Eye eye : {Eye::Left, Eye::Right}) {
        const Vec3 ahead = camera.eyePosition(eye) + Vec3{0, 0, -distance};
        const auto straight = camera.project(eye, ahead);
        QVERIFY(straight);
        QVERIFY(qAbs(straight->x() - centre.x()) < 1e-6 && qAbs(straight->y() - centre.y()) < 1e-6);
        const auto above = camera.project(eye, ahead + Vec3{0, distance, 0});
        QVERIFY(above);
        QVERIFY(qAbs(above->y() - (centre.y() - f)) < 1e-6);
        QVERIFY(!camera.project(eye, camera.eyePosition(eye) + Vec3{0, 0, distance}));
        QVERIFY(!camera.project(eye, camera.eyePosition(eye) + Vec3{1, 0, 0}));
    }
    QCOMPARE(camera.eyePosition(Eye::Right).x - camera.eyePosition(Eye::Left).x,
             StereoCamera::interpupillaryDistance);

    // A point between the eyes is seen right of centre by the left eye and left of it by the
    // right eye; the difference is the disparity that tells its distance.
    const Vec3 between = head + Vec3{0, 0, -distance};
    const auto left = camera.project(Eye::Left, between);
    const auto right = camera.project(Eye::Right, between);
    QVERIFY(left && right);
    QVERIFY(left->x() > centre.x() && right->x() < centre.x());
    const double disparity = left->x() - right->x();
    QVERIFY2(qAbs(disparity - f * 0.064 / distance) < 1.0, qPrintable(QString::number(disparity)));
    QCOMPARE(left->y(), right->y());
}

void DemoLogic::eyeView_data() {
    QTest::addColumn<QSize>("firstSize");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("frameSeconds");

    QTest::newRow("1080p at 60 Hz") << QSize(960, 1080) << QSize(960, 1080) << 1.0 / 60;
    QTest::newRow("headset panel at 144 Hz") << QSize(1440, 1600) << QSize(1440, 1600) << 1 / 144.0;
    QTest::newRow("a late frame, half a second on") << QSize(960, 1080) << QSize(960, 1080) << 0.5;
    QTest::newRow("a new mode between frames") << QSize(960, 1080) << QSize(1440, 1600) << 1 / 90.0;
}

void DemoLogic::eyeView() {
    QFETCH(QSize, firstSize);
    QFETCH(QSize, size);
    QFETCH(double, frameSeconds);
    const StereoScene scene;
    for (Eye eye : {Eye::Left, Eye::Right}) {
        EyeView kept(eye);
        QCOMPARE(kept.advance(scene, firstSize, 10.0), QRegion(QRect(QPoint(), firstSize)));
        QRegion changed;
        double seconds = 10.0;
        for (int frame = 1; frame <= 5; ++frame) {
            seconds += frameSeconds;
            changed = kept.advance(scene, size, seconds);
        }
        // Drawn again only where the solids are or were, yet the same picture as drawn anew.
        EyeView fresh(eye);
        fresh.advance(scene, size, seconds);
        QCOMPARE(kept.picture().size(), size);
        QVERIFY(kept.picture() == fresh.picture());
        qint64 changedArea = 0;
        for (const QRect &rect : changed)
            changedArea += qint64(rect.width()) * rect.height();
        QVERIFY2(changedArea > 0 && changedArea < qint64(size.width()) * size.height() / 5,
                 qPrintable(QString::number(changedArea)));
    }
}

void DemoLogic::showCommand_data() {
    QTest::addColumn<bool>("useShowWindow");
    QTest::addColumn<int>("showWindow");
    QTest::addColumn<ShowCommand>("expected");

    QTest::newRow("no flag, even with SW_HIDE") << false << 0 << ShowCommand::Normal;
    QTest::newRow("SW_HIDE") << true << 0 << ShowCommand::Hidden;
    QTest::newRow("SW_SHOWNORMAL") << true << 1 << ShowCommand::Normal;
    QTest::newRow("SW_SHOWMINIMIZED") << true << 2 << ShowCommand::Minimized;
    QTest::newRow("SW_SHOWMAXIMIZED") << true << 3 << ShowCommand::Normal;
    QTest::newRow("SW_MINIMIZE") << true << 6 << ShowCommand::Minimized;
    QTest::newRow("SW_SHOWMINNOACTIVE") << true << 7 << ShowCommand::Minimized;
    QTest::newRow("SW_SHOWNA") << true << 8 << ShowCommand::Normal;
    QTest::newRow("SW_FORCEMINIMIZE") << true << 11 << ShowCommand::Minimized;
}

void DemoLogic::showCommand() {
    QFETCH(bool, useShowWindow);
    QFETCH(int, showWindow);
    QTEST(showCommandFromStartupInfo(useShowWindow, showWindow), "expected");
}

QTEST_APPLESS_MAIN(DemoLogic)
#include "tst_demologic.moc"
