#include "ball_table/Baza.h"

#include "common/BallFileBytes.h"

#include <QTemporaryDir>
#include <QTest>

using namespace BallFileBytes;

// Changing a ball and adding one under the identifier the user typed.
class BazaEditTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_typed;

    QString twoBallFile() {
        const QString path = m_dir.filePath("two.unzlib");
        writeFile(path, header(144) + record("Uhlsport", 7, 3, 96, 42) + record("Select", 8, 4, 128, 43));
        return path;
    }

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void changeClampsAndKeepsPole() {
        Baza baza;
        QVERIFY(baza.Wczytaj(twoBallFile()));
        QVERIFY(baza.Zmien_Dane(-1, 100, QStringLiteral("First"), 1, 3));
        QCOMPARE(baza.Get_ID(0), std::int16_t(100));
        QCOMPARE(baza.Get_Nazwa(0), QStringLiteral("First"));
        QCOMPARE(baza.Get_Mode(0), std::int16_t(1));
        QCOMPARE(baza.Get_Mode2(0), std::int16_t(3));
        QCOMPARE(baza.Get_Pole(0), std::int16_t(42));
        QVERIFY(baza.Zmien_Dane(baza.Count() + 5, -32768, QString(70, u'n'), 32767, -1));
        // The name reads back as the file holds it: 63 bytes and its NUL.
        QCOMPARE(baza.Get_Nazwa(1), QString(63, u'n'));
        QCOMPARE(baza.Get_ID(1), std::int16_t(-32768));
        QCOMPARE(baza.Get_Mode(1), std::int16_t(32767));
        QCOMPARE(baza.Get_Pole(1), std::int16_t(43));
        QCOMPARE(baza.Count(), 2);
    }

    void aNameEndsAtANulCharacter() {
        Baza baza;
        QVERIFY(baza.Wczytaj(twoBallFile()));
        QVERIFY(baza.Zmien_Dane(0, 1, QStringLiteral("ab") + QChar(u'\0') + QStringLiteral("cd"), 1, 1));
        QCOMPARE(baza.Get_Nazwa(0), QStringLiteral("ab"));
    }

    void editsNeedATable() {
        Baza baza([] { return QStringLiteral("5"); });
        QVERIFY(!baza.Zmien_Dane(0, 1, QStringLiteral("x"), 1, 1));
        QCOMPARE(baza.Dodaj_Nowy(), std::int16_t(0));
        QCOMPARE(baza.Count(), 0);
        QVERIFY(baza.Wczytaj(twoBallFile()));
        baza.Clear();
        QVERIFY(!baza.Zmien_Dane(0, 1, QStringLiteral("x"), 1, 1));
        QCOMPARE(baza.Dodaj_Nowy(), std::int16_t(0));
        QCOMPARE(baza.Count(), 0);
    }

    void addReadsTheTypedIdentifier_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("id"); // 0: nothing added
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("15000") << "15000" << 15000;
        QTest::newRow("15001") << "15001" << 0;
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("-3") << "-3" << 0;
        QTest::newRow("100000") << "100000" << 0;
        QTest::newRow("1e12") << "1e12" << 0;
        QTest::newRow("2.5: 1.5 rounds to 2") << "2.5" << 3;
        QTest::newRow("3.5: 2.5 rounds to 2") << "3.5" << 3;
        QTest::newRow("0.5: -0.5 rounds to 0") << "0.5" << 1;
        QTest::newRow("0.4: -0.6 rounds to -1") << "0.4" << 0;
        QTest::newRow("15000.5: 14999.5 rounds to 15000") << "15000.5" << 0;
        QTest::newRow("15001.5: 15000.5 rounds to 15000") << "15001.5" << 0;
        QTest::newRow("14999.5: 14998.5 rounds to 14998") << "14999.5" << 14999;
        QTest::newRow("blanks") << "  12 " << 12;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("text") << "twelve" << 0;
        QTest::newRow("trailing junk") << "12b" << 0;
    }
    void addReadsTheTypedIdentifier() {
        QFETCH(QString, typed);
        QFETCH(int, id);
        m_typed = typed;
        Baza baza([this] { return m_typed; });
        QVERIFY(baza.Wczytaj(twoBallFile()));
        QCOMPARE(int(baza.Dodaj_Nowy()), id);
        QCOMPARE(baza.Count(), id > 0 ? 3 : 2);
        if (id > 0) {
            QCOMPARE(int(baza.Get_ID(2)), id);
            QCOMPARE(baza.Get_Nazwa(2), QString());
            QCOMPARE(baza.Get_Mode(2), std::int16_t(0));
            QCOMPARE(baza.Get_Mode2(2), std::int16_t(0));
            QCOMPARE(baza.Get_Pole(2), std::int16_t(0));
        }
    }

    void addUsesTheUsersDecimalSeparator() {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        Baza baza([] { return QStringLiteral("2,5"); });
        QVERIFY(baza.Wczytaj(twoBallFile()));
        QCOMPARE(baza.Dodaj_Nowy(), std::int16_t(3));
        QLocale::setDefault(QLocale::c());
    }

    void addWithoutATextSourceAddsNothing() {
        Baza baza;
        QVERIFY(baza.Wczytaj(twoBallFile()));
        QCOMPARE(baza.Dodaj_Nowy(), std::int16_t(0));
        baza.setNewIdTextSource([] { return QStringLiteral("9"); });
        QCOMPARE(baza.Dodaj_Nowy(), std::int16_t(9));
    }

    void addedBallsAreSaved() {
        Baza baza([] { return QStringLiteral("7"); });
        const QString path = twoBallFile();
        QVERIFY(baza.Wczytaj(path));
        QCOMPARE(baza.Dodaj_Nowy(), std::int16_t(7)); // already used: added again
        QCOMPARE(baza.Count(), 3);
        QCOMPARE(baza.Get_ID(0), std::int16_t(7));
        QCOMPARE(baza.Get_ID(2), std::int16_t(7));
        QVERIFY(baza.Zmien_Dane(2, 7, QStringLiteral("New"), 5, 1));
        QVERIFY(baza.Zapisz(QString()));
        QCOMPARE(readFile(path), header(216) + record("Uhlsport", 7, 3, 96, 42) +
                                     record("Select", 8, 4, 128, 43) + record("New", 7, 5, 1, 0));
    }
};

QTEST_GUILESS_MAIN(BazaEditTest)
#include "baza_edit_test.moc"
