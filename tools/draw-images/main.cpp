// Draws the application's bitmap images from paths only, so that they can be
// regenerated identically on any machine (no fonts, no external artwork).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QString>

#include <cstdio>

namespace {

// PNG IHDR colour types; QImage alone cannot tell us what the encoder wrote.
constexpr int pngColourRgb = 2;
constexpr int pngColourRgba = 6;

constexpr double minTransparent = 0.40;
constexpr double maxTransparent = 0.60;

struct Target {
    const char *fileName;
    QImage image;
    int colourType;
};

// A goggles front: a rounded slab with a notch cut out for the nose.
QPainterPath gogglesBody(const QRectF &rect, qreal radius, const QRectF &nose) {
    QPainterPath body;
    body.addRoundedRect(rect, radius, radius);
    QPainterPath notch;
    notch.addEllipse(nose);
    return body.subtracted(notch);
}

// The nose notch sits on the bottom edge, mostly inside the slab.
QRectF noseUnder(const QRectF &rect, qreal width, qreal height) {
    const QPointF centre(rect.center().x(), rect.bottom() + height * 0.25);
    return QRectF(centre.x() - width / 2, centre.y() - height, width, 2 * height);
}

// Each picture is drawn in the form's units and scaled as a whole, so the 2x image is the
// same drawing with twice the pixels, not the 1x image stretched.
QImage blankImage(int width, int height, QImage::Format format, int scale) {
    return QImage(width * scale, height * scale, format);
}

QImage drawIcon(int scale) {
    QImage image = blankImage(80, 80, QImage::Format_RGB32, scale);
    // Outside the rounded corners; white keeps the emblem's two-colour look.
    image.fill(Qt::white);
    QPainter p(&image);
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    QLinearGradient red(0, 0, 0, 80);
    red.setColorAt(0, QColor(0xe5, 0x39, 0x35));
    red.setColorAt(1, QColor(0xb7, 0x1c, 0x1c));
    p.setBrush(red);
    p.drawRoundedRect(QRectF(0, 0, 80, 80), 16, 16);

    // Bold shapes only: the icon must still read as goggles at 16 px.
    const QRectF visorRect(11, 25, 58, 32);
    QPainterPath visor = gogglesBody(visorRect, 12, noseUnder(visorRect, 20, 12));
    QPainterPath strap;
    strap.addRoundedRect(QRectF(4, 34, 12, 11), 3, 3);
    strap.addRoundedRect(QRectF(64, 34, 12, 11), 3, 3);
    visor = visor.united(strap);
    QPainterPath lenses;
    lenses.addRoundedRect(QRectF(18, 31, 18, 14), 6, 6);
    lenses.addRoundedRect(QRectF(44, 31, 18, 14), 6, 6);
    p.setBrush(Qt::white);
    p.drawPath(visor.subtracted(lenses));
    return image;
}

QImage drawReadyLogo(int scale) {
    QImage image = blankImage(265, 161, QImage::Format_RGB32, scale);
    image.fill(Qt::white);
    QPainter p(&image);
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);

    QLinearGradient blue(0, 30, 0, 130);
    blue.setColorAt(0, QColor(0x1e, 0x88, 0xe5));
    blue.setColorAt(1, QColor(0x0d, 0x47, 0xa1));
    const QBrush blueBrush(blue);

    const QRectF body(30, 38, 150, 82);
    QPainterPath straps;
    // The inner round caps stay hidden under the body's outline.
    straps.moveTo(12, 74);
    straps.lineTo(body.left() - 2, 74);
    straps.moveTo(body.right() + 2, 74);
    straps.lineTo(body.right() + 18, 74);
    p.setPen(QPen(blueBrush, 11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(straps);
    p.setPen(QPen(blueBrush, 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(gogglesBody(body, 28, noseUnder(body, 34, 20)));
    QPainterPath lenses;
    lenses.addRoundedRect(QRectF(47, 53, 50, 38), 15, 15);
    lenses.addRoundedRect(QRectF(113, 53, 50, 38), 15, 15);
    p.setPen(QPen(blueBrush, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(lenses);

    QPainterPath tick;
    tick.moveTo(156, 98);
    tick.lineTo(186, 128);
    tick.lineTo(250, 42);
    // A white halo separates the tick from the blue lines it crosses.
    p.setPen(QPen(Qt::white, 32, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    QLinearGradient green(156, 128, 250, 42);
    green.setColorAt(0, QColor(0x2e, 0x7d, 0x32));
    green.setColorAt(1, QColor(0x66, 0xbb, 0x6a));
    p.setPen(QPen(QBrush(green), 18, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return image;
}

// Outline of a question mark drawn as one stroked curve plus a dot, centred on 0,0.
QPainterPath questionMark(qreal strokeWidth) {
    const QRectF bowl(-30, -62, 60, 60);
    QPainterPath hook;
    hook.arcMoveTo(bowl, 160);
    hook.arcTo(bowl, 160, -215);
    hook.quadTo(0, 2, 0, 20);
    hook.lineTo(0, 28);
    QPainterPathStroker stroker;
    stroker.setWidth(strokeWidth);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    QPainterPath glyph = stroker.createStroke(hook);
    glyph.addEllipse(QPointF(0, 52), strokeWidth * 0.62, strokeWidth * 0.62);
    return glyph.simplified();
}

QImage drawNoHeadset(int scale) {
    QImage image = blankImage(357, 237, QImage::Format_ARGB32_Premultiplied, scale);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing);

    // The strap loops behind the body; only its back half shows above it.
    const QPointF strapCentre(178.5, 112);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x5c, 0x5c, 0x5c), 20));
    p.drawEllipse(strapCentre, 164, 72);
    p.setPen(QPen(QColor(0x8c, 0x8c, 0x8c), 16));
    p.drawEllipse(strapCentre, 164, 72);

    const QRectF bodyRect(60, 68, 237, 136);
    const QRectF nose = noseUnder(bodyRect, 56, 30);
    QLinearGradient shell(0, bodyRect.top(), 0, bodyRect.bottom());
    shell.setColorAt(0, QColor(0xbd, 0xbd, 0xbd));
    shell.setColorAt(1, QColor(0x75, 0x75, 0x75));
    p.setPen(QPen(QColor(0x5c, 0x5c, 0x5c), 2));
    p.setBrush(shell);
    p.drawPath(gogglesBody(bodyRect, 40, nose));

    const qreal rim = 13;
    QRadialGradient sheen(bodyRect.center().x(), bodyRect.top() + 30, 150);
    sheen.setColorAt(0, QColor(0xd6, 0xd6, 0xd6));
    sheen.setColorAt(1, QColor(0x9a, 0x9a, 0x9a));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawPath(gogglesBody(bodyRect.adjusted(rim, rim, -rim, -rim), 40 - rim,
                           nose.adjusted(-rim, -rim, rim, rim)));

    p.translate(bodyRect.center().x(), 112);
    p.scale(1.25, 1.25);
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0x3c, 0x3c, 0x3c), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(questionMark(20));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

double transparentFraction(const QImage &image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    long long clear = 0;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            clear += qAlpha(row[x]) == 0 ? 1 : 0;
    }
    return static_cast<double>(clear) / (static_cast<double>(argb.width()) * argb.height());
}

// Reads the IHDR fields straight from the file: -1 if it is not a PNG.
int pngColourType(const QString &path, int *bitDepth) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = file.read(26);
    if (head.size() < 26 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return -1;
    *bitDepth = static_cast<unsigned char>(head[24]);
    return static_cast<unsigned char>(head[25]);
}

bool writeAndCheck(const QDir &dir, const Target &target) {
    const QString path = dir.filePath(QString::fromLatin1(target.fileName));
    if (!target.image.save(path, "PNG")) {
        std::fprintf(stderr, "%s: cannot write\n", qPrintable(path));
        return false;
    }
    const QImage back(path);
    const bool wantAlpha = target.colourType == pngColourRgba;
    if (back.isNull() || back.size() != target.image.size() ||
        back.hasAlphaChannel() != wantAlpha) {
        std::fprintf(stderr, "%s: read back as %dx%d, alpha %d\n", qPrintable(path), back.width(),
                     back.height(), back.hasAlphaChannel() ? 1 : 0);
        return false;
    }
    int bitDepth = 0;
    const int colourType = pngColourType(path, &bitDepth);
    if (colourType != target.colourType || bitDepth != 8) {
        std::fprintf(stderr, "%s: PNG colour type %d, bit depth %d; expected %d, 8\n",
                     qPrintable(path), colourType, bitDepth, target.colourType);
        return false;
    }
    std::printf("%s: %dx%d, colour type %d\n", qPrintable(path), back.width(), back.height(),
                colourType);
    if (wantAlpha) {
        const double clear = transparentFraction(back);
        std::printf("%s: %.1f %% of pixels fully transparent\n", qPrintable(path), clear * 100);
        if (clear < minTransparent || clear > maxTransparent) {
            std::fprintf(stderr, "%s: transparent share outside %.0f-%.0f %%\n", qPrintable(path),
                         minTransparent * 100, maxTransparent * 100);
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    // Drawing needs no display; this also runs on build machines without one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "%s: cannot create folder\n", argv[1]);
        return 1;
    }

    // The @2x names are the ones Qt looks for beside an image on screens above 100 %.
    const Target targets[] = {
        {"myicon.png", drawIcon(1), pngColourRgb},
        {"vnlogo.png", drawReadyLogo(1), pngColourRgb},
        {"NoHMD.png", drawNoHeadset(1), pngColourRgba},
        {"myicon@2x.png", drawIcon(2), pngColourRgb},
        {"vnlogo@2x.png", drawReadyLogo(2), pngColourRgb},
        {"NoHMD@2x.png", drawNoHeadset(2), pngColourRgba},
    };
    bool ok = true;
    for (const Target &target : targets)
        ok = writeAndCheck(dir, target) && ok;
    return ok ? 0 : 1;
}
