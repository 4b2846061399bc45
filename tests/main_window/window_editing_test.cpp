#include "WindowHarness.h"

#include "ball_table/EditRules.h"
#include "button_control/model/Button_XP.h"

#include <QClipboard>
#include <QSignalSpy>

// Typing into the boxes of a selected ball, adding balls, the about box, the
// web links, and a round trip through the file.
class WindowEditingTest : public QObject {
    Q_OBJECT

    static std::vector<Ball> twoBalls() {
        return {ball("Training", 10, 5, 1, 77), ball("Final", 20, 2, 16, -3)};
    }

    // Types characters as a keyboard with any layout gives them.
    static void type(QWidget* box, const QString& text) {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }

    static void pressAdd(WindowHarness& h) {
        auto* add = h.find<Button_XP>("ADD");
        QTest::mouseClick(add, Qt::LeftButton, Qt::NoModifier, add->rect().center());
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void editsReachTheTableAndTheListLine() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", twoBalls()));
        h.clickRow(1);
        const Baza& table = h.window->table();

        // The ID follows every keystroke; the list line is not even rewritten.
        QSignalSpy lineChanges(h.list()->model(), &QAbstractItemModel::dataChanged);
        h.txt(0)->clear();
        QCOMPARE(table.Get_ID(1), std::int16_t(0));
        QTest::keyClick(h.txt(0), Qt::Key_7);
        QCOMPARE(table.Get_ID(1), std::int16_t(7));
        QTest::keyClicks(h.txt(0), QStringLiteral("5"));
        QCOMPARE(table.Get_ID(1), std::int16_t(75));
        QCOMPARE(h.listLines(), (QStringList{"1 : Training", "2 : Final"}));
        QCOMPARE(lineChanges.count(), 0);

        // The name rewrites the line at once, once per keystroke.
        QTest::keyClicks(h.txt(2), QStringLiteral(" Cup"));
        QCOMPARE(lineChanges.count(), 4);
        QCOMPARE(table.Get_Nazwa(1), QStringLiteral("Final Cup"));
        QCOMPARE(h.listLines(), (QStringList{"1 : Training", "2 : Final Cup"}));

        // Producer and mode, with their names beside them.
        WindowHarness::retype(h.txt(1), QStringLiteral("261"));
        QCOMPARE(table.Get_Mode(1), std::int16_t(261));
        QCOMPARE(h.label1(), QStringLiteral("Extra Konami Ball"));
        WindowHarness::retype(h.txt(3), QStringLiteral("-5"));
        QCOMPARE(table.Get_Mode2(1), std::int16_t(-5));
        QCOMPARE(h.label2(), QStringLiteral("CL Finale 2010"));

        // Clearing the producer stores 0 and leaves the name shown.
        h.txt(1)->setFocus();
        h.txt(1)->selectAll();
        QTest::keyClick(h.txt(1), Qt::Key_Backspace);
        QCOMPARE(table.Get_Mode(1), std::int16_t(0));
        QCOMPARE(h.label1(), QStringLiteral("Extra Konami Ball"));

        // The other ball and the kept value are untouched.
        QCOMPARE(table.Get_Pole(1), std::int16_t(-3));
        QCOMPARE(table.Get_ID(0), std::int16_t(10));
        QCOMPARE(table.Get_Nazwa(0), QStringLiteral("Training"));
    }

    void numbersAreReadRoundedAndBounded_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("plain") << "123" << 123;
        QTest::newRow("negative") << "-32768" << -32768;
        QTest::newRow("largest") << "32767" << 32767;
        QTest::newRow("too large") << "40000" << 0;
        QTest::newRow("too small") << "-32769" << 0;
        QTest::newRow("letters") << "abc" << 0;
        QTest::newRow("half to even down") << "2.5" << 2;
        QTest::newRow("half to even up") << "3.5" << 4;
        QTest::newRow("blanks around") << " 12 " << 12;
    }
    void numbersAreReadRoundedAndBounded() {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", twoBalls()));
        h.clickRow(0);
        for (int index : {0, 1, 3}) {
            WindowHarness::retype(h.txt(index), typed);
            QCOMPARE(h.txt(index)->text(), typed);
        }
        const Baza& table = h.window->table();
        QCOMPARE(int(table.Get_ID(0)), stored);
        QCOMPARE(int(table.Get_Mode(0)), stored);
        QCOMPARE(int(table.Get_Mode2(0)), stored);
    }

    void fractionsInTheUsersNotation() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", twoBalls()));
        h.clickRow(0);
        WindowHarness::retype(h.txt(0), QStringLiteral("3,5"));
        QCOMPARE(h.window->table().Get_ID(0), std::int16_t(4));
        WindowHarness::retype(h.txt(0), QStringLiteral("2,5"));
        QCOMPARE(h.window->table().Get_ID(0), std::int16_t(2));
        QLocale::setDefault(QLocale::c());
    }

    void editsWithoutASelectedBallChangeNoTable() {
        WindowHarness none;
        QTest::keyClicks(none.txt(2), QStringLiteral("Name"));
        QTest::keyClicks(none.txt(1), QStringLiteral("4"));
        QCOMPARE(none.window->table().Count(), 0);
        QCOMPARE(none.window->ListCount(), 0);
        QCOMPARE(none.label1(), QStringLiteral("Umbro"));

        // A freshly loaded list has no selection: the boxes and labels are
        // emptied and greyed out until a ball is picked, so nothing can be
        // typed that no ball would receive, and a save writes the file as it was.
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", twoBalls()));
        h.clickRow(1);
        const QString second = h.writeGameFile("unnamed_1815.bin", {ball("A", 1, 1, 1), ball("B", 2, 2, 2)});
        h.open(second);
        QCOMPARE(h.label1(), QStringLiteral("..."));
        QCOMPARE(h.label2(), QStringLiteral("..."));
        QTest::keyClicks(h.txt(2), QStringLiteral("X"));
        WindowHarness::retype(h.txt(0), QStringLiteral("99"));
        for (int index : {0, 1, 2, 3, 5}) {
            QVERIFY(h.txt(index)->text().isEmpty());
            QVERIFY(!h.txt(index)->isEnabled());
        }
        const Baza& table = h.window->table();
        QCOMPARE(table.Get_Nazwa(1), QStringLiteral("B"));
        QCOMPARE(table.Get_ID(1), std::int16_t(2));
        QCOMPARE(h.listLines(), (QStringList{"1 : A", "2 : B"}));
        auto* save = h.find<Button_XP>("Cmd_Zapisz");
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
        QCOMPARE(h.readGameFile(second).Get_Nazwa(1), QStringLiteral("B"));

        // A picked ball takes edits again, and they reach the file.
        h.clickRow(1);
        QVERIFY(h.txt(2)->isEnabled());
        QCOMPARE(h.txt(2)->text(), QStringLiteral("B"));
        QTest::keyClicks(h.txt(2), QStringLiteral("X"));
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QCOMPARE(h.readGameFile(second).Get_Nazwa(1), QStringLiteral("BX"));
    }

    // A character the code page cannot hold turns into '?' as it is typed or
    // pasted, so the box, the list line and the saved name always agree.
    void theNameBoxHoldsOnlyWhatCanBeStored() {
        WindowHarness h;
        const QString game = h.writeGameFile("unnamed_1964.bin", twoBalls());
        h.open(game);
        h.clickRow(0);
        h.txt(2)->setFocus();
        h.txt(2)->selectAll();
        type(h.txt(2), QStringLiteral("\u00F1\u6F22")); // ñ and a Chinese character
        QCOMPARE(h.txt(2)->text(), QStringLiteral("??"));
        QCOMPARE(h.window->ListItem(0), QStringLiteral("1 : ??"));

        h.clickRow(1);
        h.txt(2)->setFocus();
        h.txt(2)->selectAll();
        QGuiApplication::clipboard()->setText(
            QStringLiteral("\u0141\u00F3d\u017A \u00F1 \u6F22\u5B57 \U0001F600 \u0152 ok"));
        QTest::keyClick(h.txt(2), Qt::Key_V, Qt::ControlModifier);
        type(h.txt(2), QStringLiteral("\u00F1!"));
        const QString kept = QStringLiteral("\u0141\u00F3d\u017A ? ?? ? ? ok?!");
        QCOMPARE(h.txt(2)->text(), kept);
        QCOMPARE(h.window->ListItem(1), QStringLiteral("2 : ") + kept);

        h.action("MnuSaveFile")->trigger();
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
        const QByteArray table = WindowHarness::unpack(BallFileBytes::readFile(game));
        QCOMPARE(table.mid(32, 64), BallFileBytes::record("??", 0, 0, 0, 0).left(64));
        QCOMPARE(table.mid(32 + 72, 64),
                 BallFileBytes::record("\xA3\xF3\x64\x9F ? ?? ? ? ok?!", 0, 0, 0, 0).left(64));
        QCOMPARE(h.readGameFile(game).Get_Nazwa(1), kept);
    }

    // What is pasted into the name box is a name: accents given as a letter
    // and a combining mark are composed into the letters the code page has,
    // line breaks become spaces and other control characters are left out.
    // A name read with line breaks is listed on one line with a mark for
    // each, and keeps its bytes until the user edits the name itself.
    void pastedAndReadNamesStayNames() {
        WindowHarness h;
        const QString game =
            h.writeGameFile("unnamed_1964.bin", {ball("Top\r\nBall", 10, 5, 1), ball("B", 20, 2, 16)});
        h.open(game);
        const QString mark{QChar(controlMark)};
        QCOMPARE(h.window->ListItem(0), QStringLiteral("1 : Top") + mark + mark + QStringLiteral("Ball"));
        const QModelIndex first = h.list()->model()->index(0, 0);
        QCOMPARE(first.data().toString(), h.window->ListItem(0));

        h.clickRow(0);
        QCOMPARE(h.txt(2)->text(), QStringLiteral("Top Ball"));
        WindowHarness::retype(h.txt(0), QStringLiteral("11"));
        h.action("MnuSaveFile")->trigger();
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
        QByteArray table = WindowHarness::unpack(BallFileBytes::readFile(game));
        QCOMPARE(table.mid(32, 72), BallFileBytes::record("Top\r\nBall", 11, 5, 1, 0));

        const std::pair<QString, QString> pastes[] = {
            {QStringLiteral("Line1\nLine2"), QStringLiteral("Line1 Line2")},
            {QStringLiteral("A\r\nB\tC\u0007D\u2028E\r"), QStringLiteral("A B CD E ")},
            {QStringLiteral("Cafe\u0301 Z\u0307o\u0301\u0142w n\u0303"),
             QStringLiteral("Caf\u00E9 \u017B\u00F3\u0142w ?")},
        };
        for (const auto& [pasted, kept] : pastes) {
            h.txt(2)->setFocus();
            h.txt(2)->selectAll();
            QGuiApplication::clipboard()->setText(pasted);
            QTest::keyClick(h.txt(2), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(h.txt(2)->text(), kept);
            QCOMPARE(h.txt(2)->cursorPosition(), int(kept.size()));
            QCOMPARE(h.window->ListItem(0), QStringLiteral("1 : ") + kept);
        }
        h.action("MnuSaveFile")->trigger();
        table = WindowHarness::unpack(BallFileBytes::readFile(game));
        QCOMPARE(table.mid(32, 64), BallFileBytes::record("Caf\xE9 \xAF\xF3\xB3w ?", 0, 0, 0, 0).left(64));
    }

    void addIsEnabledExactlyWhileTheBoxHoldsText() {
        WindowHarness h;
        auto* add = h.find<Button_XP>("ADD");
        QVERIFY(!add->Enabled());
        QTest::keyClick(h.textId(), Qt::Key_1);
        QVERIFY(add->Enabled());
        QTest::keyClick(h.textId(), Qt::Key_Backspace);
        QVERIFY(!add->Enabled());
        // A click into the box and a selection re-evaluate it too.
        h.textId()->blockSignals(true);
        h.textId()->setText(QStringLiteral("5"));
        h.textId()->blockSignals(false);
        QVERIFY(!add->Enabled());
        QTest::mouseClick(h.textId(), Qt::LeftButton);
        QVERIFY(add->Enabled());
        h.open(h.writeGameFile("unnamed_1964.bin", twoBalls()));
        h.textId()->blockSignals(true);
        h.textId()->clear();
        h.textId()->blockSignals(false);
        h.clickRow(0);
        QVERIFY(!add->Enabled());
        // Pressing a disabled Add does nothing.
        pressAdd(h);
        QVERIFY(h.messages().empty());
        QCOMPARE(h.window->table().Count(), 2);
    }

    void addAppendsSelectsAndGivesTheDefaults() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", twoBalls()));
        QTest::keyClicks(h.textId(), QStringLiteral("15000"));
        pressAdd(h);
        QVERIFY(h.messages().empty());
        const Baza& table = h.window->table();
        QCOMPARE(table.Count(), 3);
        QCOMPARE(table.Get_ID(2), std::int16_t(15000));
        QCOMPARE(table.Get_Mode(2), std::int16_t(5));
        QCOMPARE(table.Get_Mode2(2), std::int16_t(1));
        QCOMPARE(table.Get_Nazwa(2), QString());
        QCOMPARE(h.listLines(), (QStringList{"1 : Training", "2 : Final", "3 : "}));
        QCOMPARE(h.window->ListIndex(), 2);
        QCOMPARE(h.window->Current_Index(), 2);
        QCOMPARE(h.txt(0)->text(), QStringLiteral("15000"));
        QCOMPARE(h.txt(1)->text(), QStringLiteral("5"));
        QCOMPARE(h.txt(3)->text(), QStringLiteral("1"));
        QCOMPARE(h.txt(5)->text(), QStringLiteral("3"));
        QCOMPARE(h.label1(), QStringLiteral("Standard"));
        QCOMPARE(h.label2(), QStringLiteral("Acting The Mode Exibition"));
        QCOMPARE(h.textId()->text(), QStringLiteral("15000"));

        // The same ID again is a second ball; 2.5 adds 3.
        pressAdd(h);
        QCOMPARE(table.Count(), 4);
        QCOMPARE(table.Get_ID(3), std::int16_t(15000));
        WindowHarness::retype(h.textId(), QStringLiteral("2.5"));
        pressAdd(h);
        QCOMPARE(table.Get_ID(4), std::int16_t(3));
        QCOMPARE(h.listLines().last(), QStringLiteral("5 : "));

        // The new ball is edited like any other.
        QTest::keyClicks(h.txt(2), QStringLiteral("New"));
        QCOMPARE(table.Get_Nazwa(4), QStringLiteral("New"));
        QCOMPARE(h.listLines().last(), QStringLiteral("5 : New"));

        // 1.5 less one is 0.5, which goes to the even 0: ID 1.
        WindowHarness::retype(h.textId(), QStringLiteral("1.5"));
        pressAdd(h);
        QCOMPARE(table.Get_ID(5), std::int16_t(1));
        QCOMPARE(h.txt(0)->text(), QStringLiteral("1"));
    }

    void addRefusesBadIdentifiers_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("above the range") << "15001";
        QTest::newRow("zero") << "0";
        QTest::newRow("negative") << "-3";
        QTest::newRow("rounds below one") << "0.4";
        QTest::newRow("far outside") << "100000";
        QTest::newRow("not a number") << "abc";
    }
    void addRefusesBadIdentifiers() {
        QFETCH(QString, typed);
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", twoBalls()));
        h.clickRow(0);
        QTest::keyClicks(h.textId(), typed);
        pressAdd(h);
        QCOMPARE(h.messages().size(), std::size_t(1));
        QCOMPARE(h.messages().back().text, QStringLiteral("Add Function Error"));
        QCOMPARE(h.messages().back().caption, QStringLiteral("ID"));
        QCOMPARE(h.messages().back().icon, MessageIcon::Critical);
        QCOMPARE(h.window->table().Count(), 2);
        QCOMPARE(h.window->ListCount(), 2);
        QCOMPARE(h.window->ListIndex(), 0);
        QCOMPARE(h.txt(2)->text(), QStringLiteral("Training"));
    }

    void aFullListTakesNoFurtherBall() {
        WindowHarness h;
        std::vector<Ball> balls(32767, ball("Ball", 1, 5, 1));
        h.open(h.writeGameFile("unnamed_1964.bin", balls));
        QCOMPARE(h.window->ListCount(), 32767);
        QCOMPARE(h.window->ListItem(32766), QStringLiteral("32767 : Ball"));
        h.clickRow(0);
        QTest::keyClicks(h.textId(), QStringLiteral("12"));
        pressAdd(h);
        QCOMPARE(h.messages().size(), std::size_t(1));
        QCOMPARE(h.messages().back().text, QStringLiteral("Add Function Error"));
        QCOMPARE(h.window->table().Count(), 32767);
        QCOMPARE(h.window->ListCount(), 32767);
    }

    void addBeforeAnyFileIsAnError() {
        WindowHarness h;
        QTest::keyClicks(h.textId(), QStringLiteral("12"));
        pressAdd(h);
        QCOMPARE(h.messages().size(), std::size_t(1));
        QCOMPARE(h.messages().back().text, QStringLiteral("Add Function Error"));
        QCOMPARE(h.window->ListCount(), 0);
    }

    void aboutBoxAndWebLinks() {
        WindowHarness h;
        QTest::mouseClick(h.find<QWidget>("Image1"), Qt::LeftButton);
        QCOMPARE(h.messages().size(), std::size_t(1));
        QCOMPARE(h.messages().back().text, QStringLiteral("Tarnholt Team"));
        QCOMPARE(h.messages().back().caption, QStringLiteral("Vestrel 2011"));
        QCOMPARE(h.messages().back().icon, MessageIcon::None);

        for (const char* entry : {"cmdTarnholt", "cmdQuenmark", "cmd_Dorvik"})
            h.action(entry)->trigger();
        const auto& calls = h.fake.shell.executed;
        QCOMPARE(calls.size(), std::size_t(3));
        QCOMPARE(calls[0].target, QStringLiteral("http://www.tarnholt.example/"));
        QCOMPARE(calls[1].target, QStringLiteral("http://www.quenmark.example/"));
        QCOMPARE(calls[2].target, QStringLiteral("http://www.tarnholt.example/team/dorvik"));
        for (const ShellCall& call : calls) {
            QCOMPARE(call.verb, QStringLiteral("Open"));
            QVERIFY(call.parameters.isEmpty());
            QVERIFY(call.directory.isEmpty());
            QCOMPARE(call.showCommand, -1);
        }
        QVERIFY(h.fake.shell.openedUrls.isEmpty());
        QCOMPARE(h.messages().size(), std::size_t(1));

        // With a file open the picture still shows the box, and nothing else.
        h.open(h.writeGameFile("unnamed_1964.bin", twoBalls()));
        h.clickRow(1);
        QTest::mouseClick(h.find<QWidget>("Image1"), Qt::LeftButton);
        QCOMPARE(h.messages().size(), std::size_t(2));
        QCOMPARE(h.messages().back().text, QStringLiteral("Tarnholt Team"));
        QCOMPARE(h.window->ListIndex(), 1);
        QCOMPARE(h.window->table().Get_Nazwa(1), QStringLiteral("Final"));
    }

    void editsAndAddsSurviveASaveAndReopen() {
        WindowHarness h;
        const QString game = h.writeGameFile("unnamed_1964.bin", twoBalls());
        h.open(game);
        h.clickRow(0);
        // QTest types Latin-1 only; a text set from code runs the same handling.
        h.txt(2)->setText(QStringLiteral("Żółw Ball"));
        WindowHarness::retype(h.txt(0), QStringLiteral("-12"));
        QTest::keyClicks(h.textId(), QStringLiteral("300"));
        pressAdd(h);
        QTest::keyClicks(h.txt(2), QStringLiteral("Added"));
        h.action("MnuSaveFile")->trigger();
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
        QVERIFY(QDir(h.workingFolder()).entryList(QDir::Files).isEmpty());

        const Baza saved = h.readGameFile(game);
        QCOMPARE(saved.Count(), 3);
        QCOMPARE(saved.Get_Nazwa(0), QStringLiteral("Żółw Ball"));
        QCOMPARE(saved.Get_ID(0), std::int16_t(-12));
        QCOMPARE(saved.Get_Pole(0), std::int16_t(77));
        QCOMPARE(saved.Get_Nazwa(2), QStringLiteral("Added"));
        QCOMPARE(saved.Get_ID(2), std::int16_t(300));
        QCOMPARE(saved.Get_Mode(2), std::int16_t(5));
        QCOMPARE(saved.Get_Mode2(2), std::int16_t(1));

        h.open(game);
        QCOMPARE(h.listLines(), (QStringList{"1 : Żółw Ball", "2 : Final", "3 : Added"}));
    }
};

QTEST_MAIN(WindowEditingTest)
#include "window_editing_test.moc"
