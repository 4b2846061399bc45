#include "tools/zlibtool/ToolRun.h"

#include "common/FailingFileCalls.h"
#include "common/ProgramFile.h"
#include "pipeline/compression/ZlibStream.h"
#include "pipeline/storage/FileCalls.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

#include <QScopeGuard>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sstream>
#include <tuple>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString toolPath() {
    return programFile(qEnvironmentVariable("VESTREL_BUILD_DIR") + QStringLiteral("/zlib/zlibtool"));
}

struct Run {
    int exitCode = -1;
    QByteArray err;
};

// `fileSizeLimit` > 0 runs the tool under a file-size limit, as `ulimit -f`
// does; the tool must survive the signal such a limit sends.
Run runTool(const QStringList& args, qint64 fileSizeLimit = 0) {
    QProcess process;
#ifdef Q_OS_WIN
    Q_UNUSED(fileSizeLimit)
#else
    if (fileSizeLimit > 0) {
        process.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(fileSizeLimit);
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

    // The first write is cut short at the limit, the next one fails.
    void aFileSizeLimitLeavesNoResult() {
#ifdef Q_OS_WIN
        QSKIP("Windows has no per-process file-size limit");
#endif
        const QString path = m_dir.filePath("full.bin");
        writeFile(path, zlibCompressed(sampleData()));
        writeFile(path + ".unzlib", "stale");
        const Run r = runTool({path, "-d"}, 4096);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("cannot write " + path.toUtf8() +
                                ".unzlib: the new file could not be written: File too large"),
                 r.err);
        QVERIFY(!QFile::exists(path + ".unzlib"));
        QCOMPARE(strayFiles({"full.bin"}), QStringList());
    }

    void inputsThatAreNoFileAreRefused_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("folder") << QStringLiteral("folder") << QByteArray("it is a folder, not a file");
#ifndef Q_OS_WIN // named pipes and devices have no place in Windows' folders
        QTest::newRow("fifo") << QStringLiteral("pipe") << QByteArray("it is a named pipe (FIFO)");
        QTest::newRow("device") << QStringLiteral("/dev/zero") << QByteArray("it is a device");
#endif
        // The system's own words, which differ between systems.
        QTest::newRow("missing") << QStringLiteral("missing")
                                 << QByteArray::fromStdString(storage::errorText(storage::errorNotFound()));
        QTest::newRow("over the bound") << QStringLiteral("huge") << QByteArray("more than the 80 MiB");
    }
    void inputsThatAreNoFileAreRefused() {
        QFETCH(QString, input);
        QFETCH(QByteArray, reason);
        QDir(m_dir.path()).mkdir("folder");
#ifndef Q_OS_WIN
        QCOMPARE(mkfifo(QFile::encodeName(m_dir.filePath("pipe")).constData(), 0600), 0);
#endif
        const auto cleanUp = qScopeGuard([this] {
            QDir(m_dir.path()).rmdir("folder");
            QFile::remove(m_dir.filePath("pipe"));
        });
        // Sparse: 2 GiB that a reading tool would spend seconds on.
        QFile huge(m_dir.filePath("huge"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(2) << 30));
        huge.close();
        const QString path = input.startsWith('/') ? input : m_dir.filePath(input);
        for (const QStringList& args : {QStringList{path, "-d"}, QStringList{path}}) {
            const Run r = runTool(args);
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.startsWith("zlibtool: cannot ") && r.err.contains(path.toUtf8()), r.err);
            QVERIFY2(r.err.contains(reason), r.err);
            QCOMPARE(r.err.count('\n'), 1);
        }
        QCOMPARE(strayFiles({"pipe", "huge"}), QStringList());
    }

    // A name the file system takes for the result works, however little
    // room it leaves for anything longer: the last result's name is as
    // long as a name can be.
    void theLongestResultNameWorks() {
#ifdef Q_OS_WIN
        const long most = 255; // characters in one name, on every Windows file system
#else
        const long most = pathconf(QFile::encodeName(m_dir.path()).constData(), _PC_NAME_MAX);
#endif
        QVERIFY(most > 20);
        const QString name = QString(int(most) - 16, QChar('n')) + ".bin";
        const QString path = m_dir.filePath(name);
        writeFile(path, sampleData());
        QCOMPARE(runTool({path}).exitCode, 0);
        const Run r = runTool({path + ".zlib", "-d"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(path + ".zlib.unzlib"), sampleData());
        QCOMPARE(strayFiles({name, name + ".zlib", name + ".zlib.unzlib"}), QStringList());
    }

    // Only temporary files whose writer has ended are taken away.
    void staleTemporaryFilesAreRemoved() {
#ifdef Q_OS_WIN
        QSKIP("on Windows a writer's file is told by its being open, not by its process");
#endif
        QProcess ended;
        ended.start("true");
        QVERIFY(ended.waitForStarted());
        const QString dead = QString(".vt%1-0.tmp").arg(ended.processId());
        QVERIFY(ended.waitForFinished());
        const QString alive = QString(".vt%1-0.tmp").arg(QCoreApplication::applicationPid());
        const QStringList others = {".vt1-.tmp", alive, ".vtx-0.tmp", "note.tmp"};
        writeFile(m_dir.filePath(dead), "left");
        for (const QString& name : others)
            writeFile(m_dir.filePath(name), "left");
        const QString path = m_dir.filePath("game.bin");
        writeFile(path, sampleData());
        QCOMPARE(runTool({path}).exitCode, 0);
        QStringList left = strayFiles({"game.bin", "game.bin.zlib"});
        left.sort();
        QCOMPARE(left, others); // sorted
    }

    // A run killed at any moment leaves no file behind. On Windows, where a
    // file cannot be written unnamed, the next run takes away what a killed
    // one left.
    void killedRunsLeaveNothing() {
        const QString path = m_dir.filePath("big.bin");
        QByteArray big(64 << 20, '\0');
        quint32 x = 1964;
        for (char& c : big) {
            x = x * 1103515245u + 12345u;
            c = char(x >> 24 & 0x3F);
        }
        writeFile(path, big);
        for (const int afterMs : {5, 50, 200, 500, 1000}) {
            QProcess process;
            process.start(toolPath(), {path});
            QVERIFY(process.waitForStarted());
            QThread::msleep(afterMs);
            process.kill(); // SIGKILL, or TerminateProcess on Windows
            process.waitForFinished();
            QFile::remove(path + ".zlib"); // a run that finished first
#ifdef Q_OS_WIN
            writeFile(m_dir.filePath("small.bin"), sampleData());
            QCOMPARE(runTool({m_dir.filePath("small.bin")}).exitCode, 0);
            QFile::remove(m_dir.filePath("small.bin"));
            QFile::remove(m_dir.filePath("small.bin.zlib"));
#endif
            QCOMPARE(strayFiles({"big.bin"}), QStringList());
        }
    }

    // Each step of writing the result fails with the system's own reason,
    // named with the step, whether or not the system has unnamed files; an
    // older result does not stay to pass for this run's.
    void writeFailuresNameTheirCause_data() {
        QTest::addColumn<bool>("unnamed");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("words");
        const QList<std::tuple<FailingFileCalls::Kind, int, QString>> faults = {
            {FailingFileCalls::CreateUnnamed, EACCES, "could not be created"},
            {FailingFileCalls::CreateNew, ENAMETOOLONG, "could not be created"},
            {FailingFileCalls::Write, ENOSPC, "could not be written"},
            {FailingFileCalls::Write, EIO, "could not be written"},
            {FailingFileCalls::Sync, EIO, "could not be synced"},
            {FailingFileCalls::Close, EIO, "could not be closed"},
            {FailingFileCalls::Rename, EIO, "could not be renamed"},
            {FailingFileCalls::SyncFolder, EIO, "folder could not be synced"},
        };
#ifdef Q_OS_WIN
        for (const bool unnamed : {false}) // Windows has no unnamed files
#else
        for (const bool unnamed : {true, false})
#endif
            for (const auto& [kind, error, words] : faults)
                if (unnamed ? kind != FailingFileCalls::CreateNew : kind != FailingFileCalls::CreateUnnamed)
                    QTest::addRow("%s %d %s", unnamed ? "unnamed" : "named", int(kind), strerror(error))
                        << unnamed << int(kind) << error << words;
    }
    void writeFailuresNameTheirCause() {
#ifdef Q_OS_WIN
        QSKIP("the errors are POSIX ones; the Windows calls are swept by the storage test");
#endif
        QFETCH(bool, unnamed);
        QFETCH(int, kind);
        QFETCH(int, error);
        QFETCH(QString, words);
        const QString input = m_dir.filePath("in.bin");
        writeFile(input, QByteArray(1200000, 'b'));
        writeFile(input + ".zlib", "an older result");
        const auto runWith = [&](FailingFileCalls& calls, std::string& message) {
            if (!unnamed)
                calls.failOn(FailingFileCalls::CreateUnnamed, 1, EOPNOTSUPP);
            std::ostringstream err;
            const int code = zlibtool::run({QFile::encodeName(input).toStdString()}, err, &calls);
            message = err.str();
            return code;
        };
        FailingFileCalls calls;
        // A full disk takes part of a write before it refuses.
        calls.failOn(FailingFileCalls::Kind(kind), 1, error, kind == FailingFileCalls::Write ? 4096 : -1);
        std::string message;
        QCOMPARE(runWith(calls, message), 1);
        const QString text = QString::fromStdString(message);
        QVERIFY2(text.startsWith("zlibtool: cannot write " + input + ".zlib: ") && text.contains(words) &&
                     text.contains(strerror(error)),
                 message.c_str());
        QCOMPARE(strayFiles({"in.bin"}), QStringList());
        // Without a fault the same run puts the whole file in place.
        FailingFileCalls fine;
        QCOMPARE(runWith(fine, message), 0);
        const QByteArray packed = readFile(m_dir.filePath("in.bin.zlib"));
        const compression::Result unpacked = compression::decompress(
            {reinterpret_cast<const unsigned char*>(packed.constData()), std::size_t(packed.size())});
        QVERIFY(unpacked.ok());
        QCOMPARE(unpacked.data, compression::Bytes(1200000, 'b'));
        QCOMPARE(strayFiles({"in.bin", "in.bin.zlib"}), QStringList());
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
