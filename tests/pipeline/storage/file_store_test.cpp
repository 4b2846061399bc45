#include "common/FailingFileCalls.h"
#include "pipeline/storage/FileStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <thread>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace storage;

namespace {

std::filesystem::path pathOf(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

std::span<const unsigned char> bytesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())};
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList everyEntry(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

#ifdef Q_OS_WIN
const int ioError = 1117; // ERROR_IO_DEVICE
#else
const int ioError = EIO;
#endif

const QByteArray oldTable = "the old table";
const QByteArray newTable(300000, 'n');

#ifndef Q_OS_WIN
struct stat statusOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}
#endif

// Leaves `target` torn by an in-place write that failed halfway and could
// not be undone at once, as a crash would.
bool interruptInPlaceWrite(const QString& target) {
    return ::interruptInPlaceWrite(pathOf(target), bytesOf(newTable), ioError) && readAll(target) != oldTable;
}

} // namespace

class FileStoreTest : public QObject {
    Q_OBJECT

private slots:
    // The new file keeps the old one's permission bits exactly, whatever the
    // umask, and its owner and group; a file nobody may write is refused.
    void keepsPermissionsAndOwner_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("otherOwner");
        for (const int mode : {0600, 0640, 0666, 0751})
            QTest::addRow("%o", mode) << mode << false;
        QTest::addRow("another user's 0664") << 0664 << true;
    }
    void keepsPermissionsAndOwner() {
#ifdef Q_OS_WIN
        QSKIP("Windows files have no mode bits or POSIX owners");
#else
        QFETCH(int, mode);
        QFETCH(bool, otherOwner);
        if (otherOwner && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        QVERIFY(writeAll(target, oldTable));
        const QByteArray path = QFile::encodeName(target);
        QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);
        if (otherOwner)
            QCOMPARE(::chown(path.constData(), 4242, 4343), 0);
        const struct stat before = statusOf(target);
        const mode_t mask = ::umask(077);
        ReplaceOptions options;
        options.identifyWritten = true;
        const ReplaceResult result = replaceFile(pathOf(target), bytesOf(newTable), options);
        ::umask(mask);
        QVERIFY2(result.outcome.ok(), result.outcome.describe().c_str());
        QCOMPARE(readAll(target), newTable);
        const struct stat after = statusOf(target);
        QCOMPARE(after.st_mode & 07777, mode_t(mode));
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(everyEntry(dir.path()), QStringList{"unnamed_1964.bin"});
        QVERIFY(result.written.sameContent(identityOf(bytesOf(newTable))));
#endif
    }

    // Even root, and even in a writable folder: a file without write bits,
    // or marked read-only, is refused and untouched.
    void refusesAReadOnlyFile() {
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        QVERIFY(writeAll(target, oldTable));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const ReplaceResult result = replaceFile(pathOf(target), bytesOf(newTable));
        QCOMPARE(result.outcome.problem, Problem::ReadOnly);
        QVERIFY(result.outcome.describe().find("read-only") != std::string::npos);
        QCOMPARE(readAll(target), oldTable);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }

    // Hard links keep seeing one file, with the new table; a symbolic link
    // stays a link to the new table.
    void linksSeeTheNewTable() {
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        const QString hard = dir.filePath("backup-name.bin");
        QVERIFY(writeAll(target, oldTable));
#ifndef Q_OS_WIN
        QCOMPARE(::link(QFile::encodeName(target).constData(), QFile::encodeName(hard).constData()), 0);
        const ino_t inode = statusOf(target).st_ino;
        QVERIFY(replaceFile(pathOf(target), bytesOf(newTable)).outcome.ok());
        QCOMPARE(readAll(hard), newTable);
        QCOMPARE(statusOf(target).st_ino, inode);
        QCOMPARE(statusOf(target).st_nlink, nlink_t(2));
        QVERIFY(QFile::remove(hard));
#endif
        const QString link = dir.filePath("link.lnk"); // Windows shortcuts must end in .lnk
        QVERIFY(QFile::link(target, link));
        QVERIFY(replaceFile(pathOf(link), bytesOf(oldTable)).outcome.ok());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readAll(target), oldTable);
        QVERIFY(QFile::remove(link));
        // A new file, and one whose name is as long as the file system allows.
        for (const QString& name : {QStringLiteral("fresh.bin"), QString(255, u'x')}) {
            QVERIFY2(replaceFile(pathOf(dir.filePath(name)), bytesOf("new")).outcome.ok(), qPrintable(name));
            QCOMPARE(readAll(dir.filePath(name)), QByteArray("new"));
        }
        QCOMPARE(everyEntry(dir.path()).size(), 3);
    }

    // What is not a regular file is neither read nor replaced, and a FIFO is
    // never waited on.
    void refusesWhatIsNotAFile() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QList<std::pair<QString, Problem>> cases{{dir.filePath("folder"), Problem::NotAFile},
                                                 {dir.filePath("missing"), Problem::Missing}};
#ifndef Q_OS_WIN
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
        cases.append({dir.filePath("fifo"), Problem::NotAFile});
#endif
        for (const auto& [path, problem] : cases) {
            QCOMPARE(readFile(pathOf(path), 1000).outcome.problem, problem);
            FileReader reader;
            QCOMPARE(reader.open(pathOf(path), 1000).problem, problem);
            if (problem == Problem::NotAFile)
                QCOMPARE(replaceFile(pathOf(path), bytesOf(newTable)).outcome.problem, problem);
        }
        const QString large = dir.filePath("large.bin");
        QVERIFY(writeAll(large, QByteArray(1001, 'x')));
        const ReadResult tooLarge = readFile(pathOf(large), 1000);
        QCOMPARE(tooLarge.outcome.problem, Problem::TooLarge);
        QCOMPARE(tooLarge.outcome.size, std::uint64_t(1001));
        QCOMPARE(readFile(pathOf(large), 1001).bytes.size(), std::size_t(1001));
    }

    // A writer says what it read; a file that holds anything else by the
    // time it writes is left alone.
    void refusesAFileThatChanged() {
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        QVERIFY(writeAll(target, oldTable));
        const ReadResult read = readFile(pathOf(target), 1 << 20);
        QVERIFY(read.outcome.ok());
        QVERIFY(read.identity().sameContent(identityOf(bytesOf(oldTable))));
        ReplaceOptions options;
        options.expected = read.identity();
        QVERIFY(writeAll(target, "changed elsewhere"));
        ReplaceResult result = replaceFile(pathOf(target), bytesOf(newTable), options);
        QCOMPARE(result.outcome.problem, Problem::Changed);
        QVERIFY(result.outcome.describe().find("changed while being edited") != std::string::npos);
        QCOMPARE(readAll(target), QByteArray("changed elsewhere"));
        // Gone since, or there when the writer saw none.
        QVERIFY(QFile::remove(target));
        QCOMPARE(replaceFile(pathOf(target), bytesOf(newTable), options).outcome.problem, Problem::Changed);
        QVERIFY(writeAll(target, oldTable));
        options.expected = FileIdentity{};
        QCOMPARE(replaceFile(pathOf(target), bytesOf(newTable), options).outcome.problem, Problem::Changed);
        QCOMPARE(readAll(target), oldTable);
        options.expected = read.identity();
        QVERIFY(replaceFile(pathOf(target), bytesOf(newTable), options).outcome.ok());
        QCOMPARE(readAll(target), newTable);
    }

    // A second writer waits for the first, then refuses if it must wait too long.
    void writersTakeTurns() {
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        QVERIFY(writeAll(target, oldTable));
        FileCalls& calls = systemFileCalls();
        Handle held = 0;
        QCOMPARE(calls.openWrite(pathOf(target), held), 0);
        QCOMPARE(calls.tryLock(held), 0);
        ReplaceOptions options;
        options.lockWait = std::chrono::milliseconds(100);
        const ReplaceResult refused = replaceFile(pathOf(target), bytesOf(newTable), options);
        QCOMPARE(refused.outcome.problem, Problem::Busy);
        QVERIFY(refused.outcome.describe().find("another program is saving") != std::string::npos);
        QCOMPARE(readAll(target), oldTable);
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            calls.close(held);
        });
        options.lockWait = std::chrono::milliseconds(5000);
        const ReplaceResult waited = replaceFile(pathOf(target), bytesOf(newTable), options);
        release.join();
        QVERIFY2(waited.outcome.ok(), waited.outcome.describe().c_str());
        QCOMPARE(readAll(target), newTable);

        // A reader waits for a writer too, and so never reads a file that is
        // being written in place halfway.
        const QByteArray whole(newTable.size(), 'w');
        QCOMPARE(calls.openWrite(pathOf(target), held), 0);
        QCOMPARE(calls.tryLock(held), 0);
        std::size_t done = 0;
        QCOMPARE(calls.write(held, 0, bytesOf(whole).data(), whole.size() / 2, done), 0);
        std::thread finish([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            std::size_t rest = 0;
            calls.write(held, done, bytesOf(whole).data() + done, whole.size() - done, rest);
            calls.close(held);
        });
        const ReadResult read = readFile(pathOf(target), 1 << 20);
        finish.join();
        QVERIFY2(read.outcome.ok(), read.outcome.describe().c_str());
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(read.bytes.data()), qsizetype(read.bytes.size())),
                 whole);
    }

    // Every call a replace makes fails in turn. A replace that reports
    // success has its bytes in the file; one that reports failure left the
    // old bytes, or says where they are, and the next read puts them back.
    // Nothing is left beside the file.
    void everyFailingCallKeepsTheFile_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"new file by rename", "in place", "checked", "created", "read", "produced"})
            QTest::newRow(kind) << QString(kind);
    }
    void everyFailingCallKeepsTheFile() {
        QFETCH(QString, kind);
        int swept = 0;
        for (int nth = 1;; ++nth) {
            QTemporaryDir dir;
            const QString target = dir.filePath("unnamed_1964.bin");
            const QString second = dir.filePath("second-name.bin");
            const bool created = kind == "created";
            if (!created)
                QVERIFY(writeAll(target, oldTable));
            QStringList expected{"unnamed_1964.bin"};
#ifndef Q_OS_WIN
            if (kind == "in place" || kind == "read") {
                QCOMPARE(::link(QFile::encodeName(target).constData(), QFile::encodeName(second).constData()),
                         0);
                expected = QStringList{"second-name.bin", "unnamed_1964.bin"};
            }
#endif
            ReplaceOptions options;
            FailingFileCalls calls;
            calls.failCall(nth, ioError);
            options.calls = &calls;
            if (kind == "checked")
                options.expected = identityOf(bytesOf(oldTable));
            if (kind == "read") {
                // An in-place write cut short, whose immediate undo failed too:
                // the next read puts the old table back.
                QVERIFY(interruptInPlaceWrite(target));
                const ReadResult read = readFile(pathOf(target), 1 << 20, &calls);
                if (calls.totalCalls() < nth)
                    break;
                ++swept;
                QVERIFY(read.outcome.ok() ? read.recovered : !read.outcome.describe().empty());
                const ReadResult again = readFile(pathOf(target), 1 << 20);
                QVERIFY(again.outcome.ok());
                QCOMPARE(QByteArray(reinterpret_cast<const char*>(again.bytes.data()),
                                    qsizetype(again.bytes.size())),
                         oldTable);
                QCOMPARE(everyEntry(dir.path()), expected);
                continue;
            }
            ReplaceResult result;
            if (kind == "produced") {
                const Producer produce = [](const Sink& sink) {
                    return sink(bytesOf(newTable.left(1000))) && sink(bytesOf(newTable.mid(1000)));
                };
                result = replaceFile(pathOf(target), produce, options);
            } else {
                result = replaceFile(pathOf(target), bytesOf(newTable), options);
            }
            if (calls.totalCalls() < nth)
                break; // no call failed: every one has been tried
            ++swept;
            const QByteArray now = readAll(target);
            const QByteArray before = created ? QByteArray("<missing>") : oldTable;
            const QString context = QStringLiteral("call %1 (kind %2): %3")
                                        .arg(nth)
                                        .arg(int(calls.failedKind()))
                                        .arg(QString::fromStdString(result.outcome.describe()));
            if (result.outcome.ok()) {
                QVERIFY2(now == newTable, qPrintable(context));
            } else if (result.outcome.after == After::Replaced) {
                QVERIFY2(now == newTable, qPrintable(context));
            } else if (result.outcome.after == After::Recoverable) {
                const ReadResult read = readFile(pathOf(target), 1 << 20);
                QVERIFY2(read.outcome.ok() && read.recovered, qPrintable(context));
                QVERIFY2(readAll(target) == before, qPrintable(context));
            } else {
                QVERIFY2(now == before, qPrintable(context));
            }
            if (result.outcome.problem == Problem::System)
                QVERIFY2(result.outcome.describe().find(errorText(ioError)) != std::string::npos,
                         qPrintable(context));
            // The next read leaves the file as it is, and finds nothing left
            // beside it (an undo copy of a completed write only goes).
            if (!created || QFileInfo::exists(target)) {
                const QByteArray settled = readAll(target);
                QVERIFY2(readFile(pathOf(target), 1 << 20).outcome.ok(), qPrintable(context));
                QVERIFY2(readAll(target) == settled, qPrintable(context));
                QVERIFY2(everyEntry(dir.path()) == expected,
                         qPrintable(context + everyEntry(dir.path()).join(' ')));
            }
        }
        QVERIFY(swept > 10);
    }

    // Each failing step is named with the system's own reason, and the file
    // keeps its old bytes; a disk that fills halfway is one of them.
    void failuresNameTheirStep_data() {
#ifndef Q_OS_WIN
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("error");
        QTest::addColumn<qint64>("partialBytes");
        QTest::addColumn<QString>("words");
        const auto row = [](const char* name, FailingFileCalls::Kind kind, int error, qint64 partial,
                            const char* words) {
            QTest::newRow(name) << int(kind) << error << partial << QString(words);
        };
        row("create EACCES", FailingFileCalls::CreateUnnamed, EACCES, -1, "created");
        row("write EIO", FailingFileCalls::Write, EIO, -1, "written");
        row("short write, then ENOSPC", FailingFileCalls::Write, ENOSPC, 4096, "written");
        row("write EFBIG", FailingFileCalls::Write, EFBIG, -1, "written");
        row("sync ENOSPC", FailingFileCalls::Sync, ENOSPC, -1, "synced");
        row("close EIO", FailingFileCalls::Close, EIO, -1, "closed");
        row("rename EIO", FailingFileCalls::Rename, EIO, -1, "renamed");
        row("folder sync EIO", FailingFileCalls::SyncFolder, EIO, -1, "in place, but its folder");
#endif
    }
    void failuresNameTheirStep() {
#ifdef Q_OS_WIN
        QSKIP("the errors are POSIX ones; the sweep covers the Windows calls");
#else
        QFETCH(int, kind);
        QFETCH(int, error);
        QFETCH(qint64, partialBytes);
        QFETCH(QString, words);
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        QVERIFY(writeAll(target, oldTable));
        FailingFileCalls calls;
        calls.failOn(FailingFileCalls::Kind(kind), 1, error, partialBytes);
        ReplaceOptions options;
        options.calls = &calls;
        const ReplaceResult result = replaceFile(pathOf(target), bytesOf(newTable), options);
        const QString message = QString::fromStdString(result.outcome.describe());
        QVERIFY2(message.contains(words) && message.contains(strerror(error)), qPrintable(message));
        const bool replaced = kind == FailingFileCalls::SyncFolder;
        QCOMPARE(result.outcome.after, replaced ? After::Replaced : After::Unchanged);
        QVERIFY2(message.contains("the file is unchanged") != replaced, qPrintable(message));
        QCOMPARE(readAll(target), replaced ? newTable : oldTable);
        QCOMPARE(everyEntry(dir.path()), QStringList{"unnamed_1964.bin"});
#endif
    }

    // A writer killed in the middle leaves its temporary file; the next
    // writer in that folder removes it once its process has ended, and
    // nothing else, whether it writes a new file or the old one in place.
    void removesOnlyTheLeftoversOfEndedWriters_data() {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("new file") << false;
#ifndef Q_OS_WIN
        QTest::newRow("in place") << true; // every file is written in place on Windows
#endif
    }
    void removesOnlyTheLeftoversOfEndedWriters() {
        QFETCH(bool, inPlace);
        QTemporaryDir dir;
        QProcess ended;
        // This very program, which only lists its tests: it exists wherever the test runs.
        ended.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-functions")});
        QVERIFY(ended.waitForFinished(10000));
        const qint64 gone = ended.processId() > 0 ? ended.processId() : 999999;
        // A writer that is still at work: a program that waits for its input.
#ifdef Q_OS_WIN
        const QString waiting = QStringLiteral("cmd.exe");
#else
        const QString waiting = QStringLiteral("cat");
#endif
        QProcess living;
        living.start(waiting, QStringList());
        QVERIFY(living.waitForStarted(10000));
        const auto stopLiving = qScopeGuard([&living] {
            living.closeWriteChannel();
            if (!living.waitForFinished(10000))
                living.kill();
        });
        const QStringList leftovers{QStringLiteral(".vt%1-0.tmp").arg(gone),
                                    QStringLiteral(".zt%1-3.tmp").arg(gone)};
        const QStringList kept{QStringLiteral(".vt%1-0.tmp").arg(QCoreApplication::applicationPid()),
                               QStringLiteral(".vt%1-0.tmp").arg(living.processId()), "unnamed_1964.bin.tmp",
                               ".vtx-1.tmp"};
        for (const QString& name : leftovers + kept)
            QVERIFY(writeAll(dir.filePath(name), "half a save"));
        QStringList expected = kept;
        expected << "unnamed_1964.bin";
#ifndef Q_OS_WIN
        if (inPlace) {
            QVERIFY(writeAll(dir.filePath("unnamed_1964.bin"), oldTable));
            QCOMPARE(::link(QFile::encodeName(dir.filePath("unnamed_1964.bin")).constData(),
                            QFile::encodeName(dir.filePath("second-name.bin")).constData()),
                     0);
            expected << "second-name.bin";
        }
#else
        Q_UNUSED(inPlace);
#endif
        QVERIFY(replaceFile(pathOf(dir.filePath("unnamed_1964.bin")), bytesOf(newTable)).outcome.ok());
        expected.sort();
        QCOMPARE(everyEntry(dir.path()), expected);
    }

    // A real file-size limit: with SIGXFSZ ignored the write fails with EFBIG.
    void fileSizeLimitIsAWriteError() {
#ifdef Q_OS_WIN
        QSKIP("Windows cannot limit the size of a process's files");
#else
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        QVERIFY(writeAll(target, oldTable));
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limited = previous;
        limited.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const ReplaceResult result = replaceFile(pathOf(target), bytesOf(newTable));
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        QCOMPARE(result.outcome.step, Step::Write);
        QCOMPARE(result.outcome.error, EFBIG);
        QCOMPARE(readAll(target), oldTable);
        QCOMPARE(everyEntry(dir.path()), QStringList{"unnamed_1964.bin"});
#endif
    }
};

QTEST_GUILESS_MAIN(FileStoreTest)
#include "file_store_test.moc"
