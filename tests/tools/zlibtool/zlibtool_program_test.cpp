#include "common/ProgramFile.h"
#include "tools/zlibtool/ToolRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

QString toolPath() {
    return programFile(qEnvironmentVariable("VESTREL_BUILD_DIR") + QStringLiteral("/zlib/zlibtool"));
}

struct Run {
    int exitCode = -1;
    QByteArray err;
};

// `fileSizeLimit` > 0 runs the tool as on a nearly full disk, where the
// system can limit a process's file sizes (Windows cannot).
constexpr bool canLimitFileSize =
#ifdef Q_OS_WIN
    false;
#else
    true;
#endif

Run runTool(const QStringList& args, [[maybe_unused]] long fileSizeLimit = 0) {
    QProcess process;
#ifndef Q_OS_WIN
    if (fileSizeLimit > 0) {
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = fileSizeLimit;
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
#endif
    process.start(toolPath(), args);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError()};
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray zlibCompressed(const QByteArray& data) {
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
             uLong(data.size()));
    out.resize(qsizetype(size));
    return out;
}

QByteArray sampleData() {
    QByteArray data;
    for (int i = 0; i < 3000; ++i)
        data += "ball " + QByteArray::number(i * 7919 % 1000) + ';';
    return data;
}

} // namespace

// The built program as the editor runs it: its two command lines, its exit
// codes and the result files it leaves, or does not leave.
class ZlibtoolProgramTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Everything in the folder except the named files: no partial leftovers.
    QStringList strayFiles(const QStringList& expected) {
        QStringList files = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString& e : expected)
            files.removeAll(e);
        return files;
    }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(toolPath()), qPrintable(toolPath())); }
    void init() {
        for (const QString& f : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(m_dir.filePath(f));
    }

    void compressesAndDecompresses() {
        const QString path = m_dir.filePath("unnamed 1964 Łódź.bin");
        writeFile(path, sampleData());
        Run r = runTool({path});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.isEmpty());
        const QByteArray packed = readFile(path + ".zlib");
        QVERIFY(packed.size() < sampleData().size());
        r = runTool({path + ".zlib", "-d"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(path + ".zlib.unzlib"), sampleData());
        QCOMPARE(strayFiles({"unnamed 1964 Łódź.bin", "unnamed 1964 Łódź.bin.zlib",
                             "unnamed 1964 Łódź.bin.zlib.unzlib"}),
                 QStringList());
    }

    void decompressesWhatZlibWrote() {
        const QString path = m_dir.filePath("unnamed_1815.bin");
        writeFile(path, zlibCompressed(sampleData()));
        QCOMPARE(runTool({path, "-d"}).exitCode, 0);
        QCOMPARE(readFile(path + ".unzlib"), sampleData());
    }

    void replacesAnOlderResult() {
        const QString path = m_dir.filePath("game.bin");
        writeFile(path, zlibCompressed("new"));
        writeFile(path + ".unzlib", QByteArray(100000, 'o'));
        QCOMPARE(runTool({path, "-d"}).exitCode, 0);
        QCOMPARE(readFile(path + ".unzlib"), QByteArray("new"));
    }

    void badInputLeavesNoResult_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = zlibCompressed(sampleData());
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not compressed") << sampleData();
        QTest::newRow("cut short") << good.chopped(10);
        QTest::newRow("one byte missing") << good.chopped(1);
        QTest::newRow("trailing garbage") << good + "garbage";
        QByteArray damaged = good;
        damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0xFF);
        QTest::newRow("damaged") << damaged;
        QTest::newRow("over 64 MiB") << zlibCompressed(QByteArray(65 << 20, 'z'));
    }
    void badInputLeavesNoResult() {
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath("bad.bin");
        writeFile(path, bytes);
        // An older result must not survive to look like this run's.
        writeFile(path + ".unzlib", "stale");
        const Run r = runTool({path, "-d"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.startsWith("zlibtool: "));
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY(r.err.endsWith('\n'));
        QVERIFY(!QFile::exists(path + ".unzlib"));
        QCOMPARE(strayFiles({"bad.bin"}), QStringList());
    }

    void aFullDiskLeavesNoResult() {
        if (!canLimitFileSize)
            QSKIP("the system cannot limit the size of a process's files");
        const QString path = m_dir.filePath("full.bin");
        writeFile(path, zlibCompressed(sampleData()));
        writeFile(path + ".unzlib", "stale");
        const Run r = runTool({path, "-d"}, 4096);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("cannot write"));
        QVERIFY(!QFile::exists(path + ".unzlib"));
        QCOMPARE(strayFiles({"full.bin"}), QStringList());
    }

    void missingInputFails() {
        const QString path = m_dir.filePath("missing.bin");
        for (const QStringList& args : {QStringList{path, "-d"}, QStringList{path}}) {
            const Run r = runTool(args);
            QCOMPARE(r.exitCode, 1);
            QVERIFY(r.err.contains("missing.bin"));
        }
        QCOMPARE(strayFiles({}), QStringList());
        QCOMPARE(runTool({m_dir.path(), "-d"}).exitCode, 1); // a folder is no input
    }

    void aResultThatCannotBeWrittenFails() {
        const QString path = m_dir.filePath("x.bin");
        writeFile(path, "plain");
        QVERIFY(QDir(m_dir.path()).mkdir("x.bin.zlib"));
        const Run r = runTool({path});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(QFileInfo(path + ".zlib").isDir()); // left alone
        QCOMPARE(strayFiles({"x.bin"}), QStringList());
        QVERIFY(QDir(m_dir.path()).rmdir("x.bin.zlib"));
    }

    void wrongArgumentsPrintUsage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("none") << QStringList();
        QTest::newRow("only -d") << QStringList{"-d"};
        QTest::newRow("unknown option") << QStringList{"file", "-x"};
        QTest::newRow("option first") << QStringList{"-d", "file"};
        QTest::newRow("too many") << QStringList{"file", "-d", "more"};
        QTest::newRow("empty path") << QStringList{""};
    }
    void wrongArgumentsPrintUsage() {
        QFETCH(QStringList, args);
        const Run r = runTool(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.startsWith("usage: zlibtool"));
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(strayFiles({}), QStringList());
    }
};

QTEST_GUILESS_MAIN(ZlibtoolProgramTest)
#include "zlibtool_program_test.moc"
