#include "button_control/model/Button_XP.h"
#include "main_window/FrmMainButtons.h"

#include <QTest>

// The window's two buttons come from the layout built into the program.
class FrmMainButtonsTest : public QObject {
    Q_OBJECT

private slots:
    void bothSavedButtonsAreBuiltIn() {
        QWidget window;
        Button_XP* save = CreateSavedButton(&window, "Cmd_Zapisz");
        Button_XP* add = CreateSavedButton(&window, "ADD");
        QCOMPARE(save->parentWidget(), &window);
        QCOMPARE(save->Caption(), QString("Save"));
        QCOMPARE(save->size(), QSize(153, 25));
        QVERIFY(save->Enabled());
        QCOMPARE(add->Caption(), QString("Add"));
        QCOMPARE(add->size(), QSize(89, 25));
        QVERIFY(!add->Enabled());
        QCOMPARE(add->Font().charset, 238);
    }

    void unknownNameGivesAPlainButton() {
        QWidget window;
        Button_XP* other = CreateSavedButton(&window, "Cmd_Other");
        QCOMPARE(other->objectName(), QString("Cmd_Other"));
        QCOMPARE(other->Caption(), QString("Cmd_Other"));
        QCOMPARE(other->ButtonStyle(), 2);
    }
};

QTEST_MAIN(FrmMainButtonsTest)
#include "frm_main_buttons_test.moc"
