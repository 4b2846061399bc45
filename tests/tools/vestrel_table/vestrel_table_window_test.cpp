#include "TableTool.h"
#include "main_window/WindowHarness.h"

#include "button_control/model/Button_XP.h"

// set and add change the game file exactly as the same edits in the window
// and a save do: the same bytes, compression included.
class VestrelTableWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // The tool runs in the C locale; the window reads its boxes in it too.
        QLocale::setDefault(QLocale::c());
        QVERIFY(QFileInfo(TableTool::program()).isExecutable());
        QVERIFY(QFileInfo(WindowHarness::builtTool()).isExecutable());
    }

    void setAndAddWriteWhatTheWindowWrites() {
        WindowHarness h(WindowHarness::Tool::Real);
        const QString byWindow = h.copySample(QStringLiteral("window.bin"));
        const QString byTool = h.copySample(QStringLiteral("tool.bin"));
        QCOMPARE(BallFileBytes::readFile(byWindow), BallFileBytes::readFile(byTool));

        h.open(byWindow);
        h.clickRow(4);
        // Typed at once: the key simulation knows no letters beyond ASCII.
        h.txt(2)->setText(QStringLiteral("Łódź, \"nocą\""));
        WindowHarness::retype(h.txt(0), QStringLiteral("-500"));
        WindowHarness::retype(h.txt(3), QStringLiteral("2.5"));
        auto* add = h.find<Button_XP>("ADD");
        for (const QString& id : {QStringLiteral("14999.5"), QStringLiteral("7")}) {
            WindowHarness::retype(h.textId(), id);
            QTest::mouseClick(add, Qt::LeftButton, Qt::NoModifier, add->rect().center());
        }
        WindowHarness::retype(h.txt(2), QStringLiteral("Added"));
        WindowHarness::retype(h.txt(1), QStringLiteral("3"));
        auto* save = h.find<Button_XP>("Cmd_Zapisz");
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));

        for (const QStringList& edit : {
                 QStringList{"set", byTool, "5", "name=Łódź, \"nocą\"", "id=-500", "mode=2.5"},
                 QStringList{"add", byTool, "--id", "14999.5"},
                 QStringList{"add", byTool, "--id", "7", "--name", "Added", "--producer", "3"},
             }) {
            const TableTool::Run run = TableTool::run(edit);
            QVERIFY2(run.code == 0, run.err.constData());
        }
        QCOMPARE(BallFileBytes::readFile(byTool).toHex(), BallFileBytes::readFile(byWindow).toHex());
    }

    // A change made with vestrel-table after Open is never overwritten
    // silently: Save asks, No keeps the other change, Yes overwrites it.
    void saveAsksBeforeOverwritingAnotherChange() {
        WindowHarness h(WindowHarness::Tool::Real);
        const QString game = h.copySample(QStringLiteral("game.bin"));
        h.open(game);
        h.clickRow(0);
        WindowHarness::retype(h.txt(2), QStringLiteral("From the window"));
        const TableTool::Run set = TableTool::run({"set", game, "2", "name=From the tool"});
        QVERIFY2(set.code == 0, set.err.constData());
        const QByteArray byTool = BallFileBytes::readFile(game);
        const auto nameInFile = [&](int position) { return h.readGameFile(game).Get_Nazwa(position); };

        const std::size_t shown = h.messages().size();
        auto* save = h.find<Button_XP>("Cmd_Zapisz");
        h.fake.messages.answers = {false};
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QCOMPARE(h.fake.messages.asked.size(), 1);
        QVERIFY2(h.fake.messages.asked[0].contains(game) &&
                     h.fake.messages.asked[0].contains("changed by another program"),
                 qPrintable(h.fake.messages.asked[0]));
        QCOMPARE(h.messages().size(), shown); // no "Save File"
        QCOMPARE(BallFileBytes::readFile(game), byTool);
        QCOMPARE(nameInFile(1), QStringLiteral("From the tool"));

        h.fake.messages.answers = {true};
        h.action("MnuSaveFile")->trigger();
        QCOMPARE(h.fake.messages.asked.size(), 2);
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
        QCOMPARE(nameInFile(0), QStringLiteral("From the window"));
        QVERIFY(nameInFile(1) != QStringLiteral("From the tool"));

        // What Vestrel saved itself is no change made elsewhere.
        h.action("MnuSaveFile")->trigger();
        QCOMPARE(h.fake.messages.asked.size(), 2);
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
    }
};

QTEST_MAIN(VestrelTableWindowTest)
#include "vestrel_table_window_test.moc"
