#include <QFile>
#include <QImage>
#include <QResource>
#include <QTest>

// The pictures built into the program: their sizes, PNG formats and what they show.
class ImagesTest : public QObject {
    Q_OBJECT

private slots:
    void formats_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("colourType");
        QTest::newRow("logo") << ":/new/icon/imges/vnlogo.png" << QSize(265, 161) << kRgb;
        QTest::newRow("icon") << ":/new/icon/imges/myicon.png" << QSize(80, 80) << kRgb;
        QTest::newRow("no headset") << ":/new/icon/imges/NoHMD.png" << QSize(357, 237) << kRgba;
        // Drawn again at twice the size for screens above 100 %, where Qt looks for them.
        QTest::newRow("logo 2x") << ":/new/icon/imges/vnlogo@2x.png" << QSize(530, 322) << kRgb;
        QTest::newRow("icon 2x") << ":/new/icon/imges/myicon@2x.png" << QSize(160, 160) << kRgb;
        QTest::newRow("no headset 2x")
            << ":/new/icon/imges/NoHMD@2x.png" << QSize(714, 474) << kRgba;
    }

    void formats() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(int, colourType);

        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), size);
        QCOMPARE(image.hasAlphaChannel(), colourType == kRgba);

        // The PNG header itself: 8 bits per channel, RGB or RGBA, never a palette.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(33);
        QCOMPARE(header.mid(1, 3), QByteArray("PNG"));
        QCOMPARE(header.mid(12, 4), QByteArray("IHDR"));
        QCOMPARE(int(quint8(header[24])), 8);
        QCOMPARE(int(quint8(header[25])), colourType);

        QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);
    }

    void noHeadsetPictureIsHalfTransparent() {
        const QImage image(":/new/icon/imges/NoHMD.png");
        const Census census = count(image);
        const double transparent = double(census.transparent) / census.total;
        QVERIFY2(transparent > 0.35 && transparent < 0.65,
                 qPrintable(QString::number(transparent)));
        QVERIFY(census.grey > census.total / 10);
        QVERIFY(census.white > census.total / 50);
    }

    void iconIsRedAndWhite() {
        const Census census = count(QImage(":/new/icon/imges/myicon.png"));
        QVERIFY(census.red > census.total / 4);
        QVERIFY(census.white > census.total / 10);
        QCOMPARE(census.green + census.blue, 0);
    }

    void logoIsGreenAndBlueOnWhite() {
        const QImage image(":/new/icon/imges/vnlogo.png");
        const Census census = count(image);
        QVERIFY(census.white > census.total / 2);
        QVERIFY(census.green > census.total / 100);
        QVERIFY(census.blue > census.total / 100);
        QCOMPARE(census.red, 0);
        QCOMPARE(QColor(image.pixel(0, 0)), QColor(Qt::white));
    }

    // The tray menu names three pictures the program does not carry: they load as nothing.
    void trayMenuPicturesAreAbsent() {
        for (const char *path :
             {":/image/image/close.png", ":/image/image/info.png", ":/image/image/home.png"}) {
            QVERIFY2(QImage(path).isNull(), path);
            QVERIFY2(!QFile::exists(path), path);
        }
    }

private:
    static constexpr int kRgb = 2;
    static constexpr int kRgba = 6;

    struct Census {
        int total = 0;
        int transparent = 0;
        int red = 0;
        int green = 0;
        int blue = 0;
        int white = 0;
        int grey = 0;
    };

    // Sorts the opaque pixels by their dominant hue, loosely enough for antialiased edges.
    static Census count(const QImage &image) {
        Census census;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = QColor::fromRgba(image.pixel(x, y));
                ++census.total;
                if (c.alpha() == 0) {
                    ++census.transparent;
                } else if (c.saturation() < 40) {
                    c.value() > 235 ? ++census.white : ++census.grey;
                } else if (c.saturation() > 100 && c.value() > 80) {
                    const int hue = c.hue();
                    if (hue < 20 || hue > 340)
                        ++census.red;
                    else if (hue > 80 && hue < 160)
                        ++census.green;
                    else if (hue > 190 && hue < 250)
                        ++census.blue;
                }
            }
        }
        return census;
    }
};

QTEST_GUILESS_MAIN(ImagesTest)
#include "tst_images.moc"
