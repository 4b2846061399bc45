#include "FaceTestSupport.h"

#include <QTest>
#include <QTransform>

namespace {

const QRgb ink = qRgb(0, 0, 255);

QFont testFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    return font;
}

FaceInputs saveButton(int style, bool focused = false) {
    FaceInputs in = faceOf(153, 25, style);
    in.Caption = QStringLiteral("&Save");
    in.font = testFont();
    in.ForeColor = MakeRgb(0, 0, 255);
    in.HasFocus = focused ? 1 : 0;
    in.BEVEL = 2; // graded bevels, so styles 0 and 1 show several rings
    return in;
}

QImage paintAt(const FaceInputs& in, double ratio) {
    FaceMemory memory = memoryFor(in);
    return PaintButtonFaceAt(in, memory, ratio);
}

QRgb opaque(QRgb p) {
    return p | 0xFF000000u;
}

} // namespace

class DeviceFaceTest : public QObject {
    Q_OBJECT
private slots:
    // Every style and a focused face at 1x, 1.5x and 2x: at 1x the face is the
    // 1x face pixel for pixel; above, the rings along the edges keep their
    // 1x colours, every ring as thick as the others, the cut corners of
    // style 3 are cut in the same steps, and the gradient inside changes by
    // device row in one direction only.
    void edgesKeepTheirPatternAtEveryRatio() {
        for (const int style : {0, 1, 2, 3, 4}) {
            for (const bool focused : {false, true}) {
                const FaceInputs in = saveButton(style, focused);
                const QImage one = paint(in);
                for (const double ratio : {1.0, 1.5, 2.0}) {
                    const QString where = QStringLiteral("style %1%2 at %3x")
                                              .arg(style)
                                              .arg(focused ? QStringLiteral(" focused") : QString())
                                              .arg(ratio);
                    const QImage device = paintAt(in, ratio);
                    QVERIFY2(qFuzzyCompare(device.devicePixelRatio(), ratio), qPrintable(where));
                    if (ratio == 1.0) {
                        QVERIFY2(device == one, qPrintable(where));
                        continue;
                    }
                    const FaceAxis ax(in.width, ratio, FaceEdgeBand(in));
                    const FaceAxis ay(in.height, ratio, FaceEdgeBand(in));
                    const int line = FaceLineWidth(ratio);
                    QCOMPARE(device.size(), QSize(DeviceExtent(153, ratio), DeviceExtent(25, ratio)));
                    const QRegion region =
                        style == 3 ? MakeRoundRegion(in.width, in.height) : QRegion(one.rect());

                    // The band rows, sampled where no caption or corner lies.
                    const int column = ax.toDevice(12);
                    for (int y = 0; y < in.height; ++y) {
                        if (y >= ay.band && y < in.height - ay.band)
                            continue;
                        QCOMPARE(ay.toDevice(y + 1) - ay.toDevice(y), line);
                        for (int dy = ay.toDevice(y); dy < ay.toDevice(y + 1); ++dy)
                            QVERIFY2(opaque(device.pixel(column, dy)) == opaque(one.pixel(12, y)),
                                     qPrintable(where + QStringLiteral(" row %1").arg(dy)));
                    }
                    // The corners, block by block; cut pixels are transparent.
                    for (int dy = 0; dy < device.height(); ++dy) {
                        for (int dx = 0; dx < device.width(); ++dx) {
                            if (!ax.inBand(dx) || !ay.inBand(dy))
                                continue;
                            const QPoint p(static_cast<int>(ax.toPixel(dx)),
                                           static_cast<int>(ay.toPixel(dy)));
                            if (!region.contains(p))
                                QVERIFY2(qAlpha(device.pixel(dx, dy)) == 0, qPrintable(where));
                            else if (!focused)
                                QVERIFY2(opaque(device.pixel(dx, dy)) == opaque(one.pixel(p)),
                                         qPrintable(where + QStringLiteral(" at %1, %2").arg(dx).arg(dy)));
                        }
                    }
                    if (style == 3) {
                        int previous = 256;
                        for (int dy = ay.band * line; dy < device.height() - ay.band * line; ++dy) {
                            const int red = qRed(device.pixel(column, dy));
                            QVERIFY2(red <= previous, qPrintable(where));
                            previous = red;
                        }
                    }
                }
            }
        }
    }

    // A control whose edges fall between device pixels, as most do at 125 %,
    // 150 % and 175 %: the face covers exactly the device pixels the screen
    // gives the control, every pixel its region shows is opaque (a
    // transparent one shows black on the screen), each side's outline is one
    // line thick, and every shown pixel on the region's edge is outline, at
    // the cut corners too.
    void facesBetweenDevicePixels() {
        for (const bool enabled : {true, false}) {
            FaceInputs in = faceOf(153, 25, 3);
            in.Enabled = enabled;
            const QImage one = paint(in);
            // The disabled face has corner pixels of a colour of their own.
            const QList<QRgb> outline{opaque(one.pixel(76, 0)), opaque(one.pixel(1, 1))};
            for (const double ratio : {1.25, 1.5, 1.75, 2.0}) {
                const int line = FaceLineWidth(ratio);
                for (int offset = 0; offset < 4; ++offset) {
                    const QString where = QStringLiteral("%1 at %2x, offset %3")
                                              .arg(enabled ? "enabled" : "disabled")
                                              .arg(ratio)
                                              .arg(offset);
                    const QPoint at(100 + offset, 7 + 3 * offset);
                    const DevicePlacement placement = PlaceOnDevice(
                        QTransform::fromTranslate(at.x(), at.y()) * QTransform::fromScale(ratio, ratio),
                        ratio, QSize(153, 25), MakeRoundRegion(153, 25));
                    QCOMPARE(placement.rect.topLeft(),
                             QPoint(qRound(at.x() * ratio), qRound(at.y() * ratio)));
                    QCOMPARE(placement.rect.bottomRight() + QPoint(1, 1),
                             QPoint(qRound((at.x() + 153) * ratio), qRound((at.y() + 25) * ratio)));
                    FaceMemory memory = memoryFor(in);
                    const QImage face = PaintButtonFaceAt(in, memory, placement);
                    QCOMPARE(face.size(), placement.rect.size());

                    const auto shown = [&](int x, int y) { return placement.visible.contains(QPoint(x, y)); };
                    for (int y = 0; y < face.height(); ++y) {
                        for (int x = 0; x < face.width(); ++x) {
                            if (!shown(x, y))
                                continue;
                            const QString pixel = where + QStringLiteral(": pixel %1, %2").arg(x).arg(y);
                            QVERIFY2(qAlpha(face.pixel(x, y)) == 255, qPrintable(pixel));
                            const bool onEdge =
                                !shown(x - 1, y) || !shown(x + 1, y) || !shown(x, y - 1) || !shown(x, y + 1);
                            if (onEdge)
                                QVERIFY2(outline.contains(opaque(face.pixel(x, y))), qPrintable(pixel));
                        }
                    }
                    // Across the middle of each side: the line, then the face.
                    const int midX = face.width() / 2;
                    const int midY = face.height() / 2;
                    const QList<QList<QPoint>> inward{
                        {{midX, 0}, {0, 1}},
                        {{midX, face.height() - 1}, {0, -1}},
                        {{0, midY}, {1, 0}},
                        {{face.width() - 1, midY}, {-1, 0}},
                    };
                    for (const QList<QPoint>& side : inward) {
                        for (int k = 0; k <= line; ++k) {
                            const QPoint p = side[0] + side[1] * k;
                            QVERIFY2(outline.contains(opaque(face.pixel(p))) == (k < line),
                                     qPrintable(where + QStringLiteral(": %1, %2").arg(p.x()).arg(p.y())));
                        }
                    }
                }
            }
        }
    }

    // At 2x the caption is set anew: its glyphs have edges inside the
    // squares that stand for one 1x pixel, and are not the 1x glyphs blown up.
    void captionHasDetailBelowOnePixel() {
        for (const int style : {0, 1, 2, 3, 4}) {
            const FaceInputs in = saveButton(style);
            const QImage one = paint(in);
            const QImage two = paintAt(in, 2.0);
            int inked = 0;
            int mixed = 0;
            bool copy = true;
            for (int y = 0; y < in.height; ++y) {
                for (int x = 0; x < in.width; ++x) {
                    int count = 0;
                    for (const auto& [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}})
                        count += opaque(two.pixel(2 * x + dx, 2 * y + dy)) == ink ? 1 : 0;
                    inked += count > 0 ? 1 : 0;
                    mixed += count > 0 && count < 4 ? 1 : 0;
                    copy = copy && (count == 4) == (opaque(one.pixel(x, y)) == ink);
                }
            }
            const QString where =
                QStringLiteral("style %1: %2 of %3 blocks mixed").arg(style).arg(mixed).arg(inked);
            QVERIFY2(inked > 20 && !copy, qPrintable(where));
            QVERIFY2(mixed * 3 >= inked, qPrintable(where));
        }
    }
};

QTEST_MAIN(DeviceFaceTest)
#include "device_face_test.moc"
