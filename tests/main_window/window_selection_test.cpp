#include "WindowHarness.h"

#include "main_window/FrameBox.h"

#include <QScrollBar>
#include <QSignalSpy>

// Opening a game file into the list, selecting balls, the right-click
// summary, the value names and the Info texts.
class WindowSelectionTest : public QObject {
    Q_OBJECT

    static std::vector<Ball> threeBalls() {
        return {ball("Training", 1, 5, 1), ball("", -1, 2, 268, 7), ball("Final 2010", 321, 7, 16)};
    }

private slots:
    void openFillsTheNumberedListAndEnablesSave() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", threeBalls()));
        QCOMPARE(h.listLines(), (QStringList{"1 : Training", "2 : ", "3 : Final 2010"}));
        QVERIFY(h.action("MnuSaveFile")->isEnabled());
        QCOMPARE(h.window->ListIndex(), -1);
        QCOMPARE(h.fake.fileDialog.lastTitle, QStringLiteral("unnamed_1964.bin"));

        // A second file replaces the list; numbering starts at 1 again.
        h.open(h.writeGameFile("unnamed_1815.bin", {ball("Other", 9, 1, 3)}));
        QCOMPARE(h.listLines(), QStringList{"1 : Other"});
        QVERIFY(h.messages().empty());
    }

    void selectionFillsTheBoxesAndWritesNothing() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", threeBalls()));
        QSignalSpy lineChanges(h.list()->model(), &QAbstractItemModel::dataChanged);
        h.clickRow(1);
        QCOMPARE(h.window->ListIndex(), 1);
        QCOMPARE(h.window->Current_Index(), 1);
        QCOMPARE(h.txt(0)->text(), QStringLiteral("-1"));
        QCOMPARE(h.txt(1)->text(), QStringLiteral("2"));
        QCOMPARE(h.txt(2)->text(), QString());
        QCOMPARE(h.txt(3)->text(), QStringLiteral("268"));
        QCOMPARE(h.txt(5)->text(), QStringLiteral("2"));
        QCOMPARE(h.label1(), QStringLiteral("Nike"));
        QCOMPARE(h.label2(), QStringLiteral("CL Finale 10"));

        // The keyboard moves the selection exactly as a click does.
        h.list()->setFocus();
        QTest::keyClick(h.list(), Qt::Key_Down);
        QCOMPARE(h.txt(5)->text(), QStringLiteral("3"));
        QCOMPARE(h.txt(0)->text(), QStringLiteral("321"));
        QCOMPARE(h.txt(2)->text(), QStringLiteral("Final 2010"));
        // Producer 7 has no name: Label1 keeps "Nike"; mode 16 is named.
        QCOMPARE(h.label1(), QStringLiteral("Nike"));
        QCOMPARE(h.label2(), QStringLiteral("CL Finale 2010"));
        QTest::keyClick(h.list(), Qt::Key_Home);
        QCOMPARE(h.txt(5)->text(), QStringLiteral("1"));
        QCOMPARE(h.label1(), QStringLiteral("Standard"));
        QCOMPARE(h.label2(), QStringLiteral("Acting The Mode Exibition"));

        // Setting the position from code runs the handling before it returns.
        h.window->setListIndex(2);
        QCOMPARE(h.txt(5)->text(), QStringLiteral("3"));

        // Filling the boxes wrote nothing back, not even for a moment.
        QCOMPARE(lineChanges.count(), 0);
        const Baza& table = h.window->table();
        QCOMPARE(table.Get_ID(1), std::int16_t(-1));
        QCOMPARE(table.Get_Nazwa(2), QStringLiteral("Final 2010"));
        QCOMPARE(table.Get_Mode(2), std::int16_t(7));
        QCOMPARE(h.listLines(), (QStringList{"1 : Training", "2 : ", "3 : Final 2010"}));
    }

    void firstKeyInAFreshListSelectsTheFirstBall() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", threeBalls()));
        h.list()->setFocus();
        QTest::keyClick(h.list(), Qt::Key_Down);
        QCOMPARE(h.window->ListIndex(), 0);
        QCOMPARE(h.txt(2)->text(), QStringLiteral("Training"));
        QTest::keyClick(h.list(), Qt::Key_Down);
        QCOMPARE(h.window->ListIndex(), 1);

        h.open(h.writeGameFile("unnamed_1815.bin", threeBalls()));
        h.list()->setFocus();
        QTest::keyClick(h.list(), Qt::Key_End);
        QCOMPARE(h.window->ListIndex(), 2);
        QCOMPARE(h.txt(5)->text(), QStringLiteral("3"));
    }

    void aNewlyOpenedFileIsShownFromItsFirstBall() {
        WindowHarness h;
        std::vector<Ball> many;
        for (std::int16_t id = 1; id <= 60; ++id)
            many.push_back(ball(QStringLiteral("Ball %1").arg(id), id, 5, 1));
        h.open(h.writeGameFile("unnamed_1964.bin", many));
        h.clickRow(0);
        h.list()->setFocus();
        QTest::keyClick(h.list(), Qt::Key_End);
        QVERIFY(h.list()->verticalScrollBar()->value() > 0);

        h.open(h.writeGameFile("unnamed_1815.bin", many));
        QCOMPARE(h.list()->verticalScrollBar()->value(), 0);
        QCOMPARE(h.list()->indexAt(QPoint(4, 4)).row(), 0);
        // The first key selects the first ball, which is the one in view.
        QTest::keyClick(h.list(), Qt::Key_Down);
        QCOMPARE(h.window->ListIndex(), 0);
        QCOMPARE(h.list()->verticalScrollBar()->value(), 0);
    }

    void theSelectionCannotBeTakenAway() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", threeBalls()));
        h.clickRow(1);
        BallListView* view = h.list();
        const QPoint onItem = view->visualRect(view->model()->index(1, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, onItem);
        QCOMPARE(h.window->ListIndex(), 1);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(h.window->ListIndex(), 1);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(onItem.x(), view->viewport()->height() - 2));
        QCOMPARE(h.window->ListIndex(), 1);

        // So an edit still reaches the ball the boxes show.
        QTest::keyClicks(h.txt(2), QStringLiteral("!"));
        QCOMPARE(h.window->table().Get_Nazwa(1), QStringLiteral("!"));
    }

    void rightClickSummarisesTheBoxesWithoutMovingTheSelection() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", threeBalls()));
        h.clickRow(0, Qt::RightButton);
        QVERIFY(h.messages().empty()); // nothing before the first selection
        QCOMPARE(h.window->ListIndex(), -1);

        h.clickRow(0);
        h.clickRow(2, Qt::RightButton);
        QCOMPARE(h.window->ListIndex(), 0);
        QCOMPARE(h.messages().size(), std::size_t(1));
        QCOMPARE(h.messages().back().text,
                 QStringLiteral("Index = 1\r\nID = 1\r\nName = Training\r\nProducent Ball = Standard"));
        QCOMPARE(h.messages().back().caption, QStringLiteral("Vestrel"));
        QCOMPARE(h.messages().back().icon, MessageIcon::None);

        // It shows what the boxes hold, unsaved edits included; a left or
        // middle press shows nothing.
        WindowHarness::retype(h.txt(2), QStringLiteral("Renamed"));
        h.clickRow(1, Qt::MiddleButton);
        QCOMPARE(h.messages().size(), std::size_t(1));
        h.clickRow(0, Qt::RightButton);
        QCOMPARE(h.messages().back().text,
                 QStringLiteral("Index = 1\r\nID = 1\r\nName = Renamed\r\nProducent Ball = Standard"));

        // Another file's list has no ball picked yet: nothing to summarise.
        h.open(h.writeGameFile("unnamed_1815.bin", {ball("Other", 9, 1, 3)}));
        h.clickRow(0, Qt::RightButton);
        QCOMPARE(h.messages().size(), std::size_t(2));
        QCOMPARE(h.window->ListIndex(), -1);
        h.clickRow(0);
        h.clickRow(0, Qt::RightButton);
        QCOMPARE(h.messages().back().text,
                 QStringLiteral("Index = 1\r\nID = 9\r\nName = Other\r\nProducent Ball = Adidas"));
    }

    void labelsFollowTheSchemes_data() {
        QTest::addColumn<QString>("producer");
        QTest::addColumn<QString>("label1");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("label2");
        QTest::newRow("first values") << "1"
                                      << "Adidas"
                                      << "1"
                                      << "Acting The Mode Exibition";
        QTest::newRow("nike, league") << "2"
                                      << "Nike"
                                      << "3"
                                      << "Acting The Mode Exibition and League?";
        QTest::newRow("puma, EL") << "3"
                                  << "Puma"
                                  << "96"
                                  << "EL Official Ball";
        QTest::newRow("umbro, libertadores") << "4"
                                             << "Umbro"
                                             << "128"
                                             << "Libertadores Official Ball";
        QTest::newRow("standard, orange") << "5"
                                          << "Standard"
                                          << "256"
                                          << "CL League PowerOrange";
        QTest::newRow("konami, super cup") << "261"
                                           << "Extra Konami Ball"
                                           << "512"
                                           << "SUPER CUP Official Ball";
        QTest::newRow("ligue 1") << "261"
                                 << "Extra Konami Ball"
                                 << "1024"
                                 << "Ligue 1 Official Ball";
        QTest::newRow("unnamed values") << "7"
                                        << "..."
                                        << "2"
                                        << "...";
        QTest::newRow("leading zero") << "05"
                                      << "..."
                                      << "016"
                                      << "...";
        QTest::newRow("fraction") << "5.0"
                                  << "..."
                                  << "1.0"
                                  << "...";
        QTest::newRow("blank before") << " 5"
                                      << "..."
                                      << " 1"
                                      << "...";
        QTest::newRow("empty") << ""
                               << "..."
                               << ""
                               << "...";
    }
    void labelsFollowTheSchemes() {
        QFETCH(QString, producer);
        QFETCH(QString, label1);
        QFETCH(QString, mode);
        QFETCH(QString, label2);
        WindowHarness h;
        // Set whole, as typing "5.0" would name "5" on its way.
        h.txt(1)->setText(producer);
        h.txt(3)->setText(mode);
        QCOMPARE(h.label1(), label1);
        QCOMPARE(h.label2(), label2);
        QVERIFY(h.find<QLabel>("Label1")->width() >= h.find<QLabel>("Label1")->sizeHint().width());
    }

    void labelsFollowEveryKeystrokeAndKeepTheirLastName() {
        WindowHarness h;
        QTest::keyClick(h.txt(3), Qt::Key_1);
        QCOMPARE(h.label2(), QStringLiteral("Acting The Mode Exibition"));
        QTest::keyClick(h.txt(3), Qt::Key_6);
        QCOMPARE(h.label2(), QStringLiteral("CL Finale 2010"));
        QTest::keyClick(h.txt(3), Qt::Key_0);
        QCOMPARE(h.label2(), QStringLiteral("CL Finale 2010"));
        QTest::keyClicks(h.txt(1), QStringLiteral("2"));
        QCOMPARE(h.label1(), QStringLiteral("Nike"));
        QTest::keyClick(h.txt(1), Qt::Key_Backspace);
        QCOMPARE(h.label1(), QStringLiteral("Nike"));
    }

    void infoTextsLineByLine() {
        WindowHarness h;
        h.action("Mode")->trigger();
        h.action("Producent")->trigger();
        QCOMPARE(h.messages().size(), std::size_t(2));
        for (const ShownMessage& shown : h.messages()) {
            QCOMPARE(shown.caption, QStringLiteral("Vestrel"));
            QCOMPARE(shown.icon, MessageIcon::Information);
            QVERIFY(!shown.text.endsWith(QLatin1Char('\n')));
        }
        QCOMPARE(h.messages()[0].text.split(QStringLiteral("\r\n")),
                 (QStringList{"#Description of the Value ", " ", "16 - CL Finale 2010",
                              "96 - EL Official Ball", "128 - Libertadores Official Ball",
                              "256 - CL League PowerOrange", "268 - CL Finale 10",
                              "512 - SUPER CUP Official Ball", "1024 - Ligue 1 Official Ball"}));
        QCOMPARE(h.messages()[1].text.split(QStringLiteral("\r\n")),
                 (QStringList{"#Producent Ball of the Value ", " ", "1-Adidas", "2-Nike", "3-Puma", "4-Umbro",
                              "5-Standard", " ", "#EXTRA", " ", "261-Extra Konami Ball"}));
        // No stray line feed without its carriage return.
        QCOMPARE(h.messages()[0].text.count(QLatin1Char('\n')), 8);
        QCOMPARE(h.messages()[1].text.count(QLatin1Char('\n')), 10);
    }

    void saveButtonBeforeAnyFileIsAnError() {
        WindowHarness h;
        auto* save = h.find<QWidget>("Cmd_Zapisz");
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QCOMPARE(h.messages().size(), std::size_t(1));
        QCOMPARE(h.messages().back().text, QStringLiteral("Error"));
        QCOMPARE(h.messages().back().icon, MessageIcon::Critical);
        QVERIFY(h.fake.processes.runs.empty());
    }

    void cancelAndMissingFileChangeNothing() {
        WindowHarness h;
        const QString game = h.writeGameFile("unnamed_1964.bin", threeBalls());
        h.open(game);
        h.clickRow(0);
        h.open(QString());
        QVERIFY(h.messages().empty());
        QCOMPARE(h.window->ListCount(), 3);
        QCOMPARE(h.window->ListIndex(), 0);
        QCOMPARE(h.window->pipeline().Game_File(), game);

        h.open(game + QStringLiteral(".missing"));
        QCOMPARE(h.messages().size(), std::size_t(1));
        QCOMPARE(h.messages().back().text, QStringLiteral("Nie wybrano pliku !!"));
        QCOMPARE(h.messages().back().caption, QStringLiteral("Błąd wczytywania pliku"));
        QCOMPARE(h.window->ListCount(), 3);
        QVERIFY(h.action("MnuSaveFile")->isEnabled());
        QCOMPARE(h.txt(2)->text(), QStringLiteral("Training"));

        // A file that cannot even be copied in leaves the open one in place:
        // its list, selection, table, Save entry and game file. The working
        // folder is moved away rather than removed: Windows removes no file
        // that is open, and the window holds its own lock there.
        QDir zlib(QFileInfo(h.workingFolder()).path());
        QVERIFY(zlib.rename(QStringLiteral("temp"), QStringLiteral("temp.away")));
        h.open(h.writeGameFile("unnamed_1815.bin", {ball("Other", 9, 1, 3)}));
        QCOMPARE(h.messages().size(), std::size_t(2));
        QCOMPARE(h.messages().back().icon, MessageIcon::Critical);
        QVERIFY(zlib.rename(QStringLiteral("temp.away"), QStringLiteral("temp")));
        QCOMPARE(h.listLines(), (QStringList{"1 : Training", "2 : ", "3 : Final 2010"}));
        QCOMPARE(h.window->ListIndex(), 0);
        QVERIFY(h.action("MnuSaveFile")->isEnabled());
        QCOMPARE(h.window->pipeline().Game_File(), game);
        QCOMPARE(h.window->table().Count(), 3);
    }

    void closingWhileTheToolRunsClosesAfterIt() {
        WindowHarness h;
        const QString game = h.writeGameFile("unnamed_1964.bin", threeBalls());
        auto scripted = h.fake.processes.replacement;
        bool openDuringRun = false;
        bool addIgnored = false;
        h.fake.processes.replacement = [&](const QString& program, const QStringList& arguments) {
            // The user presses Add and closes the window while the tool works.
            h.textId()->setText(QStringLiteral("7"));
            auto* add = h.find<QWidget>("ADD");
            QTest::mouseClick(add, Qt::LeftButton, Qt::NoModifier, add->rect().center());
            addIgnored = h.messages().empty();
            h.window->close();
            openDuringRun = h.window->isVisible();
            return scripted(program, arguments);
        };
        h.open(game);
        QVERIFY(addIgnored);
        QVERIFY(openDuringRun);
        QVERIFY(!h.window->isVisible());
        QCOMPARE(h.window->table().Count(), 3);
        QVERIFY(QDir(h.workingFolder()).entryList(QDir::Files).isEmpty());
    }

    void failedOpenForgetsTheEarlierFile() {
        WindowHarness h;
        const QString good = h.writeGameFile("unnamed_1964.bin", threeBalls());
        h.open(good);
        h.clickRow(2);
        const QString bad = h.writeRawGameFile("unnamed_1815.bin", "not a packed ball file");
        h.open(bad);
        QVERIFY(h.messages().back().text.startsWith(QStringLiteral("Wystąpił błąd")));
        QCOMPARE(h.window->ListCount(), 0);
        QVERIFY(!h.action("MnuSaveFile")->isEnabled());
        for (int index : {0, 1, 2, 3, 5})
            QVERIFY(h.txt(index)->text().isEmpty());
        QCOMPARE(h.label1(), QStringLiteral("..."));
        QCOMPARE(h.label2(), QStringLiteral("..."));
        QCOMPARE(h.window->table().Count(), 0);

        // Typing now reaches no table, and Save refuses: neither file is
        // written, least of all the earlier table over the file just chosen.
        const QByteArray goodBefore = BallFileBytes::readFile(good);
        QTest::keyClicks(h.txt(2), QStringLiteral("x"));
        h.action("MnuSaveFile")->trigger(); // disabled: does nothing
        const std::size_t runsBefore = h.fake.processes.runs.size();
        auto* save = h.find<QWidget>("Cmd_Zapisz");
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QCOMPARE(h.messages().back().text, QStringLiteral("Error"));
        QCOMPARE(h.messages().back().icon, MessageIcon::Critical);
        QCOMPARE(h.fake.processes.runs.size(), runsBefore);
        QCOMPARE(BallFileBytes::readFile(good), goodBefore);
        QCOMPARE(BallFileBytes::readFile(bad), QByteArray("not a packed ball file"));

        // A good file afterwards works as usual.
        h.open(good);
        QCOMPARE(h.window->ListCount(), 3);
        QVERIFY(h.action("MnuSaveFile")->isEnabled());
    }
};

QTEST_MAIN(WindowSelectionTest)
#include "window_selection_test.moc"
