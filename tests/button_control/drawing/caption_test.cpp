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

    void ampersandsAreAccessKeyPrefixes() {
        struct Case {
            QString caption, shown;
            QList<int> underlined;
        };
        const QList<Case> cases = {
            {QStringLiteral("Save"), QStringLiteral("Save"), {}},
            {QStringLiteral("&Save"), QStringLiteral("Save"), {0}},
            {QStringLiteral("Sa&ve"), QStringLiteral("Save"), {2}},
            {QStringLiteral("A&&B"), QStringLiteral("A&B"), {}},
            {QStringLiteral("&&Save"), QStringLiteral("&Save"), {}},
            {QStringLiteral("A&&B&c"), QStringLiteral("A&Bc"), {3}},
            {QStringLiteral("Save&"), QStringLiteral("Save"), {}},
            {QStringLiteral("&&&x"), QStringLiteral("&x"), {1}},
            {QStringLiteral("&"), QString(), {}},
        };
        for (const Case& c : cases) {
            const AccessKeyText shown = StripAccessKeyPrefixes(c.caption);
            QCOMPARE(shown.text, c.shown);
            QCOMPARE(shown.underlined, c.underlined);
        }
    }

    void doubledAmpersandShowsOneAndUnderlinesNothing() {
        const auto doubled = inkOf(paint(captioned(QStringLiteral("A&&B"))));
        const auto plain = inkOf(paint(captioned(QStringLiteral("AB"))));
        const auto marked = inkOf(paint(captioned(QStringLiteral("&AB"))));
        // An ampersand stands between the letters, and nothing hangs below them.
        QVERIFY(boundsOf(doubled).width() > boundsOf(plain).width());
        QCOMPARE(boundsOf(doubled).bottom(), boundsOf(plain).bottom());
        QVERIFY(boundsOf(marked).bottom() > boundsOf(plain).bottom());
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

    void hardLineBreaksAndLineHeight() {
        const QFont font = testFont();
        const int lineHeight = QFontMetrics(font).height();
        QCOMPARE(MeasureCaptionText(QStringLiteral("Save"), font, 200).height(), lineHeight);
        const QSize two = MeasureCaptionText(QStringLiteral("Save\nball"), font, 200);
        QCOMPARE(two.height(), 2 * lineHeight);
        QCOMPARE(MeasureCaptionText(QStringLiteral("Save\r\nball"), font, 200), two);
        QCOMPARE(MeasureCaptionText(QStringLiteral("Save\n"), font, 200).height(), 2 * lineHeight);
        // Wrapping at the measured width keeps the lines the measure found.
        const QSize wrapped = MeasureCaptionText(QStringLiteral("Save the ball table"), font, 60);
        QCOMPARE(MeasureCaptionText(QStringLiteral("Save the ball table"), font, wrapped.width()), wrapped);
    }

    void captionsTheFontCannotSetAloneStillShow() {
        // A character no installed font has, and a script that needs shaping.
        for (const QString& caption :
             {QStringLiteral("Save \uE000"), QStringLiteral("\u0633\u0644\u0627\u0645")}) {
            FaceInputs in = captioned(caption);
            const QSize size = MeasureCaptionText(caption, testFont(), 112);
            QVERIFY(size.width() > 2 && size.height() > 0);
            QVERIFY(!inkOf(paint(in)).isEmpty());
        }
    }
};

QTEST_MAIN(CaptionTest)
#include "caption_test.moc"
