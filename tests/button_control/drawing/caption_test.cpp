#include "FaceTestSupport.h"

#include <QPainter>
#include <QTest>

namespace {

const QRgb face = qRgb(212, 208, 200);
const QRgb black = qRgb(0, 0, 0);

QFont testFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    return font;
}

FaceInputs captioned(const QString& caption, int style = 4) {
    FaceInputs in = faceOf(120, 30, style);
    in.Caption = caption;
    in.font = testFont();
    return in;
}

// The caption's pixels: everything inside the content area that is not face.
QSet<std::pair<int, int>> inkOf(const QImage& image, QRgb colour = black) {
    return pointsOf(image, colour, QRect(4, 4, image.width() - 8, image.height() - 8));
}

} // namespace

class CaptionTest : public QObject {
    Q_OBJECT
private slots:
    void captionIsCentredInTheContent() {
        const QImage image = paint(captioned(QStringLiteral("Save")));
        const QRect ink = boundsOf(inkOf(image));
        QVERIFY(!ink.isEmpty());
        QVERIFY(std::abs((ink.left() - 4) - (116 - ink.right() - 1)) <= 2);
        QVERIFY(std::abs((ink.top() - 4) - (26 - ink.bottom() - 1)) <= 4);
        QCOMPARE(pointsOf(image, face).size() + inkOf(image).size(), 120 * 30);
    }

    void captionTakesTheForeColour() {
        FaceInputs in = captioned(QStringLiteral("Save"));
        in.ForeColor = MakeRgb(0, 0, 255);
        const QImage image = paint(in);
        QVERIFY(inkOf(image).isEmpty());
        QCOMPARE(inkOf(image, qRgb(0, 0, 255)), inkOf(paint(captioned(QStringLiteral("Save")))));
    }

    void doubledAmpersandShowsOneAndUnderlinesNothing() {
        FaceInputs in = captioned(QStringLiteral("A&&B"));
        FaceMemory memory = memoryFor(in);
        const QImage image = PaintButtonFace(in, memory);
        // The same text drawn literally, in the same place, without any
        // access-key processing.
        DrawSurface reference(120, 30, face);
        {
            QFont font = testFont();
            font.setStyleStrategy(QFont::NoAntialias);
            QPainter painter(&reference.image());
            painter.setFont(font);
            painter.setPen(Qt::black);
            const QRect caption = memory.captionRect;
            painter.drawText(caption.adjusted(1, 0, -1, 0),
                             Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("A&B"));
        }
        QCOMPARE(inkOf(image), inkOf(reference.image()));
    }

    void ampersandUnderlinesTheNextLetter() {
        const QImage marked = paint(captioned(QStringLiteral("&Save")));
        const QImage plain = paint(captioned(QStringLiteral("Save")));
        const auto markedInk = inkOf(marked);
        const auto plainInk = inkOf(plain);
        QVERIFY(markedInk.contains(plainInk));
        const auto underline = markedInk - plainInk;
        QVERIFY(!underline.isEmpty());
        // The extra pixels lie under the first letter only, below the glyphs.
        const QRect letters = boundsOf(plainInk);
        const QRect mark = boundsOf(underline);
        QVERIFY(std::abs(mark.left() - letters.left()) <= 1);
        QVERIFY(mark.right() <
                letters.left() + QFontMetrics(testFont()).horizontalAdvance(QLatin1Char('S')) + 1);
        QVERIFY(mark.top() > letters.top() + letters.height() / 2);

        // The mark goes to the letter after the ampersand, wherever it stands.
        const auto later = inkOf(paint(captioned(QStringLiteral("Sa&ve")))) - plainInk;
        QVERIFY(boundsOf(later).left() > mark.right());
    }

    void pressedCaptionMovesOnePixel() {
        FaceInputs in = captioned(QStringLiteral("Save"), 1);
        const auto resting = inkOf(paint(in));
        in.IsPressed = 1;
        QCOMPARE(inkOf(paint(in)), shifted(resting, 1, 1));
        in.ButtonStyle = 2;
        in.IsHover = 1;
        QCOMPARE(inkOf(paint(in)), resting);
    }

    void disabledCaptionIsEmbossed() {
        FaceInputs in = captioned(QStringLiteral("Add"));
        const auto enabled = inkOf(paint(in));
        in.Enabled = false;
        const QImage disabled = paint(in);
        const auto dark = inkOf(disabled, qRgb(128, 128, 128));
        const auto light = inkOf(disabled, qRgb(255, 255, 255));
        QCOMPARE(dark, enabled);
        QCOMPARE(light, shifted(enabled, 1, 1) - enabled);
        QVERIFY(inkOf(disabled).isEmpty());
    }

    void longCaptionsWrapAtWordsAndOverflowWhole() {
        FaceInputs in = captioned(QStringLiteral("Save the ball table now"));
        in.width = 70;
        in.height = 60;
        const QImage wrapped = paint(in);
        const QRect ink = boundsOf(pointsOf(wrapped, black));
        QVERIFY(ink.height() > QFontMetrics(testFont()).height());
        QVERIFY(ink.right() < 66);

        const QSize wide = MeasureCaptionText(QStringLiteral("Unbreakable"), testFont(), 20);
        QVERIFY(wide.width() > 20);
        QCOMPARE(wide.height(), MeasureCaptionText(QStringLiteral("One"), testFont(), 200).height());
        QCOMPARE(MeasureCaptionText(QString(), testFont(), 100), QSize(0, 0));
    }

    void measuredCaptionIncludesItsMargins() {
        QFont font = testFont();
        font.setStyleStrategy(QFont::NoAntialias);
        const QSize size = MeasureCaptionText(QStringLiteral("Save"), font, 200);
        QCOMPARE(size.width(), QFontMetrics(font).horizontalAdvance(QStringLiteral("Save")) + 2);
        QCOMPARE(MeasureCaptionText(QStringLiteral("&Save"), font, 200), size);
    }
};

QTEST_MAIN(CaptionTest)
#include "caption_test.moc"
