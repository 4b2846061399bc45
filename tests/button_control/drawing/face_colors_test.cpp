#include "button_control/drawing/FaceColors.h"

#include "platform/Platform.h"

#include <QTest>

class FaceColorsTest : public QObject {
    Q_OBJECT
private slots:
    void offsetColorMatchesTheKnownShades() {
        QCOMPARE(OffsetColor(MakeRgb(212, 208, 200), -8), MakeRgb(204, 200, 192));
        QCOMPARE(OffsetColor(MakeRgb(212, 208, 200), 48), MakeRgb(255, 255, 250));
        QCOMPARE(OffsetColor(MakeRgb(100, 100, 100), -48), MakeRgb(52, 52, 75));
        // Blue moves by its own share, truncated toward zero for darkening.
        QCOMPARE(OffsetColor(MakeRgb(255, 255, 250), -1), MakeRgb(254, 254, 249));
        QCOMPARE(OffsetColor(MakeRgb(255, 255, 250), -24), MakeRgb(231, 231, 219));
        QCOMPARE(OffsetColor(MakeRgb(0, 0, 0), 100), MakeRgb(100, 100, 0));
        QCOMPARE(OffsetColor(MakeRgb(10, 20, 30), -300), MakeRgb(0, 0, 0));
    }

    void offsetColorUpNeverLowersNorOverflows() {
        for (int r = 0; r < 256; r += 17)
            for (int g = 0; g < 256; g += 51)
                for (int b = 0; b < 256; b += 15)
                    for (int amount : {1, 7, 48, 90, 255, 100000}) {
                        const RgbValue before = MakeRgb(r, g, b);
                        const ColorParts after = SplitColor(OffsetColor(before, amount));
                        QVERIFY(after.red >= r && after.red <= 255);
                        QVERIFY(after.green >= g && after.green <= 255);
                        QVERIFY(after.blue >= b && after.blue <= 255);
                    }
    }

    void resolveColorLooksUpSystemColoursOnly() {
        QCOMPARE(ResolveColor(static_cast<OleColor>(0x8000000F)), MakeRgb(212, 208, 200));
        QCOMPARE(ResolveColor(static_cast<OleColor>(0x80000015)), MakeRgb(64, 64, 64));
        QCOMPARE(ResolveColor(MakeRgb(212, 208, 200)), MakeRgb(212, 208, 200));
        QCOMPARE(ResolveColor(0xFFFFFF), 0xFFFFFF);
        QCOMPARE(ResolveColor(0), 0);
        // Any other negative value is looked up by its low 24 bits too.
        QCOMPARE(ResolveColor(static_cast<OleColor>(0xC000000D)),
                 static_cast<RgbValue>(classic::GetSysColor(13)));
        QCOMPARE(ResolveColor(0x01000000), static_cast<RgbValue>(classic::GetSysColor(0)));
    }

    void splitAndMakeAreInverse() {
        const ColorParts parts = SplitColor(MakeRgb(1, 2, 3));
        QCOMPARE(parts.red, 1.0);
        QCOMPARE(parts.green, 2.0);
        QCOMPARE(parts.blue, 3.0);
        QCOMPARE(MakeRgb(300, -5, 128), MakeRgb(255, 0, 128));
    }

    void plainLighteningClampsBothWays() {
        QCOMPARE(LightenColor(MakeRgb(212, 208, 200), 8), MakeRgb(220, 216, 208));
        QCOMPARE(LightenColor(MakeRgb(250, 100, 0), 10), MakeRgb(255, 110, 10));
        QCOMPARE(LightenColor(MakeRgb(5, 100, 200), -10), MakeRgb(0, 90, 190));
    }

    void pixelConversionPutsRedInTheRightPlace() {
        QCOMPARE(ToQRgb(MakeRgb(10, 36, 106)), qRgb(10, 36, 106));
        QCOMPARE(FromQRgb(qRgb(10, 36, 106)), MakeRgb(10, 36, 106));
        QCOMPARE(FromQRgb(ToQRgb(0x123456)), 0x123456);
    }
};

QTEST_MAIN(FaceColorsTest)
#include "face_colors_test.moc"
