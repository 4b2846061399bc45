#include "FaceTestSupport.h"

#include <QTest>

namespace {

const QRgb face = qRgb(212, 208, 200);
const QRgb highlight = qRgb(255, 255, 255);
const QRgb shadow = qRgb(128, 128, 128);
constexpr int W = 60;
constexpr int H = 20;

void checkOnePixelRaisedEdge(const QImage& image) {
    for (int x = 0; x < W; ++x)
        COMPARE_PIXEL(image, x, 0, highlight);
    for (int y = 0; y < H; ++y)
        COMPARE_PIXEL(image, 0, y, highlight);
    for (int y = 1; y < H; ++y)
        COMPARE_PIXEL(image, W - 1, y, shadow);
    for (int x = 1; x < W; ++x)
        COMPARE_PIXEL(image, x, H - 1, shadow);
}

// Everything strictly inside the outer ring has one colour.
void checkInsideIs(const QImage& image, QRgb colour, int ring = 1) {
    const QRect inner(ring, ring, W - 2 * ring, H - 2 * ring);
    QCOMPARE(pointsOf(image, colour, inner).size(), inner.width() * inner.height());
}

} // namespace

class BorderTest : public QObject {
    Q_OBJECT
private slots:
    void styleZeroRestsRaised() {
        const QImage image = paint(faceOf(W, H, 0));
        checkOnePixelRaisedEdge(image);
        checkInsideIs(image, face);
    }

    void pressedIsSunken() {
        for (int style : {0, 1, 7}) {
            FaceInputs in = faceOf(W, H, style);
            in.IsPressed = 1;
            const QImage image = paint(in);
            COMPARE_PIXEL(image, 5, 0, shadow);
            COMPARE_PIXEL(image, 0, 5, shadow);
            COMPARE_PIXEL(image, W - 1, 0, shadow);
            COMPARE_PIXEL(image, W - 1, 5, highlight);
            COMPARE_PIXEL(image, 5, H - 1, highlight);
            COMPARE_PIXEL(image, 0, H - 1, shadow);
        }
    }

    void graduatedBevelRings() {
        FaceInputs in = faceOf(W, H, 0);
        in.BackColor = MakeRgb(212, 208, 200);
        in.BEVEL = 2;
        in.BEVELDEPTH = 8;
        const QImage image = paint(in);
        // Frames from the inside out, seen on the bottom and right edges.
        COMPARE_PIXEL(image, 10, H - 3, rgb(204, 200, 192));
        COMPARE_PIXEL(image, 10, H - 2, rgb(196, 192, 184));
        COMPARE_PIXEL(image, 10, H - 1, rgb(188, 184, 177));
        COMPARE_PIXEL(image, W - 3, 8, rgb(204, 200, 192));
        COMPARE_PIXEL(image, W - 1, 8, rgb(188, 184, 177));
        // Top and left edges lighten toward the outside.
        COMPARE_PIXEL(image, 10, 2, rgb(220, 216, 208));
        COMPARE_PIXEL(image, 10, 1, rgb(228, 224, 216));
        COMPARE_PIXEL(image, 10, 0, rgb(236, 232, 224));
        COMPARE_PIXEL(image, 2, 8, rgb(220, 216, 208));
        COMPARE_PIXEL(image, 0, 8, rgb(236, 232, 224));
        // The light lines stop one pixel short of the ring's far corner.
        COMPARE_PIXEL(image, W - 1, 0, rgb(188, 184, 177));
        COMPARE_PIXEL(image, W - 2, 0, rgb(236, 232, 224));
        COMPARE_PIXEL(image, 0, H - 1, rgb(188, 184, 177));
        checkInsideIs(image, face, 3);
    }

    void sunkenBevelIsLightOutsideAtTheBottom() {
        FaceInputs in = faceOf(W, H, 1);
        in.BEVEL = 2;
        in.IsPressed = 1;
        const QImage image = paint(in);
        COMPARE_PIXEL(image, 10, H - 3, rgb(220, 216, 208));
        COMPARE_PIXEL(image, 10, H - 1, rgb(236, 232, 224));
        COMPARE_PIXEL(image, 10, 2, rgb(204, 200, 192));
        COMPARE_PIXEL(image, 10, 0, rgb(188, 184, 177));
    }

    void bevelsSurviveExtremeSettings() {
        for (std::int16_t bevel : {std::int16_t(-5), std::int16_t(40), std::int16_t(32767)})
            for (std::int16_t depth : {std::int16_t(-40), std::int16_t(0), std::int16_t(32767)}) {
                FaceInputs in = faceOf(W, H, 0);
                in.BEVEL = bevel;
                in.BEVELDEPTH = depth;
                in.HasFocus = 1;
                QCOMPARE(paint(in).size(), QSize(W, H));
            }
    }

    void focusedStyleZeroGetsTheDefaultFrame() {
        FaceInputs in = faceOf(W, H, 0);
        in.HasFocus = 1;
        in.ShowFocusRect = false;
        const QImage image = paint(in);
        COMPARE_PIXEL(image, W - 2, 5, shadow);
        COMPARE_PIXEL(image, W - 1, 5, shadow);
        COMPARE_PIXEL(image, 5, H - 2, shadow);
        COMPARE_PIXEL(image, 5, H - 1, shadow);
        COMPARE_PIXEL(image, W - 2, 0, highlight);
        COMPARE_PIXEL(image, 0, H - 2, highlight);
        COMPARE_PIXEL(image, 5, 5, face);
        COMPARE_PIXEL(image, W - 3, 5, face);

        in.BEVEL = 2;
        const QImage beveled = paint(in); // raised once more with a step of 11
        const RgbValue f = MakeRgb(212, 208, 200);
        COMPARE_PIXEL(beveled, 10, H - 3, ToQRgb(OffsetColor(f, -11)));
        COMPARE_PIXEL(beveled, 10, 0, ToQRgb(LightenColor(f, 33)));
    }

    void styleOneIsFlatUnlessHoveredOrDefault() {
        FaceInputs in = faceOf(W, H, 1);
        in.HasFocus = 1;
        in.ShowFocusRect = false;
        QCOMPARE(pointsOf(paint(in), face).size(), W * H);

        in.IsHover = 1;
        checkOnePixelRaisedEdge(paint(in));

        in.IsHover = 0;
        in.isDefaultButton = true;
        const QImage image = paint(in);
        COMPARE_PIXEL(image, 5, 0, highlight);
        COMPARE_PIXEL(image, W - 2, 5, shadow);
        COMPARE_PIXEL(image, 5, H - 2, shadow);
        COMPARE_PIXEL(image, W - 1, 5, face); // no raised edge beneath
        COMPARE_PIXEL(image, 5, H - 1, face);
    }

    void styleTwoChangesItsFaceColour() {
        FaceInputs in = faceOf(W, H, 2);
        QCOMPARE(pointsOf(paint(in), face).size(), W * H);

        in.IsHover = 1;
        FaceMemory memory = memoryFor(in);
        const QImage hovered = PaintButtonFace(in, memory);
        checkInsideIs(hovered, rgb(181, 190, 214));
        QCOMPARE(pointsOf(hovered, rgb(0, 0, 0)).size(), 2 * W + 2 * H - 4); // ForeColor frame
        QCOMPARE(memory.surfaceBackColor, MakeRgb(181, 190, 214));

        in.IsHover = 0;
        in.IsPressed = 1;
        QCOMPARE(pointsOf(paint(in), rgb(166, 175, 214)).size(), W * H);
        in.IsHover = 1;
        const QImage both = paint(in);
        checkInsideIs(both, rgb(166, 175, 214));
        COMPARE_PIXEL(both, 0, 0, rgb(0, 0, 0));

        in.IsHover = 0;
        in.IsPressed = 0;
        in.XPShowBorderAlways = true;
        in.ForeColor = MakeRgb(0, 0, 255);
        const QImage framed = paint(in);
        COMPARE_PIXEL(framed, W - 1, H - 1, rgb(0, 0, 255));
        checkInsideIs(framed, face);
    }

    void styleTwoOwnColoursAreResolved() {
        FaceInputs in = faceOf(W, H, 2);
        in.XPDefaultColors = false;
        in.IsHover = 1;
        checkInsideIs(paint(in), rgb(212, 208, 200)); // 0x80000016, the 3-D light
        in.XPColor_Hover = MakeRgb(1, 2, 3);
        checkInsideIs(paint(in), rgb(1, 2, 3));
        in.IsPressed = 1;
        in.XPColor_Pressed = MakeRgb(9, 8, 7);
        checkInsideIs(paint(in), rgb(9, 8, 7));
    }

    void styleTwoWithATransparentBackground() {
        QImage parent(200, 100, QImage::Format_RGB32);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x)
                parent.setPixel(x, y, qRgb(x, y, 99));
        FaceInputs in = faceOf(W, H, 2);
        in.TransparentBG = true;
        in.parentBackground = parent;
        in.positionInParent = QPoint(30, 40);
        const QImage image = paint(in);
        for (int y = 0; y < H; y += 3)
            for (int x = 0; x < W; x += 7)
                COMPARE_PIXEL(image, x, y, qRgb(30 + x, 40 + y, 99));

        in.IsHover = 1;
        checkInsideIs(paint(in), rgb(181, 190, 214));
        in.IsHover = 0;
        in.IsPressed = 1;
        QCOMPARE(pointsOf(paint(in), rgb(166, 175, 214)).size(), W * H);
    }

    void transparentBackgroundEdgeCases() {
        FaceInputs in = faceOf(W, H, 0);
        in.TransparentBG = true;
        in.parentBackground = solidImage(W + 10, H + 10, qRgb(1, 100, 1));
        in.positionInParent = QPoint(5, 5);
        const QImage image = paint(in);
        checkOnePixelRaisedEdge(image);
        checkInsideIs(image, qRgb(1, 100, 1));

        // Partly beyond the picture: only what the picture has is copied.
        in.positionInParent = QPoint(W - 5, 0);
        const QImage partial = paint(in);
        COMPARE_PIXEL(partial, 10, 10, qRgb(1, 100, 1));
        COMPARE_PIXEL(partial, W - 10, 10, face);

        // No picture at all: the face stays as cleared.
        in.parentBackground.reset();
        checkInsideIs(paint(in), face);
    }

    void styleFourDrawsNoEdge() {
        for (int state = 0; state < 4; ++state) {
            FaceInputs in = faceOf(W, H, 4);
            in.IsHover = state == 1;
            in.IsPressed = state == 2;
            in.isDefaultButton = state == 3;
            QCOMPARE(pointsOf(paint(in), face).size(), W * H);
        }
        FaceInputs in = faceOf(W, H, 4);
        in.HasFocus = 1;
        const QImage focused = paint(in);
        const QRgb dotted = qRgb(255 - 212, 255 - 208, 255 - 200);
        COMPARE_PIXEL(focused, 4, 4, dotted);
        COMPARE_PIXEL(focused, 5, 4, face);
        COMPARE_PIXEL(focused, W - 5, H - 5, dotted); // (55 + 15) is even
        COMPARE_PIXEL(focused, 3, 3, face);
        const QRect frame(4, 4, W - 8, H - 8);
        QCOMPARE(pointsOf(focused, dotted).size(), (2 * frame.width() + 2 * frame.height() - 4) / 2);
        in.ShowFocusRect = false;
        QCOMPARE(pointsOf(paint(in), face).size(), W * H);
    }

    void focusRectangleForEveryStyleButThree() {
        for (int style : {0, 1, 2, 4}) {
            FaceInputs in = faceOf(W, H, style);
            in.HasFocus = 1;
            COMPARE_PIXEL(paint(in), 6, 4, qRgb(255 - 212, 255 - 208, 255 - 200));
        }
    }

    void designModeLooks() {
        FaceInputs in = faceOf(W, H, 1);
        in.userMode = false;
        checkOnePixelRaisedEdge(paint(in));

        in = faceOf(W, H, 2);
        in.userMode = false;
        in.XPShowBorderAlways = true;
        in.IsHover = 1;
        const QImage styleTwo = paint(in);
        QCOMPARE(pointsOf(styleTwo, rgb(181, 190, 214)).size(), W * H); // no frame in ForeColor
    }

    void clearingUsesTheColourLeftByTheLastRedraw() {
        FaceInputs in = faceOf(W, H, 2);
        in.IsHover = 1;
        FaceMemory memory = memoryFor(in);
        PaintButtonFace(in, memory);
        in = faceOf(W, H, 1);
        const QImage next = PaintButtonFace(in, memory);
        QCOMPARE(pointsOf(next, rgb(181, 190, 214)).size(), W * H);
    }
};

QTEST_MAIN(BorderTest)
#include "border_test.moc"
