#include "ball_table/Baza.h"
#include "common/ProgramFile.h"
#include "pipeline/compression/ZlibStream.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString sourceDir() {
    return qEnvironmentVariable("VESTREL_SOURCE_DIR");
}
QString buildDir() {
    return qEnvironmentVariable("VESTREL_BUILD_DIR");
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int runProgram(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(60000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

// The committed sample game file opens the way the editor opens it and is
// exactly what its readable source makes.
class SampleFileTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void opensLikeAGameFile() {
        const QString copy = m_dir.filePath("unnamed_1964.bin");
        QVERIFY(QFile::copy(sourceDir() + "/samples/unnamed_1964.bin", copy));
        QCOMPARE(runProgram(programFile(buildDir() + "/zlib/zlibtool"), {copy, "-d"}), 0);

        Baza baza;
        QVERIFY(baza.Wczytaj(copy + ".unzlib"));
        QCOMPARE(baza.Count(), 40);
        const QSet<int> producers{1, 2, 3, 4, 5, 261};
        const QSet<int> modes{1, 3, 16, 96, 128, 256, 268, 512, 1024};
        QSet<int> ids;
        for (int i = 0; i < baza.Count(); ++i) {
            QVERIFY(!baza.Get_Nazwa(i).isEmpty());
            QVERIFY(producers.contains(baza.Get_Mode(i)));
            QVERIFY(modes.contains(baza.Get_Mode2(i)));
            ids.insert(baza.Get_ID(i));
        }
        QCOMPARE(ids.size(), 40);
        QCOMPARE(baza.Get_Nazwa(10), QStringLiteral("Złota Piłka Edition"));

        // Saved unchanged and compressed again, it holds the same table.
        QVERIFY(baza.Zapisz(QString()));
        QCOMPARE(runProgram(programFile(buildDir() + "/zlib/zlibtool"), {copy + ".unzlib"}), 0);
        QVERIFY(QFile::exists(copy + ".unzlib.zlib"));
    }

    void isMadeFromItsSource() {
        const QString bin = m_dir.filePath("fresh.bin");
        const QString table = m_dir.filePath("fresh.unzlib");
        QCOMPARE(runProgram(programFile(buildDir() + "/tools/make_sample_balls"),
                            {sourceDir() + "/samples/balls.csv", bin, table}),
                 0);
        // Compare what the streams hold: another zlib may pack them differently.
        const QByteArray committed = readFile(sourceDir() + "/samples/unnamed_1964.bin");
        const auto* raw = reinterpret_cast<const unsigned char*>(committed.constData());
        const compression::Result unpacked =
            compression::decompress(std::span(raw, std::size_t(committed.size())));
        QVERIFY(unpacked.ok());
        QCOMPARE(
            QByteArray(reinterpret_cast<const char*>(unpacked.data.data()), qsizetype(unpacked.data.size())),
            readFile(table));
        QCOMPARE(readFile(table).size(), 32 + 40 * 72);
    }
};

QTEST_GUILESS_MAIN(SampleFileTest)
#include "sample_file_test.moc"
