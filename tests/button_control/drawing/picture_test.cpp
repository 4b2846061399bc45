#include "FaceTestSupport.h"

#include <QTest>

#include <limits>

namespace {

const QRgb face = qRgb(212, 208, 200);
const QRgb red = qRgb(200, 0, 0);
const QRgb magenta = qRgb(255, 0, 255);
const QRgb silhouette = qRgb(146, 146, 146);

// A 16 x 16 red square with magenta corners of 2 x 2, alone on a 100 x 50
// face (no caption), so it rests at (42, 17).
QImage squareWithCorners() {
    QImage image = solidImage(16, 16, red);
    for (int y : {0, 1, 14, 15})
        for (int x : {0, 1, 14, 15})
            image.setPixel(x, y, magenta);
    return image;
}

FaceInputs pictured(int style, Picture picture) {
    FaceInputs in = faceOf(100, 50, style);
    in.picture = std::move(picture);
    in.PictureWidth = 16;
    in.PictureHeight = 16;
    in.OriginalPicSizeW = 16;
    in.OriginalPicSizeH = 16;
    in.MaskColor = FromQRgb(magenta);
    return in;
}

} // namespace

class PictureTest : public QObject {
    Q_OBJECT
private slots:
    void maskColourLetsTheFaceThrough() {
        const QImage image = paint(pictured(4, Picture::bitmap(squareWithCorners())));
        COMPARE_PIXEL(image, 42, 17, face);
        COMPARE_PIXEL(image, 43, 18, face);
        COMPARE_PIXEL(image, 57, 32, face);
        COMPARE_PIXEL(image, 44, 17, red);
        QCOMPARE(boundsOf(pointsOf(image, red)), QRect(42, 17, 16, 16));
        QCOMPARE(pointsOf(image, red).size(), 16 * 16 - 16);
        QVERIFY(pointsOf(image, magenta).isEmpty());

        // On the gradient face the corners show the gradient.
        FaceInputs round = pictured(3, Picture::bitmap(squareWithCorners()));
        const QImage plain = paint(faceOf(100, 50, 3));
        const QImage withPicture = paint(round);
        QCOMPARE(withPicture.pixel(42, 17), plain.pixel(42, 17));
    }

    void bitmapOnlyOfMaskColourChangesNothing() {
        const QImage image = paint(pictured(0, Picture::bitmap(solidImage(16, 16, magenta))));
        QCOMPARE(image, paint(faceOf(100, 50, 0)));
    }

    void pictureIsStretchedToItsDrawnSize() {
        FaceInputs in = pictured(4, Picture::bitmap(squareWithCorners()));
        in.PictureWidth = 32;
        in.PictureHeight = 8;
        const QImage image = paint(in);
        QCOMPARE(boundsOf(pointsOf(image, red)), QRect(34, 21, 32, 8));
        COMPARE_PIXEL(image, 37, 21, face); // a magenta corner, now four pixels wide and one high
        COMPARE_PIXEL(image, 38, 21, red);
    }

    void pressedContentMovesExceptInStyleTwo() {
        FaceInputs in = pictured(0, Picture::bitmap(squareWithCorners()));
        in.IsPressed = 1;
        QCOMPARE(boundsOf(pointsOf(paint(in), red)), QRect(43, 18, 16, 16));
        in.ButtonStyle = 2;
        QCOMPARE(boundsOf(pointsOf(paint(in), red)), QRect(42, 17, 16, 16));
        in.IsHover = 1; // pressed wins: no lift
        QCOMPARE(boundsOf(pointsOf(paint(in), red)), QRect(42, 17, 16, 16));
    }

    void hoveredStyleTwoLiftsThePictureOverItsShadow() {
        FaceInputs in = pictured(2, Picture::bitmap(squareWithCorners()));
        in.IsHover = 1;
        const QImage image = paint(in);
        QCOMPARE(boundsOf(pointsOf(image, red)), QRect(39, 14, 16, 16));
        // The silhouette at the resting place shows right of and below the picture.
        QCOMPARE(boundsOf(pointsOf(image, silhouette)), QRect(42, 17, 16, 16));
        COMPARE_PIXEL(image, 56, 20, silhouette);
        COMPARE_PIXEL(image, 57, 32, rgb(181, 190, 214)); // a masked corner of the shadow
        // Other styles do not lift.
        in.ButtonStyle = 1;
        QCOMPARE(boundsOf(pointsOf(paint(in), red)), QRect(42, 17, 16, 16));
    }

    void disabledPictureIsEmbossed() {
        FaceInputs in = pictured(4, Picture::bitmap(squareWithCorners()));
        in.Enabled = false;
        const QImage image = paint(in);
        QVERIFY(pointsOf(image, red).isEmpty());
        const auto shadowPoints = pointsOf(image, qRgb(128, 128, 128));
        const auto lightPoints = pointsOf(image, qRgb(255, 255, 255));
        QCOMPARE(shadowPoints.size(), 16 * 16 - 16);
        QCOMPARE(boundsOf(shadowPoints), QRect(42, 17, 16, 16));
        // The light copy lies one pixel right and down, under the dark one.
        QVERIFY(shifted(shadowPoints, 1, 1).contains(lightPoints));
        COMPARE_PIXEL(image, 58, 30, qRgb(255, 255, 255));
        COMPARE_PIXEL(image, 42, 17, face); // masked corner shows the face
    }

    void iconKeepsItsOwnTransparency() {
        QImage icon(16, 16, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        for (int y = 4; y < 12; ++y)
            for (int x = 4; x < 12; ++x)
                icon.setPixel(x, y, qRgba(0, 0, 200, 255));
        icon.setPixel(2, 2, qRgba(0, 0, 0, 128));
        FaceInputs in = pictured(4, Picture::icon(icon));
        in.PictureWidth = 32;
        in.PictureHeight = 32;
        const QImage image = paint(in);
        const QRect square = boundsOf(pointsOf(image, qRgb(0, 0, 200)));
        QCOMPARE(square, QRect(34 + 8, 9 + 8, 16, 16));
        COMPARE_PIXEL(image, 34, 9, face);
        COMPARE_PIXEL(image, 38, 13, qRgb(106, 104, 100)); // half-transparent black, doubled in size

        in.ButtonStyle = 2;
        in.IsHover = 1;
        const QImage hovered = paint(in);
        QCOMPARE(boundsOf(pointsOf(hovered, qRgb(0, 0, 200))), square.translated(-3, -3));
        QVERIFY(pointsOf(hovered, silhouette).size() > 0);
        QVERIFY(boundsOf(pointsOf(hovered, silhouette)).bottomRight() == square.bottomRight());

        in.Enabled = false;
        in.IsHover = 0;
        const QImage disabled = paint(in);
        QVERIFY(pointsOf(disabled, qRgb(0, 0, 200)).isEmpty());
        COMPARE_PIXEL(disabled, square.left(), square.top(), qRgb(128, 128, 128));
        COMPARE_PIXEL(disabled, square.right() + 1, square.bottom() + 1, qRgb(255, 255, 255));
        COMPARE_PIXEL(disabled, 38, 13, qRgb(128, 128, 128)); // the half-transparent pixel counts as ink
    }

    void otherPicturesDrawNothingButKeepTheirPlace() {
        FaceInputs in = pictured(4, Picture{});
        in.Caption = QStringLiteral("X");
        const QImage empty = paint(in);
        FaceInputs none = in;
        none.picture.reset();
        // The caption moves aside for the empty picture.
        QVERIFY(boundsOf(pointsOf(empty, qRgb(0, 0, 0))).left() >
                boundsOf(pointsOf(paint(none), qRgb(0, 0, 0))).left());
        QCOMPARE(pointsOf(empty, face).size() + pointsOf(empty, qRgb(0, 0, 0)).size(), 100 * 50);
    }

    void pictureWithoutRecordedSizeIsDrawnAtItsOwn() {
        FaceInputs in = pictured(4, Picture::bitmap(squareWithCorners()));
        in.OriginalPicSizeW = 0;
        in.OriginalPicSizeH = 0;
        QCOMPARE(boundsOf(pointsOf(paint(in), red)), QRect(42, 17, 16, 16));
    }

    void hoverPictureOfAnotherSizeIsCutToTheRecordedSize() {
        FaceInputs in = pictured(4, Picture::bitmap(solidImage(32, 32, red)));
        in.MaskColor = 0;
        const QImage image = paint(in); // the recorded 16 x 16 of a 32 x 32 picture, unscaled
        QCOMPARE(boundsOf(pointsOf(image, red)), QRect(42, 17, 16, 16));
        in.picture = Picture::bitmap(solidImage(8, 8, red)); // padded with black, which is the mask here
        const QImage padded = paint(in);
        QCOMPARE(boundsOf(pointsOf(padded, red)), QRect(42, 17, 8, 8));
        COMPARE_PIXEL(padded, 55, 30, face);
    }

    void oddSizesDoNotFail() {
        for (int size : {-5, 0, 1, 200}) {
            FaceInputs in = pictured(2, Picture::bitmap(squareWithCorners()));
            in.PictureWidth = size;
            in.PictureHeight = size;
            in.IsHover = 1;
            QCOMPARE(paint(in).size(), QSize(100, 50));
            in.picture = Picture::icon(squareWithCorners());
            in.Enabled = false;
            QCOMPARE(paint(in).size(), QSize(100, 50));
        }
        FaceInputs in = pictured(2, Picture::bitmap(QImage()));
        QCOMPARE(paint(in).size(), QSize(100, 50));
    }

    void sizesFarBeyondTheFaceDrawOnlyWhatShows() {
        // Sizes are never checked; a picture stretched far past the face must
        // cover it in one redraw, without working images of its full size.
        constexpr int largest = std::numeric_limits<int>::max();
        for (int size : {1'000'000'000, largest}) {
            for (Picture picture : {Picture::bitmap(solidImage(16, 16, red)),
                                    Picture::icon(solidImage(16, 16, red, QImage::Format_ARGB32))}) {
                for (int position : {0, 1, 2, 3}) {
                    FaceInputs in = pictured(2, picture);
                    in.Caption = "Save";
                    in.PicturePosition = position;
                    in.PictureWidth = size;
                    in.PictureHeight = size;
                    QImage image = paint(in);
                    QCOMPARE(image.size(), QSize(100, 50));
                    COMPARE_PIXEL(image, 50, 25, red);
                    in.Enabled = false;
                    image = paint(in);
                    QCOMPARE(image.size(), QSize(100, 50));
                    in.Enabled = true;
                    in.IsHover = 1;
                    image = paint(in);
                    COMPARE_PIXEL(image, 50, 25, red);
                    if (picture.kind == Picture::Kind::Bitmap) {
                        // A natural size as large leaves the picture unscaled in
                        // its working image; the face shows that image's black.
                        in.OriginalPicSizeW = size;
                        in.OriginalPicSizeH = size;
                        COMPARE_PIXEL(paint(in), 50, 25, qRgb(0, 0, 0));
                    }
                }
            }
        }
        FaceInputs in = pictured(2, Picture::bitmap(solidImage(16, 16, red)));
        in.Caption = "Save";
        in.PictureWidth = std::numeric_limits<int>::min();
        in.PictureHeight = std::numeric_limits<int>::min();
        QCOMPARE(pointsOf(paint(in), red).size(), 0);
    }
};

QTEST_MAIN(PictureTest)
#include "picture_test.moc"
