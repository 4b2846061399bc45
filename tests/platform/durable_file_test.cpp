#include "common/FailingFileCalls.h"
#include "platform/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

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

} // namespace

class DurableFileTest : public QObject {
    Q_OBJECT

private slots:
    void replacesAndLeavesNothingElse() {
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        QVERIFY(writeAll(target, "old"));
#ifndef Q_OS_WIN
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
#endif
        const QByteArray bytes(3 << 20, 'n');
        const DurableResult result = replaceFileDurably(target, bytes);
        QVERIFY2(result.ok(), qPrintable(result.describe()));
        QCOMPARE(readAll(target), bytes);
        QCOMPARE(everyEntry(dir.path()), QStringList{"unnamed_1964.bin"});
        // Windows files have no mode bits to keep: Qt reports every writable
        // file as readable and writable by all.
#ifndef Q_OS_WIN
        QCOMPARE(QFile::permissions(target) & 0x7077, // owner, group and others, not "user"
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
#endif
        // Through a symbolic link, the file it names is replaced; the link stays.
        // On Windows QFile::link makes a shortcut, which must end in .lnk.
        const QString link = dir.filePath("link.lnk");
        QVERIFY(QFile::link(target, link));
        QVERIFY(replaceFileDurably(link, "linked").ok());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readAll(target), QByteArray("linked"));
        QVERIFY(QFile::remove(link));
        // A new file, and one whose name is as long as the file system allows.
        for (const QString& name : {QStringLiteral("fresh.bin"), QString(255, u'x')}) {
            QVERIFY2(replaceFileDurably(dir.filePath(name), "new").ok(), qPrintable(name));
            QCOMPARE(readAll(dir.filePath(name)), QByteArray("new"));
        }
    }

    void failuresKeepTheOldFile_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("nth");
        QTest::addColumn<int>("error");
        QTest::addColumn<qint64>("partialBytes");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("stepWords");
        const auto row = [](const char* name, FailingFileCalls::Kind kind, int nth, int error, qint64 partial,
                            DurableStep step, const char* words) {
            QTest::newRow(name) << int(kind) << nth << error << partial << int(step) << QString(words);
        };
        row("create EACCES", FailingFileCalls::Create, 1, EACCES, -1, DurableStep::Create, "created");
        row("write EIO", FailingFileCalls::Write, 1, EIO, -1, DurableStep::Write, "written");
        row("write ENOSPC", FailingFileCalls::Write, 1, ENOSPC, -1, DurableStep::Write, "written");
        row("short write, then ENOSPC", FailingFileCalls::Write, 1, ENOSPC, 4096, DurableStep::Write,
            "written");
        row("write EFBIG", FailingFileCalls::Write, 1, EFBIG, -1, DurableStep::Write, "written");
        row("sync EIO", FailingFileCalls::Sync, 1, EIO, -1, DurableStep::Sync, "synced");
        row("sync ENOSPC", FailingFileCalls::Sync, 1, ENOSPC, -1, DurableStep::Sync, "synced");
        row("close EIO", FailingFileCalls::Close, 1, EIO, -1, DurableStep::Close, "closed");
        row("rename EIO", FailingFileCalls::Rename, 1, EIO, -1, DurableStep::Rename, "renamed");
        row("stale temporary EPERM", FailingFileCalls::Remove, 1, EPERM, -1, DurableStep::RemoveStale,
            "earlier save");
    }
    void failuresKeepTheOldFile() {
        QFETCH(int, kind);
        QFETCH(int, nth);
        QFETCH(int, error);
        QFETCH(qint64, partialBytes);
        QFETCH(int, step);
        QFETCH(QString, stepWords);
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        QVERIFY(writeAll(target, "old game file"));
        FailingFileCalls calls;
        calls.failOn(FailingFileCalls::Kind(kind), nth, error, partialBytes);

        const DurableResult result = replaceFileDurably(target, QByteArray(1 << 20, 'n'), calls);
        QCOMPARE(int(result.failedStep), step);
        QCOMPARE(result.errorNumber, error);
        QVERIFY(!result.replaced);
        const QString message = result.describe();
        QVERIFY2(message.contains(stepWords) && message.contains(qt_error_string(error)),
                 qPrintable(message));
        QCOMPARE(readAll(target), QByteArray("old game file"));
        QCOMPARE(everyEntry(dir.path()), QStringList{"unnamed_1964.bin"});
    }

    void folderSyncFailureSaysTheFileIsReplaced() {
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        FailingFileCalls calls;
        calls.failOn(FailingFileCalls::SyncFolder, 1, EIO);
        const DurableResult result = replaceFileDurably(target, "new", calls);
        QCOMPARE(result.failedStep, DurableStep::SyncFolder);
        QVERIFY(result.replaced);
        QVERIFY(result.describe().contains(qt_error_string(EIO)));
        QCOMPARE(readAll(target), QByteArray("new"));
    }

    // A save that was killed leaves its temporary file; the next save of the
    // same file removes it, and nothing else of similar name.
    void removesOnlyItsOwnStaleTemporary() {
        QTemporaryDir dir;
        const QString target = dir.filePath("unnamed_1964.bin");
        const QString stale = durableTemporaryPath(target);
        QCOMPARE(QFileInfo(stale).path(), dir.path());
        QVERIFY(QFileInfo(stale).fileName().startsWith(".vestrel-save-"));
        QVERIFY(durableTemporaryPath(dir.filePath("unnamed_1815.bin")) != stale);
        const QStringList others{durableTemporaryPath(dir.filePath("unnamed_1815.bin")).section(u'/', -1),
                                 "unnamed_1964.bin.AbC123", ".vestrel-save-x.tmp"};
        for (const QString& name : others)
            QVERIFY(writeAll(dir.filePath(name), "someone's"));
        QVERIFY(writeAll(stale, "half a save"));
        QVERIFY(replaceFileDurably(target, "new").ok());
        QStringList expected = others;
        expected << "unnamed_1964.bin";
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
        QVERIFY(writeAll(target, "old"));
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limited = previous;
        limited.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const DurableResult result = replaceFileDurably(target, QByteArray(1 << 20, 'n'));
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        QCOMPARE(result.failedStep, DurableStep::Write);
        QCOMPARE(result.errorNumber, EFBIG);
        QCOMPARE(readAll(target), QByteArray("old"));
        QCOMPARE(everyEntry(dir.path()), QStringList{"unnamed_1964.bin"});
#endif
    }
};

QTEST_GUILESS_MAIN(DurableFileTest)
#include "durable_file_test.moc"
