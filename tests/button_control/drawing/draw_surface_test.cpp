#include "FaceTestSupport.h"

#include <QTest>

namespace {

const QRgb paper = qRgb(200, 200, 200);
const QRgb ink = qRgb(10, 20, 30);

} // namespace

class DrawSurfaceTest : public QObject {
    Q_OBJECT
private slots:
    void linesLeaveOutTheirEndPixel() {
        DrawSurface s(8, 8, paper);
        DrawLine(s, 0, 0, 5, 0, FromQRgb(ink));
        for (int x = 0; x < 5; ++x)
            QCOMPARE(s.pixel(x, 0), ink);
        QCOMPARE(s.pixel(5, 0), paper);

        DrawLine(s, 5, 2, 0, 2, FromQRgb(ink)); // right to left: 5 down to 1
        QCOMPARE(s.pixel(0, 2), paper);
        QCOMPARE(s.pixel(1, 2), ink);
        QCOMPARE(s.pixel(5, 2), ink);

        DrawLine(s, 7, 1, 7, 4, FromQRgb(ink));
        QCOMPARE(s.pixel(7, 1), ink);
        QCOMPARE(s.pixel(7, 3), ink);
        QCOMPARE(s.pixel(7, 4), paper);

        DrawLine(s, 0, 4, 3, 7, FromQRgb(ink)); // diagonal
        QCOMPARE(s.pixel(0, 4), ink);
        QCOMPARE(s.pixel(2, 6), ink);
        QCOMPARE(s.pixel(3, 7), paper);

        DrawLine(s, 6, 6, 6, 6, FromQRgb(ink)); // no length, no pixel
        QCOMPARE(s.pixel(6, 6), paper);
    }

    void linesAndRectanglesAreClippedAtTheEdges() {
        DrawSurface s(6, 4, paper);
        DrawLine(s, -10, 1, 100, 1, FromQRgb(ink));
        DrawLine(s, 3, -50, 3, 50, FromQRgb(ink));
        DrawLine(s, -3, -3, 20, 9, FromQRgb(ink));
        DrawRect(s, -5, -5, 50, 50, FromQRgb(ink), RectMode::Frame); // all four sides outside
        for (int x = 0; x < 6; ++x)
            QCOMPARE(s.pixel(x, 1), ink);
        QCOMPARE(s.pixel(0, 0), paper);
        QCOMPARE(s.pixel(3, 3), ink);
        DrawRect(s, 4, 2, 40, 40, FromQRgb(ink), RectMode::Fill);
        QCOMPARE(s.pixel(5, 3), ink);
        QCOMPARE(s.pixel(2, 2), paper);
        QCOMPARE(s.pixel(-1, 0), QRgb(0)); // outside reads as nothing
    }

    void framesLieInsideTheirRectangle() {
        const int W = 7, H = 5;
        DrawSurface s(W, H, paper);
        DrawRect(s, 0, 0, W + 1, H + 1, FromQRgb(ink), RectMode::Frame);
        for (int x = 0; x < W; ++x)
            QCOMPARE(s.pixel(x, 0), ink);
        for (int y = 0; y < H; ++y)
            QCOMPARE(s.pixel(0, y), ink);
        QCOMPARE(s.pixel(W - 1, 2), paper); // right column falls outside
        QCOMPARE(s.pixel(3, H - 1), paper); // and so does the bottom row

        DrawSurface t(W, H, paper);
        DrawRect(t, 1, 1, 4, 4, FromQRgb(ink), RectMode::Frame);
        QCOMPARE(t.pixel(1, 1), ink);
        QCOMPARE(t.pixel(3, 3), ink);
        QCOMPARE(t.pixel(2, 2), paper);
        QCOMPARE(t.pixel(4, 4), paper);
        DrawRect(t, 5, 1, 5, 4, FromQRgb(ink), RectMode::Frame); // empty: nothing
        DrawRect(t, 6, 4, 5, 1, FromQRgb(ink), RectMode::Fill);  // upside down: nothing
        QCOMPARE(pointsOf(t.image(), ink).size(), 8);
    }

    void rectanglesResolveSystemColours() {
        DrawSurface s(3, 3, paper);
        DrawRect(s, 0, 0, 3, 3, static_cast<OleColor>(0x8000000D), RectMode::Fill);
        QCOMPARE(s.pixel(1, 1), qRgb(10, 36, 106));
    }

    void rasterOperationsCombineColourBits() {
        const QImage source = solidImage(2, 1, qRgb(0x0F, 0xF0, 0x55));
        DrawSurface s(2, 1, qRgb(0xFF, 0x0F, 0x50));
        BitBlt(s, 0, 0, 1, 1, source, 0, 0, RasterOp::SrcAnd);
        QCOMPARE(s.pixel(0, 0), qRgb(0x0F, 0x00, 0x50));
        BitBlt(s, 1, 0, 1, 1, source, 0, 0, RasterOp::SrcInvert);
        QCOMPARE(s.pixel(1, 0), qRgb(0xF0, 0xFF, 0x05));
        BitBlt(s, 0, 0, 1, 1, source, 0, 0, RasterOp::NotSrcCopy);
        QCOMPARE(s.pixel(0, 0), qRgb(0xF0, 0x0F, 0xAA));
        BitBlt(s, 0, 0, 2, 1, source, 0, 0, RasterOp::SrcCopy);
        QCOMPARE(s.pixel(1, 0), qRgb(0x0F, 0xF0, 0x55));
        // Copying from outside either image touches nothing.
        BitBlt(s, -5, 0, 2, 1, source, 0, 0, RasterOp::NotSrcCopy);
        BitBlt(s, 0, 0, 2, 1, source, 7, 0, RasterOp::NotSrcCopy);
        QCOMPARE(s.pixel(0, 0), qRgb(0x0F, 0xF0, 0x55));
    }

    void masksMarkOneColour() {
        QImage source = solidImage(3, 1, ink);
        source.setPixel(1, 0, qRgb(255, 0, 255));
        const DrawSurface mask = MakeMask(source, -1, 0, 4, 2, qRgb(255, 0, 255));
        QCOMPARE(mask.pixel(0, 0), qRgb(0, 0, 0)); // outside the source
        QCOMPARE(mask.pixel(1, 0), qRgb(0, 0, 0));
        QCOMPARE(mask.pixel(2, 0), qRgb(255, 255, 255));
        QCOMPARE(mask.pixel(2, 1), qRgb(0, 0, 0));
    }

    void stretchingRepeatsAndAndsPixels() {
        QImage source(2, 2, QImage::Format_RGB32);
        source.setPixel(0, 0, qRgb(255, 0, 0));
        source.setPixel(1, 0, qRgb(0, 255, 0));
        source.setPixel(0, 1, qRgb(255, 255, 255));
        source.setPixel(1, 1, qRgb(255, 255, 0));
        DrawSurface big(4, 4, paper);
        StretchBlt(big, 0, 0, 4, 4, source, 0, 0, 2, 2);
        QCOMPARE(big.pixel(1, 1), qRgb(255, 0, 0));
        QCOMPARE(big.pixel(2, 0), qRgb(0, 255, 0));
        QCOMPARE(big.pixel(3, 3), qRgb(255, 255, 0));

        DrawSurface small(1, 1, paper);
        StretchBlt(small, 0, 0, 1, 1, source, 0, 0, 2, 2);
        QCOMPARE(small.pixel(0, 0), qRgb(0, 0, 0)); // red AND green AND white AND yellow

        DrawSurface column(1, 2, paper);
        StretchBlt(column, 0, 0, 1, 2, source, 0, 0, 2, 2);
        QCOMPARE(column.pixel(0, 1), qRgb(255, 255, 0));
    }

    void blitTransparentLeavesOutTheKeyColour() {
        const QRgb key = qRgb(255, 0, 255);
        QImage picture = solidImage(3, 2, ink);
        picture.setPixel(0, 0, key);
        picture.setPixel(2, 1, key);
        DrawSurface s(5, 4, paper);
        s.setPixel(1, 1, qRgb(1, 2, 3));
        BlitTransparent(s, picture, {0, 0, 3, 2}, 1, 1, FromQRgb(key));
        QCOMPARE(s.pixel(1, 1), qRgb(1, 2, 3)); // under a key pixel: kept
        QCOMPARE(s.pixel(2, 1), ink);
        QCOMPARE(s.pixel(3, 2), paper);
        QCOMPARE(s.pixel(1, 2), ink);
        QCOMPARE(s.pixel(0, 0), paper);
        QCOMPARE(pointsOf(s.image(), ink).size(), 4);
    }

    void blitTransparentWithoutOrWithOnlyKeyPixels() {
        DrawSurface s(4, 4, paper);
        BlitTransparent(s, solidImage(2, 2, ink), {0, 0, 2, 2}, 2, 2, 0xFF00FF);
        QCOMPARE(pointsOf(s.image(), ink).size(), 4); // copied whole
        DrawSurface t(4, 4, paper);
        BlitTransparent(t, solidImage(4, 4, qRgb(255, 0, 255)), {0, 0, 4, 4}, 0, 0, 0xFF00FF);
        QCOMPARE(pointsOf(t.image(), paper).size(), 16); // unchanged
    }

    void blitTransparentStaysInsideItsImages() {
        DrawSurface s(4, 4, paper);
        // A rectangle larger than the source and a target partly off the surface.
        BlitTransparent(s, solidImage(2, 2, ink), {-1, -1, 10, 10}, -1, 2, 0xFF00FF);
        QCOMPARE(s.pixel(0, 3), ink);
        QCOMPARE(s.pixel(1, 3), ink);
        QCOMPARE(pointsOf(s.image(), ink).size(), 2);
        BlitTransparent(s, QImage(), {0, 0, 5, 5}, 0, 0, 0);
        BlitTransparent(s, solidImage(2, 2, ink), {2, 2, 0, 0}, 0, 0, 0xFF00FF);
        QCOMPARE(pointsOf(s.image(), ink).size(), 2);
    }

    void focusRectangleIsDottedAndUndoesItself() {
        DrawSurface s(12, 10, paper);
        DrawFocusRect(s, 2, 2, 10, 8);
        const QRgb inverted = qRgb(255 - 200, 255 - 200, 255 - 200);
        QCOMPARE(s.pixel(2, 2), inverted);
        QCOMPARE(s.pixel(3, 2), paper);
        QCOMPARE(s.pixel(4, 2), inverted);
        QCOMPARE(s.pixel(9, 7), inverted); // the dots run on across the corner
        QCOMPARE(s.pixel(8, 7), paper);
        QCOMPARE(s.pixel(5, 5), paper); // inside untouched
        QCOMPARE(pointsOf(s.image(), inverted).size(), 12);
        DrawFocusRect(s, 2, 2, 10, 8);
        QCOMPARE(pointsOf(s.image(), paper).size(), 120);
        DrawFocusRect(s, -100, -100, 1000, 1000);
        DrawFocusRect(s, 5, 5, 5, 9);
    }
};

QTEST_MAIN(DrawSurfaceTest)
#include "draw_surface_test.moc"
