#include "platform/Platform.h"

#include <QTest>

// The classic scheme is fixed so that the buttons draw the same everywhere;
// these are the colours their faces are built from.
class SystemColorsTest : public QObject {
    Q_OBJECT
private slots:
    void classicSchemeColours() {
        QCOMPARE(classic::GetSysColor(15), 0xC8D0D4u); // button face RGB(212, 208, 200)
        QCOMPARE(classic::GetSysColor(13), 0x6A240Au); // highlight RGB(10, 36, 106)
        QCOMPARE(classic::GetSysColor(16), 0x808080u); // button shadow
        QCOMPARE(classic::GetSysColor(20), 0xFFFFFFu); // 3-D highlight
        QCOMPARE(classic::GetSysColor(21), 0x404040u); // 3-D dark shadow
        QCOMPARE(classic::GetSysColor(18), 0x000000u); // button text
    }
    void unknownIndexIsBlack() {
        QCOMPARE(classic::GetSysColor(-1), 0u);
        QCOMPARE(classic::GetSysColor(31), 0u);
        QCOMPARE(classic::GetSysColor(0xFFFFFF), 0u);
    }
};

QTEST_GUILESS_MAIN(SystemColorsTest)
#include "system_colors_test.moc"
