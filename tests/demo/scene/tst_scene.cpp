// The scene without a display: its projection, and its pictures drawn frame by frame.
#include "EyeView.h"
#include "StereoCamera.h"

#include <QtTest>

class SceneLogic : public QObject {
    Q_OBJECT
private slots:
    void projection_data();
    void projection();
    void eyeView_data();
    void eyeView();
};

void SceneLogic::projection_data() {
    QTest::addColumn<QSizeF>("eyeSize");
    QTest::addColumn<double>("distance");

    QTest::newRow("arm's length, 1080p") << QSizeF(960, 1080) << 0.5;
    QTest::newRow("across the room, 1080p") << QSizeF(960, 1080) << 4.0;
    QTest::newRow("far, headset panel") << QSizeF(1440, 1600) << 50.0;
    QTest::newRow("just beyond the near plane") << QSizeF(1080, 1200) << 0.06;
}

void SceneLogic::projection() {
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

void SceneLogic::eyeView_data() {
    QTest::addColumn<QSize>("firstSize");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("frameSeconds");

    QTest::newRow("1080p at 60 Hz") << QSize(960, 1080) << QSize(960, 1080) << 1.0 / 60;
    QTest::newRow("headset panel at 144 Hz") << QSize(1440, 1600) << QSize(1440, 1600) << 1 / 144.0;
    QTest::newRow("a late frame, half a second on") << QSize(960, 1080) << QSize(960, 1080) << 0.5;
    QTest::newRow("a new mode between frames") << QSize(960, 1080) << QSize(1440, 1600) << 1 / 90.0;
}

void SceneLogic::eyeView() {
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

QTEST_APPLESS_MAIN(SceneLogic)
#include "tst_scene.moc"
