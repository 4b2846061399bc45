#include "ball_table/Baza.h"

#include "common/BallFileBytes.h"

#include <QTemporaryDir>
#include <QTest>

using namespace BallFileBytes;

// Loading the decompressed ball file: the header checks, the record count,
// names and what a failed load leaves behind.
class BazaLoadTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QByteArray& bytes, const QString& name = QStringLiteral("balls.unzlib")) {
        const QString path = m_dir.filePath(name);
        if (!writeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    static QByteArray twoBalls() {
        return header(144) + record("Adidas Fevernova", 1, 2, 3, 4) +
               record("Nike Total 90", -7, 261, 1024, -1);
    }

private slots:
    void loadsTwoRecords() {
        Baza baza;
        QVERIFY(baza.Wczytaj(file(twoBalls())));
        QVERIFY(baza.Loaded());
        QCOMPARE(baza.Count(), 2);
        QCOMPARE(baza.Get_Nazwa(0), QStringLiteral("Adidas Fevernova"));
        QCOMPARE(baza.Get_ID(0), std::int16_t(1));
        QCOMPARE(baza.Get_Mode(0), std::int16_t(2));
        QCOMPARE(baza.Get_Mode2(0), std::int16_t(3));
        QCOMPARE(baza.Get_Pole(0), std::int16_t(4));
        QCOMPARE(baza.Get_Nazwa(1), QStringLiteral("Nike Total 90"));
        QCOMPARE(baza.Get_ID(1), std::int16_t(-7));
        QCOMPARE(baza.Get_Mode(1), std::int16_t(261));
        QCOMPARE(baza.Get_Mode2(1), std::int16_t(1024));
        QCOMPARE(baza.Get_Pole(1), std::int16_t(-1));
    }

    void queriesClampTheirIndex() {
        Baza baza;
        QCOMPARE(baza.Get_ID(0), std::int16_t(0));
        QCOMPARE(baza.Get_Nazwa(-5), QString());
        QVERIFY(baza.Wczytaj(file(twoBalls())));
        QCOMPARE(baza.Get_ID(-5), std::int16_t(1));
        QCOMPARE(baza.Get_ID(baza.Count() + 10), std::int16_t(-7));
        QCOMPARE(baza.Get_Nazwa(INT32_MIN), QStringLiteral("Adidas Fevernova"));
        QCOMPARE(baza.Get_Pole(INT32_MAX), std::int16_t(-1));
    }

    void recordCountRoundsHalfToEven_data() {
        QTest::addColumn<int>("dataSize");
        QTest::addColumn<int>("records"); // 0: the load fails
        QTest::newRow("exact 144") << 144 << 2;
        QTest::newRow("108 is 1.5, rounds to 2") << 108 << 2;
        QTest::newRow("180 is 2.5, rounds to 2") << 180 << 2;
        QTest::newRow("100 rounds to 1") << 100 << 1;
        QTest::newRow("36 is 0.5, rounds to 0") << 36 << 0;
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("negative") << -72 << 0;
        QTest::newRow("INT32_MIN") << INT32_MIN << 0;
    }
    void recordCountRoundsHalfToEven() {
        QFETCH(int, dataSize);
        QFETCH(int, records);
        QByteArray bytes = header(dataSize);
        for (int i = 0; i < 3; ++i)
            bytes += record("Ball " + QByteArray::number(i), std::int16_t(i + 1), 1, 1, 0);
        Baza baza;
        QCOMPARE(baza.Wczytaj(file(bytes)), records > 0);
        QCOMPARE(baza.Count(), records);
        QVERIFY(baza.Loaded());
    }

    void headerFieldsAreCheckedExactly_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("loads");
        QTest::newRow("good") << header(72) << true;
        QTest::newRow("Sig_D as F0 FF FF FF") << header(72, 1, 8, 32, std::int32_t(0xFFFFFFF0u)) << true;
        QTest::newRow("Sig_D as F0 FF 00 00") << header(72, 1, 8, 32, 0x0000FFF0) << false;
        QTest::newRow("Sig_A") << header(72, 2) << false;
        QTest::newRow("Sig_B") << header(72, 1, 9) << false;
        QTest::newRow("Sig_C") << header(72, 1, 8, 33) << false;
        QTest::newRow("Reserved_1") << header(72, 1, 8, 32, -16, 1) << false;
        QTest::newRow("Reserved_2") << header(72, 1, 8, 32, -16, 0, -1) << false;
        QTest::newRow("Reserved_3") << header(72, 1, 8, 32, -16, 0, 0, 0x01000000) << false;
        QTest::newRow("big-endian Sig_A") << header(72, 0x01000000) << false;
    }
    void headerFieldsAreCheckedExactly() {
        QFETCH(QByteArray, head);
        QFETCH(bool, loads);
        Baza baza;
        QCOMPARE(baza.Wczytaj(file(head + record("Mitre", 5, 1, 1, 0))), loads);
        QCOMPARE(baza.Count(), loads ? 1 : 0);
        QVERIFY(baza.Loaded());
    }

    void nameFields() {
        QByteArray leftover("Select");
        leftover += '\0';
        leftover += "leftover of an older name";
        const QByteArray longest(63, 'x');
        Baza baza;
        QVERIFY(baza.Wczytaj(file(header(288) + record(leftover, 1, 1, 1, 1) + record("", 2, 0, 0, 0) +
                                  record(longest, 3, 0, 0, 0) +
                                  record("Pi\xB3ka \xA3\xF3\x64\x9F \x81", 4, 1, 1, 1))));
        QCOMPARE(baza.Get_Nazwa(0), QStringLiteral("Select")); // ends at the first NUL
        QCOMPARE(baza.Get_Nazwa(1), QString());
        QCOMPARE(baza.Get_Nazwa(2), QString::fromLatin1(longest));
        QCOMPARE(baza.Get_Nazwa(3), QStringLiteral("Piłka Łódź \u0081")); // Windows-1250; 0x81 is a hole
    }

    // Every load that finds its file but fails keeps nothing of any table,
    // so nothing partial can be saved; the file itself is left alone.
    void failedLoadsLeaveAnEmptyTable_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("31 header bytes") << header(72).left(31);
        QTest::newRow("header only") << header(72);
        QTest::newRow("one byte of the record missing") << (header(72) + record("A", 1, 1, 1, 1)).chopped(1);
        QTest::newRow("second record missing") << header(144) + record("A", 1, 1, 1, 1);
        QTest::newRow("Data_Size claims 2 GB") << header(INT32_MAX) + record("A", 1, 1, 1, 1);
        QTest::newRow("bad Sig_C") << header(72, 1, 8, 31) + record("X", 1, 1, 1, 1);
        QTest::newRow("second name without NUL")
            << header(144) + record("Fine", 1, 1, 1, 1) + record(QByteArray(64, 'N'), 2, 2, 2, 2);
    }
    void failedLoadsLeaveAnEmptyTable() {
        QFETCH(QByteArray, bytes);
        Baza baza;
        QVERIFY(baza.Wczytaj(file(twoBalls(), "good.unzlib")));
        const QString bad = file(bytes, "bad.unzlib");
        QVERIFY(!baza.Wczytaj(bad));
        QCOMPARE(baza.Count(), 0);
        QVERIFY(baza.Loaded());
        QCOMPARE(baza.Get_Nazwa(0), QString());
        QCOMPARE(baza.Get_ID(0), std::int16_t(0));
        QVERIFY(!baza.Zapisz(QString()));
        QVERIFY(!baza.Zapisz(m_dir.filePath("out.unzlib")));
        QVERIFY(!QFile::exists(m_dir.filePath("out.unzlib")));
        QCOMPARE(readFile(bad), bytes);
    }

    void bytesAfterTheLastRecordAreIgnored() {
        Baza baza;
        QVERIFY(baza.Wczytaj(
            file(header(72) + record("One", 1, 1, 1, 1) + record("Extra", 2, 2, 2, 2) + "junk")));
        QCOMPARE(baza.Count(), 1);
        QCOMPARE(baza.Get_Nazwa(5), QStringLiteral("One"));
    }

    void missingFileKeepsTheTableButMovesPath() {
        Baza baza;
        const QString good = file(twoBalls());
        QVERIFY(baza.Wczytaj(good));
        const QString missing = m_dir.filePath("missing.unzlib");
        QVERIFY(!baza.Wczytaj(missing));
        QCOMPARE(baza.Path(), missing);
        QCOMPARE(baza.Count(), 2);
        QCOMPARE(baza.Get_Nazwa(1), QStringLiteral("Nike Total 90"));

        Baza fresh;
        QVERIFY(!fresh.Wczytaj(missing));
        QVERIFY(!fresh.Loaded());
        QCOMPARE(fresh.Path(), missing);
    }

    void emptyPathReloadsFromPath() {
        Baza baza;
        QVERIFY(!baza.Wczytaj(QString()));
        QVERIFY(!baza.Loaded());
        const QString path = file(twoBalls());
        baza.setPath(path);
        QCOMPARE(baza.Count(), 0);
        QVERIFY(baza.Wczytaj(QString()));
        QCOMPARE(baza.Count(), 2);
        QCOMPARE(baza.Path(), path);
    }

    void aDirectoryExistsButDoesNotLoad() {
        QVERIFY(Baza::File_Exists(m_dir.path()));
        QVERIFY(!Baza::File_Exists(QString()));
        QVERIFY(!Baza::File_Exists(m_dir.filePath("nothing here")));
        Baza baza;
        QVERIFY(baza.Wczytaj(file(twoBalls())));
        QVERIFY(!baza.Wczytaj(m_dir.path()));
        QVERIFY(baza.Loaded());
        QCOMPARE(baza.Count(), 0);
    }

    void clearEmptiesButKeepsPathAndLoaded() {
        Baza baza;
        const QString path = file(twoBalls());
        QVERIFY(baza.Wczytaj(path));
        baza.Clear();
        QCOMPARE(baza.Count(), 0);
        QVERIFY(baza.Loaded());
        QCOMPARE(baza.Path(), path);
        QVERIFY(!baza.Zapisz(QString()));
        QCOMPARE(readFile(path), twoBalls());
    }
};

QTEST_GUILESS_MAIN(BazaLoadTest)
#include "baza_load_test.moc"
