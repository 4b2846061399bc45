#include "FaceTestSupport.h"

#include <QTest>

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
