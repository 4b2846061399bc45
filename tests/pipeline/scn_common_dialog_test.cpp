#include "common/FakePlatform.h"
#include "pipeline/Scn_Common_Dialog.h"

#include <QTest>

using Pairs = std::vector<std::pair<QString, QString>>;

class ScnCommonDialogTest : public QObject {
    Q_OBJECT
private slots:
    void convertsFilters_data();
    void convertsFilters();
    void showsDialogAndKeepsChoice();
    void cancelKeepsPreviousChoice();
    void titleName_data();
    void titleName();
};

void ScnCommonDialogTest::convertsFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<Pairs>("pairs");
    QTest::newRow("the open filter") << "unnamed_1815.bin(*.bin)|*.bin|All Files (*.*)|*.*"
                                     << Pairs{{"unnamed_1815.bin(*.bin)", "*.bin"},
                                              {"All Files (*.*)", "*.*"}};
    QTest::newRow("no bar: a label without pattern") << "Balls" << Pairs{{"Balls", ""}};
    QTest::newRow("odd count: last label gets no pattern") << "A|*.a|B" << Pairs{{"A", "*.a"}, {"B", ""}};
    QTest::newRow("trailing bar") << "A|*.a|" << Pairs{{"A", "*.a"}};
    QTest::newRow("empty pattern kept") << "A||B|*.b" << Pairs{{"A", ""}, {"B", "*.b"}};
    QTest::newRow("empty label ends the list") << "A|*.a||*.x|B|*.b" << Pairs{{"A", "*.a"}};
    QTest::newRow("empty filter") << "" << Pairs{};
}

void ScnCommonDialogTest::convertsFilters() {
    QFETCH(QString, filter);
    QFETCH(Pairs, pairs);
    QCOMPARE(Scn_Common_Dialog::filterPairs(filter), pairs);
}

void ScnCommonDialogTest::showsDialogAndKeepsChoice() {
    ScriptedFileDialog files;
    const QString longPath = "/games/" + QString(300, u'd') + "/unnamed_1964.bin";
    files.answers = {"/games/data/unnamed_1964.bin", longPath, "/games/with blank .bin "};
    Scn_Common_Dialog dialog(files);
    QCOMPARE(dialog.TitleName(), QString());

    QCOMPARE(dialog.OpenFileName(nullptr, "unnamed_1964.bin", "/opt/Ed/", "A|*.a|B|*.b"),
             QString("/games/data/unnamed_1964.bin"));
    QCOMPARE(files.lastTitle, QString("unnamed_1964.bin"));
    QCOMPARE(files.lastStartFolder, QString("/opt/Ed/"));
    QCOMPARE(files.lastFilters, (Pairs{{"A", "*.a"}, {"B", "*.b"}}));
    QCOMPARE(dialog.Selected_Path(), QString("/games/data/unnamed_1964.bin"));
    QCOMPARE(dialog.TitleName(), QString("unnamed_1964.bin"));

    // No buffer limit: a long path comes back whole.
    QCOMPARE(dialog.OpenFileName(nullptr, "t", "/", "A|*"), longPath);
    QCOMPARE(dialog.TitleName(), QString("unnamed_1964.bin"));

    // Blanks are part of the name, not trimmed away.
    QCOMPARE(dialog.OpenFileName(nullptr, "t", "/", "A|*"), QString("/games/with blank .bin "));
    QCOMPARE(dialog.TitleName(), QString("with blank .bin "));
}

void ScnCommonDialogTest::cancelKeepsPreviousChoice() {
    ScriptedFileDialog files;
    files.answers = {"", "/games/unnamed_1815.bin", ""};
    Scn_Common_Dialog dialog(files);
    QCOMPARE(dialog.OpenFileName(nullptr, "t", "/", "A|*"), QString("-1"));
    QCOMPARE(dialog.Selected_Path(), QString());
    QCOMPARE(dialog.TitleName(), QString());
    QCOMPARE(dialog.OpenFileName(nullptr, "t", "/", "A|*"), QString("/games/unnamed_1815.bin"));
    QCOMPARE(dialog.OpenFileName(nullptr, "t", "/", "A|*"), QString("-1"));
    QCOMPARE(dialog.Selected_Path(), QString("/games/unnamed_1815.bin"));
    QCOMPARE(dialog.TitleName(), QString("unnamed_1815.bin"));
    QCOMPARE(files.calls, 3);
}

void ScnCommonDialogTest::titleName_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << "/games/data/unnamed_1964.bin"
                           << "unnamed_1964.bin";
    QTest::newRow("ends in separator") << "/games/data/"
                                       << "";
#ifdef Q_OS_WIN
    QTest::newRow("backslash separates") << R"(C:\games\a\b.bin)"
                                         << "b.bin";
    QTest::newRow("both separators") << R"(C:\games/a\b.bin)"
                                     << "b.bin";
#else
    QTest::newRow("backslash is part of a name here") << R"(/games/a\b.bin)"
                                                      << R"(a\b.bin)";
#endif
    QTest::newRow("cut before NUL") << QString("/games/ab.bin") + QChar(0) + "junk"
                                    << "ab.bin";
    QTest::newRow("non-ASCII") << "/gry/piłka żółta.bin"
                               << "piłka żółta.bin";
    QTest::newRow("leading dash") << "/games/-d"
                                  << "-d";
}

void ScnCommonDialogTest::titleName() {
    QFETCH(QString, chosen);
    QFETCH(QString, title);
    ScriptedFileDialog files;
    files.answers = {chosen};
    Scn_Common_Dialog dialog(files);
    dialog.OpenFileName(nullptr, "t", "/", "A|*");
    QCOMPARE(dialog.TitleName(), title);
}

QTEST_GUILESS_MAIN(ScnCommonDialogTest)
#include "scn_common_dialog_test.moc"
