#include "FaceTestSupport.h"

#include <QTest>

#include <cmath>

namespace {

const QRgb darkShadow = qRgb(64, 64, 64);

// The window's Save button: 153 x 25, style 3, a face colour given as RGB.
FaceInputs saveButton() {
    FaceInputs in = faceOf(153, 25, 3);
    in.BackColor = MakeRgb(212, 208, 200);
    return in;
}

QRgb shade(RgbValue from, int amount) {
    return ToQRgb(OffsetColor(from, amount));
}

const RgbValue base = MakeRgb(255, 255, 250);

void checkOutline(const QImage& face) {
    const int W = face.width(), H = face.height();
    for (int x = 0; x < W; ++x) {
        COMPARE_PIXEL(face, x, 0, darkShadow);
        COMPARE_PIXEL(face, x, H - 1, darkShadow);
    }
    for (int y = 0; y < H; ++y) {
        COMPARE_PIXEL(face, 0, y, darkShadow);
        COMPARE_PIXEL(face, W - 1, y, darkShadow);
    }
    COMPARE_PIXEL(face, 1, 1, darkShadow);
    COMPARE_PIXEL(face, 1, H - 2, darkShadow);
    COMPARE_PIXEL(face, W - 2, 1, darkShadow);
    COMPARE_PIXEL(face, W - 2, H - 2, darkShadow);
}

} // namespace

class RoundFaceTest : public QObject {
    Q_OBJECT
private slots:
    void restingFaceDarkensOneStepPerRow() {
        const QImage face = paint(saveButton());
        QCOMPARE(face.size(), QSize(153, 25));
        QCOMPARE(face.format(), QImage::Format_RGB32);
        COMPARE_PIXEL(face, 76, 12, rgb(243, 243, 235));
        for (int y = 3; y <= 21; ++y)
            for (int x : {3, 76, 149})
                COMPARE_PIXEL(face, x, y, shade(base, -y));
        // The last row lies under the outline; its shade is still the next step.
        QCOMPARE(shade(base, -24), rgb(231, 231, 219));
        QCOMPARE(shade(base, -1), rgb(254, 254, 249));
        checkOutline(face);
    }

    void restingFaceHasThePlainInnerEdge() {
        const QImage face = paint(saveButton());
        const int W = 153, H = 25;
        COMPARE_PIXEL(face, 76, H - 2, rgb(207, 207, 188));
        COMPARE_PIXEL(face, 2, H - 2, rgb(207, 207, 188));
        COMPARE_PIXEL(face, 76, 1, rgb(255, 255, 255));
        COMPARE_PIXEL(face, W - 3, 1, rgb(255, 255, 255));
        COMPARE_PIXEL(face, 76, H - 3, shade(base, -32));
        COMPARE_PIXEL(face, 1, H - 3, shade(base, -5)); // the left line is drawn later
        COMPARE_PIXEL(face, 76, 2, shade(base, 10));
        COMPARE_PIXEL(face, W - 2, 10, shade(base, -36));
        COMPARE_PIXEL(face, W - 2, 2, shade(base, -36));
        COMPARE_PIXEL(face, W - 3, 10, shade(base, -24));
        COMPARE_PIXEL(face, 1, 10, shade(base, -5));
        COMPARE_PIXEL(face, 2, 10, shade(base, -10));
        COMPARE_PIXEL(face, 2, H - 3, shade(base, -32)); // the column stops short of its end
    }

    void focusRingReplacesTheInnerEdge() {
        FaceInputs in = saveButton();
        in.HasFocus = 1;
        const QImage face = paint(in);
        const QRgb ring = rgb(140, 170, 230);
        COMPARE_PIXEL(face, 1, 12, ring);
        COMPARE_PIXEL(face, 151, 12, ring);
        COMPARE_PIXEL(face, 76, 22, ring);
        COMPARE_PIXEL(face, 76, 1, rgb(205, 235, 255));
        COMPARE_PIXEL(face, 76, 2, shade(MakeRgb(140, 170, 230), 50));
        COMPARE_PIXEL(face, 151, 2, shade(MakeRgb(140, 170, 230), 50));
        COMPARE_PIXEL(face, 76, 23, shade(MakeRgb(140, 170, 230), -33));
        COMPARE_PIXEL(face, 2, 12, shade(MakeRgb(140, 170, 230), 31));
        COMPARE_PIXEL(face, 150, 12, shade(MakeRgb(140, 170, 230), 31));
        COMPARE_PIXEL(face, 76, 12, rgb(243, 243, 235));
        checkOutline(face);
    }

    void hoverRingCoversTheFocusRing() {
        FaceInputs in = saveButton();
        in.IsHover = 1;
        const QImage hovered = paint(in);
        in.HasFocus = 1;
        const QImage both = paint(in);
        QCOMPARE(both, hovered);
        const RgbValue ring = MakeRgb(225, 153, 71);
        COMPARE_PIXEL(hovered, 1, 12, ToQRgb(ring));
        COMPARE_PIXEL(hovered, 76, 22, ToQRgb(ring));
        COMPARE_PIXEL(hovered, 76, 1, rgb(255, 243, 104));
        COMPARE_PIXEL(hovered, 76, 2, shade(ring, 35));
        COMPARE_PIXEL(hovered, 76, 23, shade(ring, -40));
        COMPARE_PIXEL(hovered, 2, 12, shade(ring, 20));
        COMPARE_PIXEL(hovered, 150, 12, shade(ring, 20));
    }

    void pressedFaceRunsTheGradientBackwards() {
        FaceInputs in = saveButton();
        in.IsPressed = 1;
        const QImage face = paint(in);
        const RgbValue p = MakeRgb(223, 223, 209);
        QCOMPARE(OffsetColor(base, -32), p);
        QCOMPARE(shade(p, -15), rgb(208, 208, 193));
        // Rows from the bottom: offsets -1, -1, -2, -2, -3, -4, ... for i = 1, 2, 3, ...
        const int expected[] = {0,  -1, -1, -2,  -2,  -3,  -4,  -4,  -5,  -5,  -6,  -7,  -7,
                                -8, -8, -9, -10, -10, -11, -11, -12, -13, -13, -14, -14, -15};
        for (int i = 4; i <= 22; ++i)
            COMPARE_PIXEL(face, 76, 25 - i, shade(p, expected[i]));
        COMPARE_PIXEL(face, 76, 23, shade(p, 16));
        COMPARE_PIXEL(face, 76, 22, shade(p, 10));
        COMPARE_PIXEL(face, 151, 10, shade(p, 5));
        COMPARE_PIXEL(face, 150, 10, ToQRgb(p));
        COMPARE_PIXEL(face, 76, 1, shade(p, -32));
        COMPARE_PIXEL(face, 76, 2, shade(p, -24));
        COMPARE_PIXEL(face, 1, 10, shade(p, -32));
        COMPARE_PIXEL(face, 2, 10, shade(p, -22));
        checkOutline(face);

        // Pressed wins over hover and focus: no ring.
        in.IsHover = 1;
        in.HasFocus = 1;
        QCOMPARE(paint(in), face);
    }

    void disabledFaceIsFlat() {
        FaceInputs in = saveButton();
        in.Enabled = false;
        in.HasFocus = 1;
        in.IsHover = 1;
        const QImage face = paint(in);
        COMPARE_PIXEL(face, 76, 12, rgb(231, 231, 219));
        COMPARE_PIXEL(face, 2, 2, rgb(231, 231, 219));
        COMPARE_PIXEL(face, 1, 12, rgb(231, 231, 219)); // no ring
        COMPARE_PIXEL(face, 0, 0, rgb(171, 171, 141));
        COMPARE_PIXEL(face, 152, 24, rgb(171, 171, 141));
        for (auto [x, y] : {std::pair{1, 1}, {1, 23}, {151, 1}, {151, 23}})
            COMPARE_PIXEL(face, x, y, rgb(183, 183, 157));
        QCOMPARE(pointsOf(face, rgb(231, 231, 219)).size(), 151 * 23 - 4);
    }

    void taller_faceRoundsHalfStepsToEven() {
        FaceInputs in = saveButton();
        in.height = 50;
        const QImage face = paint(in);
        // Step 0.5: rows 3, 5, 7, 9 get -1.5, -2.5, -3.5, -4.5 rounded to even.
        COMPARE_PIXEL(face, 76, 3, shade(base, -2));
        COMPARE_PIXEL(face, 76, 4, shade(base, -2));
        COMPARE_PIXEL(face, 76, 5, shade(base, -2));
        COMPARE_PIXEL(face, 76, 7, shade(base, -4));
        COMPARE_PIXEL(face, 76, 9, shade(base, -4));
        COMPARE_PIXEL(face, 76, 11, shade(base, -6));
        COMPARE_PIXEL(face, 76, 46, shade(base, -23));
    }

    void systemColourRingsAreResolved() {
        FaceInputs in = saveButton();
        in.XPDefaultColors = false;
        in.HasFocus = 1;
        const QImage face = paint(in); // focus ring in XPColor_Pressed, 3-D highlight
        COMPARE_PIXEL(face, 1, 12, rgb(255, 255, 255));
        COMPARE_PIXEL(face, 76, 23, shade(MakeRgb(255, 255, 255), -33));
        in.IsHover = 1;
        const QImage hovered = paint(in); // hover ring in XPColor_Hover, 3-D light
        COMPARE_PIXEL(hovered, 1, 12, rgb(212, 208, 200));
        COMPARE_PIXEL(hovered, 76, 23, shade(MakeRgb(212, 208, 200), -40));
    }

    void defaultBackColourComesFromTheSystem() {
        FaceInputs in = faceOf(153, 25, 3); // BackColor 0x8000000F, the button face
        QCOMPARE(paint(in), paint(saveButton()));
    }

    void designModeShowsTheRestingFace() {
        FaceInputs in = saveButton();
        in.userMode = false;
        in.IsHover = 1;
        in.IsPressed = 1;
        QCOMPARE(paint(in), paint(saveButton()));
    }

    void tinyAndEmptyFacesDoNotFail() {
        for (auto [w, h] : {std::pair{0, 0}, {1, 1}, {2, 3}, {5, 0}, {0, 5}, {-4, 10}, {10, -4}, {3, 40}}) {
            for (std::uint8_t pressed : {0, 1}) {
                FaceInputs in = saveButton();
                in.width = w;
                in.height = h;
                in.IsPressed = pressed;
                in.HasFocus = 1;
                const QImage face = paint(in);
                if (w <= 0 || h <= 0) {
                    QVERIFY(face.isNull());
                } else {
                    QCOMPARE(face.size(), QSize(w, h));
                    COMPARE_PIXEL(face, 0, 0, darkShadow);
                }
            }
        }
    }

    void roundRegionCutsThreePixelsAtEachCorner() {
        const QRegion region = MakeRoundRegion(153, 25);
        const QList<QPoint> removed = {{0, 0},   {1, 0},   {0, 1},   {0, 24},   {1, 24},   {0, 23},
                                       {151, 0}, {152, 0}, {152, 1}, {151, 24}, {152, 24}, {152, 23}};
        for (const QPoint& p : removed)
            QVERIFY2(!region.contains(p), qPrintable(QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y())));
        int inside = 0;
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 153; ++x)
                inside += region.contains(QPoint(x, y)) ? 1 : 0;
        QCOMPARE(inside, 153 * 25 - 12);
        QVERIFY(!region.contains(QPoint(153, 5)));
        QVERIFY(region.contains(QPoint(2, 0)));
        QVERIFY(region.contains(QPoint(1, 1)));

        QVERIFY(MakeRoundRegion(0, 25).isEmpty());
        QVERIFY(MakeRoundRegion(10, -1).isEmpty());
        QVERIFY(!MakeRoundRegion(1, 1).contains(QPoint(0, 0)));
    }
};

QTEST_MAIN(RoundFaceTest)
#include "round_face_test.moc"
