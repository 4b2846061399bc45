#include "FaceTestSupport.h"

#include <QTest>

namespace {

struct Layout {
    LongRect content, picture, caption;
};

// Runs the layout step with a caption that always measures tw x th, and
// records the widths it was measured at.
Layout layOut(const FaceInputs& in, QSize measured, QList<int>* widths = nullptr, FaceMemory memory = {}) {
    DrawSurface surface(in.width, in.height);
    FacePainter painter(in, memory, surface);
    painter.measure = [&](const QString&, const QFont&, int width) {
        if (widths)
            widths->append(width);
        return measured;
    };
    painter.CalcLayout();
    return {painter.ContentRect, painter.PictureRect, painter.CaptionRect};
}

FaceInputs withPicture(int w, int h, int position, int pw = 16, int ph = 16) {
    FaceInputs in = faceOf(w, h, 4);
    in.Caption = QStringLiteral("Caption");
    in.picture = Picture::bitmap(solidImage(pw, ph, qRgb(200, 0, 0)));
    in.PictureWidth = pw;
    in.PictureHeight = ph;
    in.OriginalPicSizeW = pw;
    in.OriginalPicSizeH = ph;
    in.PicturePosition = position;
    return in;
}

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT
private slots:
    void pictureBesideOrAboveTheCaption() {
        const Layout left = layOut(withPicture(100, 50, 1), {30, 13});
        QCOMPARE(left.content, (LongRect{4, 4, 96, 46}));
        QCOMPARE(left.picture, (LongRect{25, 17, 41, 33}));
        QCOMPARE(left.caption, (LongRect{45, 18, 75, 31}));

        const Layout above = layOut(withPicture(100, 50, 0), {30, 13});
        QCOMPARE(above.picture, (LongRect{42, 8, 58, 24}));
        QCOMPARE(above.caption, (LongRect{35, 28, 65, 41}));

        const Layout right = layOut(withPicture(100, 50, 2), {30, 13});
        QCOMPARE(right.caption, (LongRect{25, 18, 55, 31}));
        QCOMPARE(right.picture, (LongRect{59, 17, 75, 33}));

        const Layout below = layOut(withPicture(100, 50, 3), {30, 13});
        QCOMPARE(below.caption, (LongRect{35, 8, 65, 21}));
        QCOMPARE(below.picture, (LongRect{42, 25, 58, 41}));
    }

    void largePictureGetsNegativeOffsets() {
        const Layout layout = layOut(withPicture(153, 25, 1, 32, 32), {30, 13});
        QCOMPARE(layout.picture.top, -3); // 4 + (17 - 32) div 2, truncated toward zero
        QCOMPARE(layout.picture.bottom, 29);
    }

    void captionIsMeasuredAtTheFullContentWidth() {
        QList<int> widths;
        layOut(withPicture(100, 50, 1), {30, 13}, &widths);
        QCOMPARE(widths, QList<int>{92});

        FaceInputs alone = faceOf(80, 30, 4);
        alone.Caption = QStringLiteral("Add");
        widths.clear();
        const Layout layout = layOut(alone, {21, 13}, &widths);
        QCOMPARE(widths, QList<int>{72});
        QCOMPARE(layout.caption, (LongRect{29, 8, 50, 21}));
    }

    void pictureWithoutCaptionIsCentredAlone() {
        FaceInputs in = withPicture(100, 50, 1);
        in.Caption.clear();
        FaceMemory memory;
        memory.captionRect = QRect(1, 2, 3, 4);
        QList<int> widths;
        const Layout layout = layOut(in, {30, 13}, &widths, memory);
        QVERIFY(widths.isEmpty());
        QCOMPARE(layout.picture, (LongRect{42, 17, 58, 33}));
        QCOMPARE(layout.caption, FromQRect(QRect(1, 2, 3, 4)));
    }

    void unknownPositionKeepsThePictureWhereItWas() {
        FaceInputs in = withPicture(100, 50, 9);
        FaceMemory memory;
        memory.pictureRect = QRect(7, 7, 16, 16);
        const Layout layout = layOut(in, {30, 13}, nullptr, memory);
        QCOMPARE(layout.picture, FromQRect(QRect(7, 7, 16, 16)));
        QCOMPARE(layout.caption, (LongRect{35, 18, 65, 31}));
    }

    void layoutIsKeptForTheNextRedraw() {
        FaceInputs in = withPicture(100, 50, 0);
        FaceMemory memory;
        PaintButtonFace(in, memory);
        QCOMPARE(memory.contentRect, QRect(4, 4, 92, 42));
        QCOMPARE(FromQRect(memory.pictureRect).width(), 16);
        QCOMPARE(memory.pictureRect.x(), 42);
    }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
