#include "WindowHarness.h"

#include "button_control/model/Button_XP.h"

// The window with the real zlibtool on the sample game file: open it, edit
// and add balls, save, open it again and find the changes.
class WindowRoundTripTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale::c());
        QVERIFY2(QFileInfo(WindowHarness::builtTool()).isExecutable(),
                 "zlibtool must be built beside the tests");
    }

    void sampleOpensEditsSavesAndReopens() {
        WindowHarness h(WindowHarness::Tool::Real);
        const QString game = h.copySample(QStringLiteral("unnamed_1964.bin"));
        const QByteArray original = BallFileBytes::readFile(game);
        h.open(game);
        QVERIFY2(h.messages().empty(), h.messages().empty() ? "" : qPrintable(h.messages().back().text));
        QCOMPARE(h.window->ListCount(), 40);
        QCOMPARE(h.window->ListItem(0), QStringLiteral("1 : Standard Match Ball"));
        QCOMPARE(h.window->ListItem(4), QStringLiteral("5 : Night Match Glow"));
        const std::int16_t pole = h.window->table().Get_Pole(4);

        h.clickRow(4);
        QCOMPARE(h.txt(0)->text(), QStringLiteral("5"));
        QCOMPARE(h.label1(), QStringLiteral("Puma"));
        QCOMPARE(h.label2(), QStringLiteral("EL Official Ball"));
        WindowHarness::retype(h.txt(2), QStringLiteral("Night Match Glow II"));
        WindowHarness::retype(h.txt(0), QStringLiteral("-500"));
        WindowHarness::retype(h.txt(1), QStringLiteral("261"));
        WindowHarness::retype(h.txt(3), QStringLiteral("1024"));
        QCOMPARE(h.window->ListItem(4), QStringLiteral("5 : Night Match Glow II"));

        QTest::keyClicks(h.textId(), QStringLiteral("14999.5"));
        auto* add = h.find<Button_XP>("ADD");
        QTest::mouseClick(add, Qt::LeftButton, Qt::NoModifier, add->rect().center());
        QTest::keyClicks(h.txt(2), QStringLiteral("Added Ball"));
        QCOMPARE(h.window->ListItem(40), QStringLiteral("41 : Added Ball"));

        auto* save = h.find<Button_XP>("Cmd_Zapisz");
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QCOMPARE(h.messages().size(), std::size_t(1));
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
        QVERIFY(BallFileBytes::readFile(game) != original);
        QVERIFY(QDir(h.workingFolder()).entryList(QDir::Files).isEmpty());

        h.open(game);
        const Baza& table = h.window->table();
        QCOMPARE(table.Count(), 41);
        QCOMPARE(table.Get_Nazwa(4), QStringLiteral("Night Match Glow II"));
        QCOMPARE(table.Get_ID(4), std::int16_t(-500));
        QCOMPARE(table.Get_Mode(4), std::int16_t(261));
        QCOMPARE(table.Get_Mode2(4), std::int16_t(1024));
        QCOMPARE(table.Get_Pole(4), pole);
        QCOMPARE(table.Get_Nazwa(40), QStringLiteral("Added Ball"));
        QCOMPARE(table.Get_ID(40), std::int16_t(14999)); // 14998.5 goes to the even 14998, plus one
        QCOMPARE(table.Get_Mode(40), std::int16_t(5));
        QCOMPARE(table.Get_Mode2(40), std::int16_t(1));
        QCOMPARE(h.window->ListItem(40), QStringLiteral("41 : Added Ball"));

        // Save through the menu too, then quit: the working folder is empty.
        h.clickRow(0);
        WindowHarness::retype(h.txt(2), QStringLiteral("Renamed Again"));
        h.action("MnuSaveFile")->trigger();
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
        h.open(game);
        QCOMPARE(h.window->ListItem(0), QStringLiteral("1 : Renamed Again"));
        h.action("mnuQuit")->trigger();
        QVERIFY(QDir(h.workingFolder()).entryList(QDir::Files).isEmpty());
    }
};

QTEST_MAIN(WindowRoundTripTest)
#include "window_round_trip_test.moc"
