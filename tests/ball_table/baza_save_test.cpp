#include "ball_table/BallFile.h"
#include "ball_table/Baza.h"

#include "common/BallFileBytes.h"
#include "common/FailDevice.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

using namespace BallFileBytes;

namespace {

// Limits the size of any file this process writes, as a nearly full disk
// would; restores the previous limit when it goes. Windows has no such limit.
#ifdef Q_OS_WIN
class FileSizeLimit {
public:
    explicit FileSizeLimit(long) {}
    bool active() const { return false; }
};
#else
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN); // a failing write, not a killed process
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_previous); }
    bool active() const { return m_active; }

private:
    rlimit m_previous{};
    bool m_active = false;
};
#endif

QByteArray manyBalls(int count) {
    QByteArray bytes = header(count * 72);
    for (int i = 0; i < count; ++i)
        bytes += record("Ball " + QByteArray::number(i), std::int16_t(i + 1), 5, 1, std::int16_t(i));
    return bytes;
}

} // namespace

// Writing the table back: the exact bytes, the name field, and a failed
// write never costing the previous file.
class BazaSaveTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QByteArray& bytes, const QString& name) {
        const QString path = m_dir.filePath(name);
        if (!writeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void unchangedTableSavesByteForByte() {
        const QByteArray bytes = header(144) + record("Adidas Teamgeist", 10, 1, 16, 3) +
                                 record("Pi\xB3ka \xA3\xF3\x64\x9F", 11, 261, 1024, -2);
        const QString in = file(bytes, "in.unzlib");
        Baza baza;
        QVERIFY(baza.Wczytaj(in));
        const QString out = m_dir.filePath("out.unzlib");
        QVERIFY(baza.Zapisz(out));
        QCOMPARE(readFile(out), bytes);
        QCOMPARE(baza.Path(), in); // saving elsewhere does not move Path
    }

    void leftoversAfterTheNameAreCleared() {
        QByteArray field("Old");
        field += '\0';
        field += "er name text";
        const QString path = file(header(72) + record(field, 1, 2, 3, 4), "leftover.unzlib");
        Baza baza;
        QVERIFY(baza.Wczytaj(path));
        QVERIFY(baza.Zapisz(QString()));
        QCOMPARE(readFile(path), header(72) + record("Old", 1, 2, 3, 4));
    }

    void savingOverALongerFileLeavesExactlyTheTable() {
        // Data_Size 100 rounds to one record; the file holds three and a tail.
        const QString path =
            file(header(100) + record("A", 1, 1, 1, 1) + record("B", 2, 2, 2, 2) + QByteArray(500, 'z'),
                 "long.unzlib");
        Baza baza;
        QVERIFY(baza.Wczytaj(path));
        QCOMPARE(baza.Count(), 1);
        QVERIFY(baza.Zapisz(QString()));
        QCOMPARE(readFile(path), header(72) + record("A", 1, 1, 1, 1));
    }

    void namesAreCutAndEncoded() {
        const QString path =
            file(header(144) + record("a", 1, 1, 1, 1) + record("b", 2, 2, 2, 2), "names.unzlib");
        Baza baza;
        QVERIFY(baza.Wczytaj(path));
        const QString seventy = QString(60, u'x') + QStringLiteral("0123456789");
        QVERIFY(baza.Zmien_Dane(0, 1, seventy, 1, 1));
        QVERIFY(baza.Zmien_Dane(1, 2, QStringLiteral("Żółw \u4E2D"), 2, 2));
        QVERIFY(baza.Zapisz(QString()));
        const QByteArray saved = readFile(path);
        QCOMPARE(saved.size(), 32 + 2 * 72);
        // 63 bytes of the name and its ending NUL, so the file reloads.
        QCOMPARE(saved.mid(32, 64), QByteArray(60, 'x') + "012" + QByteArray(1, '\0'));
        QCOMPARE(saved.mid(32 + 72, 64), record("\xAF\xF3\xB3w ?", 0, 0, 0, 0).left(64));
        QVERIFY(baza.Wczytaj(QString()));
        QCOMPARE(baza.Get_Nazwa(0), QString(60, u'x') + QStringLiteral("012"));
        QCOMPARE(baza.Get_Nazwa(1), QStringLiteral("Żółw ?"));
    }

    // Names holding every byte value 0x01..0xFF, the code page's holes
    // included, come back byte for byte, whether or not they were edited.
    void everyNameByteSurvives_data() {
        QTest::addColumn<bool>("setAgain");
        QTest::newRow("unchanged") << false;
        QTest::newRow("each name set again from its own text") << true;
    }
    void everyNameByteSurvives() {
        QFETCH(bool, setAgain);
        QByteArray everyByte;
        for (int byte = 1; byte < 256; ++byte)
            everyByte += char(byte);
        QByteArray bytes = header(5 * 72);
        for (int i = 0; i < 5; ++i)
            bytes += record(everyByte.mid(i * 63, 63), std::int16_t(i), 1, 1, std::int16_t(-i));
        const QString path = file(bytes, "every_byte.unzlib");
        Baza baza;
        QVERIFY(baza.Wczytaj(path));
        QString names;
        for (int i = 0; i < 5; ++i) {
            names += baza.Get_Nazwa(i);
            if (setAgain)
                QVERIFY(baza.Zmien_Dane(i, baza.Get_ID(i), baza.Get_Nazwa(i), 1, 1));
        }
        QCOMPARE(names.size(), 255);
        QVERIFY(!names.contains(QChar(0xFFFD)));
        QVERIFY(baza.Zapisz(QString()));
        QCOMPARE(readFile(path), bytes);
    }

    void anEditedNameReadsBackAsItIsSaved() {
        Baza baza;
        QVERIFY(baza.Wczytaj(file(header(72) + record("a", 1, 1, 1, 1), "typed.unzlib")));
        QVERIFY(baza.Zmien_Dane(0, 1, QStringLiteral("Ball \u4E2D\U0001F600"), 1, 1));
        // What the table shows is what the file gets, never a name it cannot hold.
        QCOMPARE(baza.Get_Nazwa(0), QStringLiteral("Ball ??"));
        QVERIFY(baza.Zapisz(QString()));
        QVERIFY(baza.Wczytaj(QString()));
        QCOMPARE(baza.Get_Nazwa(0), QStringLiteral("Ball ??"));
    }

    void dataSizeFollowsTheCount() {
        QCOMPARE(BallFile::dataSizeFor(0), std::optional<std::int32_t>(0));
        QCOMPARE(BallFile::dataSizeFor(32767), std::optional<std::int32_t>(32767 * 72));
        QCOMPARE(BallFile::dataSizeFor(29826161), std::optional<std::int32_t>(2147483592));
        QVERIFY(!BallFile::dataSizeFor(29826162)); // 72 × that passes 2^31 − 1
        QVERIFY(!BallFile::dataSizeFor(-1));
    }

    void shortWritesAreFailures() {
        QVector<Ball> balls(3);
        balls[0].Nazwa = QStringLiteral("Derbystar");
        const std::optional<QByteArray> bytes = BallFile::encode(balls);
        QVERIFY(bytes);
        const qint64 full = 32 + 3 * 72;
        QCOMPARE(bytes->size(), full);
        for (qint64 capacity : {qint64(0), qint64(31), qint64(32), full - 1}) {
            FailDevice device(capacity);
            QVERIFY2(!BallFile::writeAll(device, *bytes), qPrintable(QString::number(capacity)));
        }
        FailDevice roomy(full);
        QVERIFY(BallFile::writeAll(roomy, *bytes));
        QCOMPARE(roomy.written(), *bytes);
    }

    void aFullDiskLeavesThePreviousFileIntact_data() {
        QTest::addColumn<int>("records");
        QTest::newRow("fails when flushed") << 100;   // stays in Qt's write buffer
        QTest::newRow("fails while written") << 2000; // bypasses the buffer
    }
    void aFullDiskLeavesThePreviousFileIntact() {
        QFETCH(int, records);
        QTemporaryDir dir;
        const QString source = dir.filePath("big.unzlib");
        QVERIFY(writeFile(source, manyBalls(records)));
        const QByteArray previous = header(144) + record("Keep", 1, 1, 1, 1) + record("Me", 2, 2, 2, 2);
        const QString target = dir.filePath("target.unzlib");
        QVERIFY(writeFile(target, previous));

        Baza baza;
        QVERIFY(baza.Wczytaj(source));
        {
            FileSizeLimit limit(4096);
            if (!limit.active())
                QSKIP("cannot limit the file size here");
            QVERIFY(!baza.Zapisz(target));
            QCOMPARE(baza.saveError(), QStringLiteral("File too large")); // the system's own reason
            QVERIFY(!baza.Zapisz(QString()));                             // over the loaded file itself
        }
        QCOMPARE(readFile(target), previous);
        QCOMPARE(readFile(source), manyBalls(records));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no leftovers
        QVERIFY(baza.Zapisz(target));
        QVERIFY(baza.saveError().isEmpty());
        QCOMPARE(readFile(target), manyBalls(records));
    }

    void aTargetThatCannotBeCreatedFails() {
        Baza baza;
        QVERIFY(!baza.Zapisz(m_dir.filePath("never.unzlib"))); // nothing loaded yet
        QVERIFY(!QFile::exists(m_dir.filePath("never.unzlib")));
        QVERIFY(baza.Wczytaj(file(manyBalls(1), "one.unzlib")));
        QVERIFY(!baza.Zapisz(m_dir.filePath("no/such/folder/x.unzlib")));
        QVERIFY(!baza.Zapisz(m_dir.path())); // a directory is no file
        QVERIFY(QFileInfo(m_dir.path()).isDir());
    }
};

QTEST_GUILESS_MAIN(BazaSaveTest)
#include "baza_save_test.moc"
