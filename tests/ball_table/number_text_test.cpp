#include "ball_table/NumberText.h"

#include <QTest>

#include <cmath>

// Numbers typed into the boxes: read in the user's notation, rounded half to
// even, out-of-range and junk becoming 0.
class NumberTextTest : public QObject {
    Q_OBJECT
private slots:
    void halvesGoToTheEvenNeighbour() {
        QCOMPARE(roundHalfEven(0.5), 0.0);
        QCOMPARE(roundHalfEven(1.5), 2.0);
        QCOMPARE(roundHalfEven(2.5), 2.0);
        QCOMPARE(roundHalfEven(3.5), 4.0);
        QCOMPARE(roundHalfEven(-0.5), 0.0);
        QCOMPARE(roundHalfEven(-1.5), -2.0);
        QCOMPARE(roundHalfEven(-2.5), -2.0);
        QCOMPARE(roundHalfEven(-0.6), -1.0);
        QCOMPARE(roundHalfEven(2.4999999999999996), 2.0);
        QCOMPARE(roundHalfEven(2.5000000000000004), 3.0);
        // Just below a half must not be mistaken for one.
        QCOMPARE(roundHalfEven(0.49999999999999994), 0.0);
        QCOMPARE(roundHalfEven(-0.49999999999999994), 0.0);
        QCOMPARE(roundHalfEven(4503599627370497.0), 4503599627370497.0);
        QVERIFY(std::isnan(roundHalfEven(std::nan(""))));
    }

    void readsTheLocaleNotation() {
        const QLocale c = QLocale::c();
        QCOMPARE(readLocaleNumber("2.5", c), 2.5);
        QCOMPARE(readLocaleNumber("  -3.25\t", c), -3.25);
        QCOMPARE(readLocaleNumber("+7", c), 7.0);
        QCOMPARE(readLocaleNumber("1,000.5", c), 1000.5);

        const QLocale polish(QLocale::Polish, QLocale::Poland);
        QCOMPARE(readLocaleNumber("2,5", polish), 2.5);
        QCOMPARE(readLocaleNumber(" -0,5 ", polish), -0.5);

        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(readLocaleNumber("2,5", german), 2.5);
        QCOMPARE(readLocaleNumber("1.000,5", german), 1000.5);
    }

    void refusesWhatIsNotANumber() {
        const QLocale c = QLocale::c();
        for (const char* text : {"", "   ", "abc", "12abc", "1.2.3", "--1", "inf", "nan", "0x10", "1 2"})
            QVERIFY2(!readLocaleNumber(QString::fromLatin1(text), c), text);
    }

    void fieldValueClampsToZero() {
        const QLocale c = QLocale::c();
        QCOMPARE(fieldValue("32767", c), std::int16_t(32767));
        QCOMPARE(fieldValue("-32768", c), std::int16_t(-32768));
        QCOMPARE(fieldValue("32768", c), std::int16_t(0));
        QCOMPARE(fieldValue("-32769", c), std::int16_t(0));
        // 32767.5 rounds to 32768, which no longer fits.
        QCOMPARE(fieldValue("32767.5", c), std::int16_t(0));
        QCOMPARE(fieldValue("32766.5", c), std::int16_t(32766));
        QCOMPARE(fieldValue("-32768.5", c), std::int16_t(-32768));
        QCOMPARE(fieldValue("2.5", c), std::int16_t(2));
        QCOMPARE(fieldValue("", c), std::int16_t(0));
        QCOMPARE(fieldValue("x", c), std::int16_t(0));
        QCOMPARE(fieldValue("1e300", c), std::int16_t(0));
        QCOMPARE(fieldValue("3,5", QLocale(QLocale::Polish, QLocale::Poland)), std::int16_t(4));
    }
};

QTEST_GUILESS_MAIN(NumberTextTest)
#include "number_text_test.moc"
